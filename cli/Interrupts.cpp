#include "cli/Interrupts.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler may do almost nothing: it writes the signal's number into a pipe whose
// other end the event loop watches.
int SignalPipe[2] = {-1, -1};

void Caught(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(SignalPipe[1], &byte, 1);
    errno = saved;
}

// What each signal did before, given back afterwards.
struct sigaction Before[2];
constexpr int Signals[2] = {SIGINT, SIGTERM};

} // namespace

Interrupts::Interrupts()
{
    if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no pipe: the signals keep ending the process
    m_notifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this,
                     [this] { readSignals(); });
    struct sigaction action = {};
    action.sa_handler = Caught;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) {
        ::sigaction(Signals[i], nullptr, &Before[i]);
        // A signal the starter chose to ignore (a job started with & from a script
        // ignores Ctrl-C) stays ignored.
        if (Before[i].sa_handler != SIG_IGN)
            ::sigaction(Signals[i], &action, nullptr);
    }
}

Interrupts::~Interrupts()
{
    if (!m_notifier)
        return;
    for (int i = 0; i < 2; ++i)
        ::sigaction(Signals[i], &Before[i], nullptr);
    m_notifier.reset();
    ::close(SignalPipe[0]);
    ::close(SignalPipe[1]);
    SignalPipe[0] = SignalPipe[1] = -1;
}

void Interrupts::readSignals()
{
    char byte = 0;
    while (::read(SignalPipe[0], &byte, 1) == 1) {
        if (onSignal)
            onSignal(static_cast<unsigned char>(byte));
    }
}
