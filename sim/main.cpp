// kestrum-sim: a stand-in for the Dunvale unit's configuration port, for trying
// the program and for its end-to-end tests. It is written from the description of
// the line protocol alone and shares no code with the program, so a fault in the
// program's frames shows up as a refused or unanswered request here.

#include "sim/Converter.h"
#include "sim/Faults.h"
#include "sim/SerialLine.h"
#include "sim/UnitState.h"

#include "Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char HelpText[] = R"(Simulates the Dunvale unit's configuration port on a pseudo-terminal.

To try the window program without a converter, all it takes is
  kestrum-sim --link ~/.local/share/Kestrum/ports/com1 &
and then kestrum: its port Com1 opens the simulator.

The first line on standard output names the line to open, e.g.
  kestrum-sim: listening on /dev/pts/7
After that every event is one line: "read item 5", "write item 10 = 2",
"restart", "buffer position 3", "call A=3 1=1234 3=1", "wake-up",
"fault: silent x2", "bad check byte: ...", "ignored bytes: ...".
Texts are printed as Latin-1 characters, control bytes as <XX>.

The unit answers like the converter: read and write answers have the layout
of the write request of the item with ACK (06) at offset 4; a restart is
answered with ACK and, 300 ms later, the line "Dunvale unit restarted" CR LF;
a buffer-position query with a digit 0..9 at offset 7 (counting up); a test
call with ACK. Requests it cannot carry out are answered with NAK (15).

Faults (option --fault, repeatable, or the stdin command fault):
  MODE [ARG] [item N] [xCOUNT]     or compactly     MODE[=ARG][:N][xCOUNT]
  silent           no answer
  nak              answer refused (NAK at offset 4)
  checksum         wrong check byte
  stop-after-len   only SOH and LEN are sent
  too-long         an answer of more than 98 bytes
  other-item [N]   a read answer about item N (default: the item asked + 1)
  noise            garbage bytes before the SOH
  delay MS         the answer comes MS milliseconds late
  store-other [V]  a write is acknowledged but V is stored (default: the
                   value written + 1; a text gets a "+")
  nak-write        a write is refused; reads of the item are answered
Without "item N" a fault hits every request; without a count it stays until
"clear". Examples: --fault "silent x3"  --fault checksum:10  --fault delay=800

Commands on standard input, one per line (each is confirmed with "ok ..." or
"error: ..."), read only when standard input is a pipe, or a terminal while the
simulator runs in the foreground (it never reads the terminal from the
background, so it is not stopped there):
  fault SPEC      add a fault as above
  clear           remove all faults
  set N VALUE     give item N a value (number for 0..149, Latin-1 text for
                  150..249)
  get N           print "value item N = VALUE"
  save FILE       write the state as a settings file
  quit            stop
When standard input ends, the simulator goes on serving. It stops on "quit",
SIGINT (Ctrl-C), SIGTERM or SIGHUP, and then removes its --link and writes
--save-on-exit.)";

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

void say(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    fflush(stdout);
}

// Where commands can come from: a pipe, or a terminal that is read only while the
// simulator is in its foreground. Anything else (/dev/null, a file, a closed
// descriptor) is never read.
enum class Input { None, Pipe, Terminal };

Input StandardInput()
{
    struct stat status = {};
    if (::fstat(STDIN_FILENO, &status) != 0)
        return Input::None;
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))
        return Input::Pipe;
    return ::isatty(STDIN_FILENO) ? Input::Terminal : Input::None;
}

bool InTerminalForeground()
{
    const pid_t group = ::tcgetpgrp(STDIN_FILENO);
    return group != -1 && group == ::getpgrp();
}

