// kestrum-cli, the real binary, against a misbehaving kestrum-sim over a real
// pseudo-terminal. Every fault ends in its report and exit status, never in a hang;
// every value the tool reports as confirmed by the converter (its --debug lines
// " [Item: N Value: V] ... OK" and "... -> Saved.") is what the converter holds.

#include "support/FaultMatrix.h"
#include "support/SimProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

using namespace FaultMatrix;

namespace {

// CPU seconds a process has used so far, from /proc; -1 when it is gone.
double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = double(fields.at(11).toLongLong() + fields.at(12).toLongLong());
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

// The items and values the tool reports as confirmed by the converter.
QMap<int, QString> confirmed(const QString &out)
{
    static const QRegularExpression line(
        QStringLiteral("\\[Item: (\\d+) (?:Value|Waarde): ([^\\]]*)\\] (.*)$"));
    QMap<int, QString> values;
    for (const QString &text : out.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch())
            continue;
        const QString rest = m.captured(3);
        if (rest.endsWith(QLatin1String(" OK")) || rest.endsWith(QLatin1String(" -> Saved.")))
            values.insert(m.captured(1).toInt(), m.captured(2));
    }
    return values;
}

// Empty when every confirmed value is the converter's, else what differs.
QString differences(const QMap<int, QString> &told, const QMap<int, QString> &converter)
{
    QStringList wrong;
    for (auto it = told.cbegin(); it != told.cend(); ++it) {
        if (converter.value(it.key()) != it.value())
            wrong << QStringLiteral("item %1: told %2, converter %3")
                         .arg(it.key())
                         .arg(it.value(), converter.value(it.key()));
    }
    return wrong.join(QStringLiteral("; "));
}

class Cli
{
public:
    void start(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("KESTRUM_HOME"));
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(KESTRUM_CLI_PATH), arguments);
    }
    // Waits for the end, noting the tool's CPU time as it goes; false on time-out.
    bool finish(int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (m_process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            const double cpu = processCpuSeconds(m_process.processId());
            if (cpu >= 0) {
                lastCpu = cpu;
                lastSample = m_wall.isValid() ? m_wall.elapsed() : 0;
            }
            m_process.waitForFinished(100);
            collect();
        }
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
            return false;
        }
        collect();
        return true;
    }
    // Waits until standard output holds text.
    bool waitForOut(const QString &text, int count, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (out.count(text) < count) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(100);
            collect();
        }
        return true;
    }
    // From here on CPU time is measured against wall time.
    void markNow()
    {
        markCpu = processCpuSeconds(m_process.processId());
        m_wall.start();
    }
    double cpuShareSinceMark() const
    {
        return lastSample > 0 ? (lastCpu - markCpu) / (double(lastSample) / 1000.0) : 0;
    }
    int exitCode() const
    {
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QString out;
    QString err;
    double markCpu = 0;
    double lastCpu = 0;
    qint64 lastSample = 0;

private:
    void collect()
    {
        out += QString::fromUtf8(m_process.readAllStandardOutput());
        err += QString::fromUtf8(m_process.readAllStandardError());
    }

    QProcess m_process;
    QElapsedTimer m_wall;
};

int linesStartingWith(const QString &text, const QString &prefix)
{
    int n = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        n += line.contains(prefix) ? 1 : 0;
    return n;
}

} // namespace

class TestFaultsCliE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void seriesEndsInItsReport_data();
    void seriesEndsInItsReport();
    void converterGoneDuringReadAll();
    void converterGoneDuringWriteAll();

private:
    QStringList simArgs(const QStringList &faults = {}) const;
    QString path(const QString &name) const { return m_home->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestFaultsCliE2e::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    QVERIFY(QDir(m_home->path()).mkdir(QStringLiteral("ports")));
}

QStringList TestFaultsCliE2e::simArgs(const QStringList &faults) const
{
    QStringList args{QStringLiteral("--link"), path(QStringLiteral("ports/com1"))};
    for (const QString &fault : faults)
        args << QStringLiteral("--fault") << fault;
    return args;
}

void TestFaultsCliE2e::seriesEndsInItsReport_data()
{
    addRows();
}

void TestFaultsCliE2e::seriesEndsInItsReport()
{
    QFETCH(QStringList, faults);
    QFETCH(QString, work);
    QFETCH(Outcome, outcome);
    QFETCH(Counts, counts);

    SimProcess sim;
    QVERIFY(sim.start(simArgs(faults)));
    QVERIFY(sim.sendCommand(QStringLiteral("set 10 4")));
    QVERIFY(sim.sendCommand(QStringLiteral("set 25 45")));

    const bool reading = work == QLatin1String("read-all");
    QStringList arguments{"--home", m_home->path(), "--debug", "--timeout", "60", work};
    const QString file = path(QStringLiteral("new.cfg"));
    if (!reading) {
        QVERIFY(writeAllFile(sim, file));
        arguments << file;
    }
    Cli cli;
    cli.start(arguments);
    QVERIFY2(cli.finish(90000), qPrintable(cli.out + cli.err));

    const QString done = reading ? ReadAllDone : WriteAllDone;
    QString aborted = reading ? ReadAborted : WriteAborted;
    aborted.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    switch (outcome) {
    case Outcome::Success:
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY2(cli.err.contains(done), qPrintable(cli.err));
        break;
    case Outcome::Abort:
    case Outcome::AbortLater:
        QCOMPARE(cli.exitCode(), 1);
        QVERIFY2(cli.err.contains(QStringLiteral("kestrum-cli: ") + aborted), qPrintable(cli.err));
        QVERIFY(cli.out.endsWith(QStringLiteral("\nCancelled!\n")));
        break;
    }
    QVERIFY(outcome == Outcome::Success || !cli.err.contains(done));

    for (const auto &[text, count] : counts)
        QVERIFY2(cli.out.count(text) == count,
                 qPrintable(QStringLiteral("\"%1\" %2 times, not %3, in:\n%4")
                                .arg(text)
                                .arg(cli.out.count(text))
                                .arg(count)
                                .arg(cli.out)));

    const QMap<int, QString> told = confirmed(cli.out);
    const QString wrong = differences(told, simValues(sim, path(QStringLiteral("unit.cfg"))));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    if (outcome == Outcome::Success)
        QCOMPARE(QList<int>(told.keyBegin(), told.keyEnd()), BulkItems);
    else if (outcome == Outcome::Abort)
        QVERIFY(told.isEmpty());
    else
        QCOMPARE(told.keys(), (QList<int>{0, 5, 7, 10, 11, 12}));
}

