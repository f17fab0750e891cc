// A read-all of the 27 bulk items by the whole program logic (a Kestrum on a headless
// screen, the engine ticked every 25 ms as in the window program) against one
// kestrum-sim: over its pseudo-terminal, then through ser2net's raw accepter and its
// RFC 2217 accepter to the same terminal. Prints per path the ticks and how far the
// wall time stretches past ticks x 25 ms, and for each network path its ticks and
// ratio beside the pseudo-terminal's (target: the same ticks, the ratio within 1.02).
//
//     network_link [--rounds N]

#include "app/Kestrum.h"
#include "screen/HeadlessScreen.h"
#include "serial/PortBackend.h"
#include "support/ScriptedDialogs.h"
#include "support/Ser2Net.h"
#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double TickMs = 25.0;

struct Timing
{
    bool done = false;
    int ticks = 0;
    double ratio = 0; // wall / (ticks x 25 ms)
};

// Opens Com1 of a fresh program folder that leads to `port` (a device or an address),
// waits for the connection, then times `rounds` read-alls from request to report.
std::vector<Timing> timeReadAll(const QString &port, int rounds)
{
    QTemporaryDir home;
    if (!PortMap(home.path()).writeLink(1, port, nullptr))
        return {};
    HeadlessScreen screen;
    ScriptedDialogs dialogs;
    PortBackend backend;
    SystemClock clock;
    Kestrum app(screen, dialogs, backend, clock, home.path());
    bool finished = false;
    app.log.onLine = [&finished](const QString &line) {
        finished =
            finished || line.endsWith(QLatin1String("Reading of all settings was successfull."));
    };
    app.StartProgram(QString());
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (!app.datacom.IsComPortOpening())
            loop.quit();
    });
    timer.start(5);
    deadline.start(10000);
    loop.exec();
    timer.disconnect();
    if (app.engine.EngineState == Engine::ST_START)
        return {};

    std::vector<Timing> timings;
    for (int round = 0; round < rounds; ++round) {
        Timing timing;
        finished = false;
        QElapsedTimer wall;
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            app.TmrAfhandelTick();
            ++timing.ticks;
            if (finished || !dialogs.boxes.isEmpty()) {
                for (const ScriptedDialogs::Box &box : dialogs.boxes)
                    std::fprintf(stderr, "network_link: message box: %s\n", qPrintable(box.text));
                timing.done = finished;
                timing.ratio = double(wall.nsecsElapsed()) / 1e6 / (timing.ticks * TickMs);
                loop.quit();
            }
        });
        app.engine.ReadAllRequest = -1;
        wall.start();
        timer.start(int(TickMs));
        deadline.start(30000);
        loop.exec();
        timer.stop();
        timer.disconnect();
        timings.push_back(timing);
    }
    app.datacom.CloseComPort();
    return timings;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    const int at = args.indexOf(QStringLiteral("--rounds"));
    const int rounds = at > 0 ? args.value(at + 1).toInt() : 3;
    if (rounds < 1) {
        std::fprintf(stderr, "network_link: --rounds must be at least 1\n");
        return 2;
    }

    SimProcess sim;
    Ser2Net server;
    if (!sim.start({QStringLiteral("--no-stdin")})) {
        std::fprintf(stderr, "network_link: kestrum-sim did not start\n");
        return 1;
    }
    const QString paths[] = {sim.ptyPath(), server.serve(sim.ptyPath(), Ser2Net::Raw),
                             server.serve(sim.ptyPath(), Ser2Net::Rfc2217)};
    const char *names[] = {"pseudo-terminal", "raw TCP", "RFC 2217"};
    if (!server.start()) {
        std::fprintf(stderr, "network_link: ser2net did not start\n");
        return 1;
    }

    std::vector<Timing> results[3];
    int failed = 0;
    for (int path = 0; path < 3; ++path) {
        // ser2net serves the terminal to one connection at a time and lets go of it
        // a moment after the last one closed.
        QEventLoop pause;
        QTimer::singleShot(1000, &pause, &QEventLoop::quit);
        pause.exec();
        results[path] = timeReadAll(paths[path], rounds);
        if (int(results[path].size()) != rounds) {
            std::fprintf(stderr, "network_link: %s did not open\n", qPrintable(paths[path]));
            return 1;
        }
        for (const Timing &t : results[path]) {
            std::printf("network_link: %-16s read-all %4d ticks, wall/(ticks*25ms) = %.3f%s\n",
                        names[path], t.ticks, t.ratio, t.done ? "" : " (failed)");
            failed += t.done ? 0 : 1;
        }
    }
    // The median round of each path, so one round disturbed by the rest of the
    // machine does not decide.
    const auto median = [](std::vector<Timing> timings) {
        std::sort(timings.begin(), timings.end(),
                  [](const Timing &a, const Timing &b) { return a.ratio < b.ratio; });
        return timings[timings.size() / 2];
    };
    // Round by round the same ticks: the first round of each path starts with the
    // wake-up, the later ones do not.
    const auto ticksOf = [&results](int path) {
        QStringList ticks;
        for (const Timing &t : results[path])
            ticks << QString::number(t.ticks);
        return ticks.join(QLatin1Char(' '));
    };
    const Timing line = median(results[0]);
    for (int path = 1; path < 3; ++path) {
        const Timing network = median(results[path]);
        std::printf("network_link: %s: ticks %s, %s as on the pseudo-terminal (%s); median "
                    "ratio %.3f against %.3f: %.3f (target at most 1.020)\n",
                    names[path], qPrintable(ticksOf(path)),
                    ticksOf(path) == ticksOf(0) ? "the same" : "NOT the same",
                    qPrintable(ticksOf(0)), network.ratio, line.ratio, network.ratio / line.ratio);
    }
    sim.kill();
    server.stop();
    std::printf("network_link: failed series: %d\n", failed);
    return failed == 0 ? 0 : 1;
}