void sayError(const QString &line)
{
    const QByteArray bytes = "kestrum-sim: " + line.toUtf8() + '\n';
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

class Simulator
{
public:
    int run(QCoreApplication &app);

private:
    void command(const QByteArray &line);
    void listenToStdin();
    void readStdin();
    void endStdin();
    void stop(int code);

    QCoreApplication *m_app = nullptr;
    UnitState m_state;
    FaultList m_faults;
    Converter m_converter{m_state, m_faults};
    SerialLine m_line;
    QElapsedTimer m_clock;
    QString m_link;
    QString m_saveOnExit;
    QByteArray m_stdinBuffer;
    Input m_input = Input::None;
    QSocketNotifier *m_stdinNotifier = nullptr;
    QTimer *m_foregroundWatch = nullptr;
    bool m_stopping = false;
};

int Simulator::run(QCoreApplication &app)
{
    m_app = &app;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(HelpText));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("device"),
                      QStringLiteral("Use this device instead of a new pseudo-terminal."),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("link"),
                      QStringLiteral("Also make a symbolic link at PATH to the line (for example "
                                     "the program folder's ports/com1; a missing folder is made); "
                                     "removed on exit."),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("settings"),
                      QStringLiteral("Start from the values of this settings file instead of "
                                     "factory values."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("save-on-exit"),
                      QStringLiteral("Write the values as a settings file when stopping."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("fault"),
                      QStringLiteral("Misbehave as described below (repeatable)."),
                      QStringLiteral("SPEC")});
    parser.addOption(
        {QStringLiteral("no-stdin"), QStringLiteral("Never read commands from standard input.")});
    // The help names the program, not the path it was started by.
    const QStringList arguments = QCoreApplication::arguments();
    if (parser.parse(arguments) && parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: kestrum-sim [options]"));
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
    parser.process(arguments);

    for (const QString &spec : parser.values(QStringLiteral("fault"))) {
        QString error;
        const std::optional<Fault> fault = Fault::parse(spec, &error);
        if (!fault) {
            sayError(QStringLiteral("--fault %1: %2").arg(spec, error));
            return 2;
        }
        m_faults.add(*fault);
    }
    if (parser.isSet(QStringLiteral("settings"))) {
        QString error;
        if (!m_state.load(parser.value(QStringLiteral("settings")), &error)) {
            sayError(QStringLiteral("cannot read %1: %2")
                         .arg(parser.value(QStringLiteral("settings")), error));
            return 2;
        }
    }
    m_saveOnExit = parser.value(QStringLiteral("save-on-exit"));

    QString error;
    const bool opened = parser.isSet(QStringLiteral("device"))
                            ? m_line.openDevice(parser.value(QStringLiteral("device")), &error)
                            : m_line.openPty(&error);
    if (!opened) {
        sayError(error);
        return 1;
    }
    if (parser.isSet(QStringLiteral("link"))) {
        const QString link = parser.value(QStringLiteral("link"));
        const QFileInfo info(link);
        if (info.isSymLink())
            QFile::remove(link);
        else if (info.exists()) {
            sayError(QStringLiteral("%1 exists and is no link; not replaced").arg(link));
            return 1;
        }
        if (!QDir().mkpath(info.absolutePath()) || !QFile::link(m_line.path(), link)) {
            sayError(QStringLiteral("cannot make the link %1").arg(link));
            return 1;
        }
        m_link = link;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        sayError(QStringLiteral("cannot set up signal handling"));
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [this] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
        stop(0);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A simulator in the background of a shell goes on: it never reads the
    // terminal there, and what it prints is not held back.
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);

    m_clock.start();
    m_converter.report = say;
    m_converter.send = [this](const QByteArray &bytes, int delayMs) {
        if (delayMs <= 0)
            m_line.write(bytes);
        else
            QTimer::singleShot(delayMs, m_app, [this, bytes] { m_line.write(bytes); });
    };
    QObject::connect(&m_line, &SerialLine::received, [this](const QByteArray &bytes) {
        m_converter.receive(bytes, m_clock.elapsed());
    });
    QObject::connect(&m_line, &SerialLine::failed, [this](const QString &why) {
        sayError(why);
        stop(1);
    });

    if (!parser.isSet(QStringLiteral("no-stdin")))
        listenToStdin();

    say(QStringLiteral("kestrum-sim: listening on %1").arg(m_line.path()));
    return app.exec();
}

void Simulator::listenToStdin()
{
    m_input = StandardInput();
    if (m_input == Input::None)
        return;
    m_stdinNotifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, m_app);
    QObject::connect(m_stdinNotifier, &QSocketNotifier::activated, [this] { readStdin(); });
    if (m_input == Input::Terminal) {
        // A job moves between foreground and background (Ctrl-Z, bg, fg): listen to
        // the terminal only while in the foreground.
        m_stdinNotifier->setEnabled(InTerminalForeground());
        m_foregroundWatch = new QTimer(m_app);
        QObject::connect(m_foregroundWatch, &QTimer::timeout,
                         [this] { m_stdinNotifier->setEnabled(InTerminalForeground()); });
        m_foregroundWatch->start(300);
    }
}

