// Round trips over the real serial path: read requests for one item go through
// Datacom and QSerialPort to kestrum-sim on a pseudo-terminal, and each answer is
// taken in through the frame reception before the next request goes out. Prints
// the rate and the time per round trip beside the engine's 25 ms tick.
//
//     link_rate [--sim PATH] [--count N] [--item N]

#include "base/Globals.h"
#include "base/MessageLog.h"
#include "protocol/Frames.h"
#include "screen/HeadlessScreen.h"
#include "serial/Datacom.h"
#include "serial/QtSerialBackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace {

constexpr double EngineTickMs = 25.0;
constexpr int AnswerTimeoutMs = 2000;

class NullClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// Lets the event loop run until `done` holds or the time is up; QSerialPort
// fills its buffer from there. The loop only waits when nothing is left to take.
template <typename Done> bool runUntil(SerialBackend &backend, Done done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QTimer guard; // wakes the loop so the time-out is seen
    guard.start(50);
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        if (backend.bytesAvailable() == 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// One request and its answer, taken the way the engine takes it (SOH, LEN, data),
// only without waiting for timer ticks between the phases.
bool roundTrip(SerialBackend &backend, Frames &frames, int item)
{
    frames.StartAnswer();
    if (frames.SendReadRequest(item) != 1)
        return false;
    if (!runUntil(
            backend, [&] { return frames.ReceiveSoh(); }, AnswerTimeoutMs))
        return false;
    if (!runUntil(
            backend, [&] { return frames.ReceiveLen(); }, AnswerTimeoutMs))
        return false;
    AnswerStatus status = AnswerStatus::Receiving;
    if (!runUntil(
            backend,
            [&] {
                status = frames.ReceiveData();
                return status != AnswerStatus::Receiving;
            },
            AnswerTimeoutMs))
        return false;
    return status == AnswerStatus::Good && frames.AnswerItem() == item;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString simPath = QStringLiteral("kestrum-sim");
    int count = 1000;
    int item = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sim"))
            simPath = args[i + 1];
        else if (args[i] == QLatin1String("--count"))
            count = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--item"))
            item = args[i + 1].toInt();
    }
    if (count < 1) {
        std::fprintf(stderr, "link_rate: --count must be at least 1\n");
        return 2;
    }

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simPath, {});
    if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "link_rate: cannot start %s\n", qPrintable(simPath));
        return 1;
    }
    const QByteArray first = sim.readLine().trimmed();
    const QByteArray prefix = "kestrum-sim: listening on ";
    if (!first.startsWith(prefix)) {
        std::fprintf(stderr, "link_rate: unexpected first line from the simulator: %s\n",
                     first.constData());
        return 1;
    }
    const QString device = QString::fromLocal8Bit(first.mid(prefix.size()));
    // The simulator reports every request on its standard output; nobody needs it.
    QObject::connect(&sim, &QProcess::readyReadStandardOutput,
                     [&sim] { sim.readAllStandardOutput(); });

    Globals globals;
    globals.LogfileMode = 0; // no log file for a benchmark
    NullClock clock;
    MessageLog log(globals, clock);
    QtSerialBackend backend;
    HeadlessScreen screen;
    Datacom datacom(globals, log, backend, screen);
    datacom.setDeviceOverride(device);
    Frames frames(datacom);
    if (datacom.OpenComPort(0, 4, 0, 1, 0, 0) != 0) {
        std::fprintf(stderr, "link_rate: cannot open %s: %s\n", qPrintable(device),
                     qPrintable(backend.errorString()));
        return 1;
    }

    // One round trip first, so start-up costs stay out of the figure.
    if (!roundTrip(backend, frames, item)) {
        std::fprintf(stderr, "link_rate: no good answer from the simulator\n");
        return 1;
    }

    int failed = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        if (!roundTrip(backend, frames, item))
            ++failed;
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    datacom.CloseComPort();
    sim.terminate(); // the simulator runs until a signal, also after its input ends
    if (!sim.waitForFinished(5000))
        sim.kill();

    const double perTripMs = seconds * 1000.0 / count;
    // A pseudo-terminal has no baud rate; on the converter's 9600 8N1 line every
    // byte takes ten bit times.
    const int requestBytes = 10; // a read request is LEN 9 plus the check byte
    const int answerBytes = frames.AnswerLength + 1;
    const double wireMs = (requestBytes + answerBytes) * 10 * 1000.0 / 9600.0;
    std::printf("link_rate: %d read requests for item %d over %s in %.3f s\n", count, item,
                qPrintable(device), seconds);
    std::printf("link_rate: %.0f round trips/s, %.3f ms per round trip\n", count / seconds,
                perTripMs);
    std::printf("link_rate: round trip / engine tick (%.0f ms) = %.3f\n", EngineTickMs,
                perTripMs / EngineTickMs);
    std::printf("link_rate: the same %d bytes on a 9600 baud line alone take %.1f ms\n",
                requestBytes + answerBytes, wireMs);
    std::printf("link_rate: failed round trips: %d\n", failed);
    return failed == 0 ? 0 : 1;
}