void TestFaultsCliE2e::converterGoneDuringReadAll()
{
    auto sim = std::make_unique<SimProcess>();
    QVERIFY(sim->start(simArgs()));
    QVERIFY(sim->sendCommand(QStringLiteral("set 10 4")));
    const QMap<int, QString> before = simValues(*sim, path(QStringLiteral("unit.cfg")));

    Cli cli;
    cli.start({"--home", m_home->path(), "--debug", "read-all"});
    QVERIFY2(cli.waitForOut(QStringLiteral("Reading setting 13  "), 1, 30000),
             qPrintable(cli.out + cli.err));
    sim->process().kill();
    QVERIFY(sim->process().waitForFinished(5000));
    cli.markNow();

    // Time-outs, one abort and the end of the run; no spinning on the dead line.
    QVERIFY2(cli.finish(45000), qPrintable(cli.out + cli.err));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(cli.cpuShareSinceMark() < 0.35,
             qPrintable(QStringLiteral("CPU share %1").arg(cli.cpuShareSinceMark())));
    QCOMPARE(linesStartingWith(cli.err, QStringLiteral("Error on comport: ")), 1);
    QVERIFY2(cli.err.contains(QStringLiteral("Reading is aborted!")), qPrintable(cli.err));
    QVERIFY(!cli.err.contains(ReadAllDone));
    const QMap<int, QString> told = confirmed(cli.out);
    QVERIFY(told.size() >= 6);
    const QString wrong = differences(told, before);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

    // The converter is back behind the same port for the next run.
    SimProcess again;
    QVERIFY(again.start(simArgs()));
    QVERIFY(again.sendCommand(QStringLiteral("set 10 2")));
    const QString backup = path(QStringLiteral("backup.cfg"));
    Cli next;
    next.start({"--home", m_home->path(), "read-all", "--save", backup});
    QVERIFY2(next.finish(45000), qPrintable(next.out + next.err));
    QCOMPARE(next.exitCode(), 0);
    const QMap<int, QString> saved = fileValues(backup);
    const QMap<int, QString> now = simValues(again, path(QStringLiteral("unit2.cfg")));
    for (int item : BulkItems)
        QCOMPARE(saved.value(item), now.value(item));
    QCOMPARE(saved.value(10), QStringLiteral("2"));
}

void TestFaultsCliE2e::converterGoneDuringWriteAll()
{
    const QString atExit = path(QStringLiteral("at-exit.cfg"));
    auto sim = std::make_unique<SimProcess>();
    QVERIFY(sim->start(simArgs() << QStringLiteral("--save-on-exit") << atExit));
    const QString file = path(QStringLiteral("new.cfg"));
    QVERIFY(writeAllFile(*sim, file));

    Cli cli;
    cli.start({"--home", m_home->path(), "--debug", "write-all", file});
    QVERIFY2(cli.waitForOut(QStringLiteral(" -> Saved.\n"), 8, 30000),
             qPrintable(cli.out + cli.err));
    sim->kill();
    QVERIFY(QFile::exists(atExit));
    cli.markNow();

    QVERIFY2(cli.finish(45000), qPrintable(cli.out + cli.err));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(cli.cpuShareSinceMark() < 0.35,
             qPrintable(QStringLiteral("CPU share %1").arg(cli.cpuShareSinceMark())));
    QCOMPARE(linesStartingWith(cli.err, QStringLiteral("Error on comport: ")), 1);
    QVERIFY2(cli.err.contains(QStringLiteral("Programming is aborted!")), qPrintable(cli.err));
    const QMap<int, QString> told = confirmed(cli.out);
    QVERIFY(told.size() >= 8);
    const QString wrong = differences(told, fileValues(atExit));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

    SimProcess again;
    QVERIFY(again.start(simArgs()));
    Cli next;
    next.start({"--home", m_home->path(), "write-all", file});
    QVERIFY2(next.finish(45000), qPrintable(next.out + next.err));
    QCOMPARE(next.exitCode(), 0);
    const QMap<int, QString> now = simValues(again, path(QStringLiteral("unit2.cfg")));
    const QMap<int, QString> wanted = fileValues(file);
    for (int item : BulkItems)
        QCOMPARE(now.value(item), wanted.value(item));
}

QTEST_GUILESS_MAIN(TestFaultsCliE2e)
#include "tst_faults_cli_e2e.moc"
