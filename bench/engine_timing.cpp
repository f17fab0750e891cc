// A read-all and a write-all of the 27 bulk items, then a write-changed of one of
// them (the reads of what the unit holds, one write, one read-back), by the whole
// program logic (a Kestrum on a headless screen) against kestrum-sim over a real
// pseudo-terminal, with the engine ticked by a 25 ms timer as in the window program.
// Prints the wall time, the engine ticks, how far the wall time stretches past
// ticks x 25 ms, and the ticks per item.
//
//     engine_timing [--sim PATH] [--rounds N]

#include "app/Kestrum.h"
#include "base/FixedAnswerDialogs.h"
#include "screen/HeadlessScreen.h"
#include "serial/QtSerialBackend.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

constexpr double TickMs = 25.0;
constexpr int BulkItems = 27;

struct Run
{
    bool done = false;
    int ticks = 0;
    double wallMs = 0;
};

// Ticks the engine every 25 ms from the moment the request is raised until the
// series reports success (or a message box or the deadline ends it).
Run timeSeries(Kestrum &app, FixedAnswerDialogs &dialogs, qint16 &request, const QString &doneText,
               int timeoutMs)
{
    Run run;
    bool finished = false;
    app.log.onLine = [&](const QString &line) {
        if (line.endsWith(doneText))
            finished = true;
    };
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QElapsedTimer wall;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        app.TmrAfhandelTick();
        ++run.ticks;
        if (finished || !dialogs.boxes.isEmpty()) {
            run.wallMs = double(wall.nsecsElapsed()) / 1e6;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    request = -1;
    wall.start();
    timer.start(int(TickMs));
    loop.exec();
    app.log.onLine = nullptr;
    // A message box means the series failed.
    for (const QString &box : std::as_const(dialogs.boxes))
        std::fprintf(stderr, "engine_timing: message box: %s\n", qPrintable(box));
    dialogs.boxes.clear();
    run.done = finished;
    return run;
}

void report(const char *name, const Run &run)
{
    // The first tick comes one interval after the request: the ticks span
    // ticks x 25 ms of wall time when the timer keeps its pace.
    const double ideal = run.ticks * TickMs;
    std::printf("engine_timing: %-22s wall %8.1f ms, %4d ticks, wall/(ticks*25ms) = %.3f, "
                "%.2f ticks per item\n",
                name, run.wallMs, run.ticks, run.wallMs / ideal, double(run.ticks) / BulkItems);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication qapp(argc, argv);
    QString simPath = QStringLiteral("kestrum-sim");
    int rounds = 1;
    const QStringList args = qapp.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sim"))
            simPath = args[i + 1];
        else if (args[i] == QLatin1String("--rounds"))
            rounds = args[i + 1].toInt();
    }
    if (rounds < 1) {
        std::fprintf(stderr, "engine_timing: --rounds must be at least 1\n");
        return 2;
    }

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simPath, {});
    if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "engine_timing: cannot start %s\n", qPrintable(simPath));
        return 1;
    }
    const QByteArray first = sim.readLine().trimmed();
    const QByteArray prefix = "kestrum-sim: listening on ";
    if (!first.startsWith(prefix)) {
        std::fprintf(stderr, "engine_timing: unexpected first line from the simulator: %s\n",
                     first.constData());
        return 1;
    }
    const QString device = QString::fromLocal8Bit(first.mid(prefix.size()));
    QObject::connect(&sim, &QProcess::readyReadStandardOutput,
                     [&sim] { sim.readAllStandardOutput(); });

    // A program folder of its own whose port 1 is the simulator's line.
    QTemporaryDir home;
    if (!home.isValid() || !QDir().mkpath(home.filePath(QStringLiteral("ports"))) ||
        !QFile::link(device, home.filePath(QStringLiteral("ports/com1")))) {
        std::fprintf(stderr, "engine_timing: cannot prepare a program folder\n");
        return 1;
    }

    HeadlessScreen screen;
    FixedAnswerDialogs dialogs{true};
    QtSerialBackend backend;
    SystemClock clock;
    Kestrum app(screen, dialogs, backend, clock, home.path());
    app.StartProgram(QString());
    if (app.engine.EngineState != Engine::ST_IDLE) {
        std::fprintf(stderr, "engine_timing: the port %s did not open\n", qPrintable(device));
        return 1;
    }

    std::printf("engine_timing: %d items per series over %s, one tick = %.0f ms; a series "
                "takes 6 ticks per item plus the request and the wake-up\n",
                BulkItems, qPrintable(device), TickMs);
    int failed = 0;
    for (int round = 0; round < rounds; ++round) {
        const Run read =
            timeSeries(app, dialogs, app.engine.ReadAllRequest,
                       QStringLiteral("Reading of all settings was successfull."), 30000);
        report("read-all", read);
        const Run write =
            timeSeries(app, dialogs, app.engine.WriteAllRequest,
                       QStringLiteral("Programming of all settings was successfull."), 30000);
        report("write-all", write);
        failed += (read.done ? 0 : 1) + (write.done ? 0 : 1);

        // One setting changed on the screen after the series, then "Write changed
        // settings to unit": it reads what the unit holds, as read-all does, then
        // writes that one item and reads it back.
        const int parity = screen.selectedIndex(13);
        screen.setSelectedIndex(13, parity == 1 ? 2 : 1);
        const Run changed = timeSeries(
            app, dialogs, app.engine.WriteChangedRequest,
            QStringLiteral("Applied 1 changed setting; all read back as written."), 30000);
        report("write-changed (1 item)", changed);
        std::printf("engine_timing: write-changed of one setting takes %d ticks: the reads "
                    "(%d ticks for read-all) and %d more (target at most 20 more)\n",
                    changed.ticks, read.ticks, changed.ticks - read.ticks);
        failed += changed.done ? 0 : 1;
    }

    app.datacom.CloseComPort();
    sim.terminate(); // the simulator runs until a signal, also after its input ends
    if (!sim.waitForFinished(5000))
        sim.kill();
    std::printf("engine_timing: failed series: %d\n", failed);
    return failed == 0 ? 0 : 1;
}
