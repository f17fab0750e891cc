// The converter search over real pseudo-terminals: N simulated converters, all
// answering or all silent, searched side by side with the 25 ms tick of the window
// and kestrum-cli detect. Prints the wall time of each search beside its ticks; a
// silent device holds the search for the whole 130 ticks, however many there are.
//
//     converter_search [--sim PATH] [--devices N]...   (default: 1 and 8)

#include "app/Kestrum.h"
#include "protocol/ConverterSearch.h"
#include "serial/QtSerialBackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Starts a simulator and gives its pseudo-terminal; "" when it did not come up.
QString startSim(QProcess &sim, const QString &path, bool silent)
{
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{QStringLiteral("--no-stdin")};
    if (silent)
        args << QStringLiteral("--fault") << QStringLiteral("silent");
    sim.start(path, args);
    if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000))
        return QString();
    const QByteArray first = sim.readLine().trimmed();
    const QByteArray prefix = "kestrum-sim: listening on ";
    if (!first.startsWith(prefix))
        return QString();
    // The simulator reports every request on its standard output; nobody needs it.
    QObject::connect(&sim, &QProcess::readyReadStandardOutput,
                     [&sim] { sim.readAllStandardOutput(); });
    return QString::fromLocal8Bit(first.mid(prefix.size()));
}

struct Run
{
    double seconds = 0;
    int ticks = 0;
    int converters = 0;
};

Run search(const QStringList &devices)
{
    ConverterSearch search([] { return std::make_unique<QtSerialBackend>(); },
                           Kestrum::ConverterLineSettings());
    Run run;
    QElapsedTimer timer;
    timer.start();
    search.start(devices);
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(25);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        search.tick();
        ++run.ticks;
        if (search.isFinished())
            loop.quit();
    });
    tick.start();
    if (!search.isFinished())
        loop.exec();
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    for (const ConverterSearch::Probe &probe : search.probes())
        run.converters += probe.outcome == ConverterSearch::Outcome::Converter;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString simPath = QStringLiteral("kestrum-sim");
    QList<int> counts;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sim"))
            simPath = args[i + 1];
        else if (args[i] == QLatin1String("--devices"))
            counts << args[i + 1].toInt();
    }
    if (counts.isEmpty())
        counts = {1, 8};

    int failed = 0;
    for (const int count : counts) {
        for (const bool silent : {false, true}) {
            std::vector<std::unique_ptr<QProcess>> sims;
            QStringList devices;
            for (int i = 0; i < count; ++i) {
                sims.push_back(std::make_unique<QProcess>());
                const QString pty = startSim(*sims.back(), simPath, silent);
                if (pty.isEmpty()) {
                    std::fprintf(stderr, "converter_search: cannot start %s\n",
                                 qPrintable(simPath));
                    return 1;
                }
                devices << pty;
            }
            const Run run = search(devices);
            const int expected = silent ? 0 : count;
            std::printf("converter_search: %d device%s, %s: %.2f s, %d ticks (%.0f ms of "
                        "ticks), %d converter%s found\n",
                        count, count == 1 ? "" : "s", silent ? "all silent   " : "all answering",
                        run.seconds, run.ticks, run.ticks * 25.0, run.converters,
                        run.converters == 1 ? "" : "s");
            if (run.converters != expected)
                ++failed;
            for (auto &sim : sims) {
                sim->terminate();
                if (!sim->waitForFinished(5000))
                    sim->kill();
            }
        }
    }
    return failed == 0 ? 0 : 1;
}