void Simulator::readStdin()
{
    if (m_input == Input::Terminal && !InTerminalForeground()) {
        m_stdinNotifier->setEnabled(false);
        return;
    }
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n < 0 && errno == EIO && m_input == Input::Terminal) {
        // Sent to the background between the check and the read.
        m_stdinNotifier->setEnabled(false);
        return;
    }
    if (n <= 0) {
        endStdin();
        return;
    }
    m_stdinBuffer.append(buffer, int(n));
    for (int end = m_stdinBuffer.indexOf('\n'); end >= 0; end = m_stdinBuffer.indexOf('\n')) {
        const QByteArray line = m_stdinBuffer.left(end);
        m_stdinBuffer.remove(0, end + 1);
        command(line.trimmed());
    }
    // No command is this long; a stream without line ends is not a command stream.
    if (m_stdinBuffer.size() > 64 * 1024)
        m_stdinBuffer.clear();
}

void Simulator::endStdin()
{
    m_input = Input::None;
    m_stdinNotifier->setEnabled(false);
    m_stdinNotifier->deleteLater();
    m_stdinNotifier = nullptr;
    if (m_foregroundWatch) {
        m_foregroundWatch->stop();
        m_foregroundWatch->deleteLater();
        m_foregroundWatch = nullptr;
    }
    say(QStringLiteral("kestrum-sim: standard input ended; still serving until SIGINT or "
                       "SIGTERM"));
}

void Simulator::command(const QByteArray &line)
{
    if (line.isEmpty())
        return;
    const int space = line.indexOf(' ');
    const QByteArray verb = space < 0 ? line : line.left(space);
    const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1);

    if (verb == "fault") {
        QString error;
        const std::optional<Fault> fault = Fault::parse(QString::fromLatin1(rest), &error);
        if (!fault) {
            say(QStringLiteral("error: ") + error);
            return;
        }
        m_faults.add(*fault);
        say(QStringLiteral("ok fault ") + fault->describe());
    } else if (verb == "clear") {
        m_faults.clear();
        say(QStringLiteral("ok clear"));
    } else if (verb == "set" || verb == "get") {
        const int gap = rest.indexOf(' ');
        bool ok = false;
        const int item = (gap < 0 ? rest : rest.left(gap)).toInt(&ok);
        if (!ok || !UnitState::exists(item)) {
            say(QStringLiteral("error: no item \"%1\"").arg(QString::fromLatin1(rest)));
            return;
        }
        if (verb == "set") {
            // The text after the item number, as typed (Latin-1 on the command line).
            m_state.setFromText(item, gap < 0 ? QByteArray() : rest.mid(gap + 1));
            say(QStringLiteral("ok set %1 = %2").arg(item).arg(m_state.display(item)));
        } else {
            say(QStringLiteral("value item %1 = %2").arg(item).arg(m_state.display(item)));
        }
    } else if (verb == "save") {
        QString error;
        if (m_state.save(QString::fromLocal8Bit(rest), &error))
            say(QStringLiteral("ok save"));
        else
            say(QStringLiteral("error: ") + error);
    } else if (verb == "quit") {
        say(QStringLiteral("ok quit"));
        stop(0);
    } else if (verb == "help") {
        say(QString::fromUtf8(HelpText));
    } else {
        say(QStringLiteral("error: unknown command \"%1\"").arg(QString::fromLatin1(verb)));
    }
}

void Simulator::stop(int code)
{
    if (m_stopping)
        return;
    m_stopping = true;
    if (!m_saveOnExit.isEmpty()) {
        QString error;
        if (!m_state.save(m_saveOnExit, &error))
            sayError(QStringLiteral("cannot write %1: %2").arg(m_saveOnExit, error));
    }
    if (!m_link.isEmpty() && QFileInfo(m_link).symLinkTarget() == m_line.path())
        QFile::remove(m_link);
    say(QStringLiteral("kestrum-sim: stopped"));
    m_app->exit(code);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrum-sim"));
    QCoreApplication::setApplicationVersion(QLatin1String(KestrumVersion));
    Simulator simulator;
    return simulator.run(app);
}
