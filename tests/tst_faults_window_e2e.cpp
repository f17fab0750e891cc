// The window program against a misbehaving converter: a MainWindow with its own
// timers, the real QSerialPort backend and kestrum-sim on a pseudo-terminal, driven
// by clicks on its buttons. Every fault ends in its report, never in a hang, and
// afterwards the settings table holds as the converter's value exactly what the
// converter confirmed.

#include "app/Commands.h"
#include "app/Kestrum.h"
#include "serial/QtSerialBackend.h"
#include "support/FaultMatrix.h"
#include "support/ScriptedDialogs.h"
#include "support/SimProcess.h"
#include "window/MainWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/resource.h>

using namespace FaultMatrix;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int occurrences(const QString &text, const QString &part)
{
    return int(text.count(part));
}

struct WindowRig
{
    QTemporaryDir home;
    QtSerialBackend port;
    SystemClock clock;
    ScriptedDialogs dialogs;
    MainWindow window;
    std::unique_ptr<Kestrum> app;
    std::unique_ptr<Commands> commands;
    QStringList log; // without time stamps

    WindowRig()
    {
        // A message box is modal: the timers keep firing while it is open.
        dialogs.whileBoxOpen = [] { QTest::qWait(300); };
    }
    ~WindowRig()
    {
        window.detach();
        commands.reset();
        app.reset();
    }

    QString link() const { return home.filePath(QStringLiteral("ports/com1")); }

    QStringList simArgs(const QStringList &faults = {}) const
    {
        QStringList args{QStringLiteral("--link"), link()};
        for (const QString &fault : faults)
            args << QStringLiteral("--fault") << fault;
        return args;
    }

    bool startProgram()
    {
        if (!home.isValid() || !QDir(home.path()).mkpath(QStringLiteral("ports")))
            return false;
        app = std::make_unique<Kestrum>(window.screen(), dialogs, port, clock, home.path());
        app->log.onLine = [this](const QString &line) { log.append(line.mid(9)); };
        commands = std::make_unique<Commands>(*app);
        window.attach(*app, *commands);
        app->StartProgram(QString());
        return app->engine.EngineState == Engine::ST_IDLE;
    }

    bool click(const char *name)
    {
        QPushButton *button = window.findChild<QPushButton *>(QLatin1String(name));
        if (!button)
            return false;
        button->click();
        return true;
    }

    // "Read from file": the file dialog answers with path.
    void readFromFile(const QString &path)
    {
        dialogs.fileAnswers = {path};
        click("CmdLezenUnitgegevens");
    }

    QString progress() const
    {
        QString text = app->screen.progressText();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        return text;
    }
    int logLinesStartingWith(const QString &prefix) const
    {
        int n = 0;
        for (const QString &line : log)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

    // Every bulk item whose converter value the table knows holds what the converter
    // holds; returns the number of such items, or -1 after a failed comparison.
    int compareWithConverter(const QMap<int, QString> &converter)
    {
        int known = 0;
        for (int item : BulkItems) {
            const QString unit = app->table.UnitValue[item].asText();
            if (unit == QLatin1String("-1"))
                continue;
            if (unit != converter.value(item)) {
                qWarning("item %d: table has %s as the converter's value, the converter %s", item,
                         qPrintable(unit), qPrintable(converter.value(item)));
                return -1;
            }
            ++known;
        }
        return known;
    }
};

} // namespace

class TestFaultsWindowE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void seriesEndsInItsReport_data();
    void seriesEndsInItsReport();
    void converterGoneDuringReadAll();
    void converterGoneDuringWriteAll();
};

void TestFaultsWindowE2e::seriesEndsInItsReport_data()
{
    addRows();
}

void TestFaultsWindowE2e::seriesEndsInItsReport()
{
    QFETCH(QStringList, faults);
    QFETCH(QString, work);
    QFETCH(Outcome, outcome);
    QFETCH(Counts, counts);

    WindowRig rig;
    SimProcess sim;
    QVERIFY(rig.home.isValid());
    QVERIFY(QDir(rig.home.path()).mkpath(QStringLiteral("ports")));
    QVERIFY(sim.start(rig.simArgs(faults)));
    QVERIFY(sim.sendCommand(QStringLiteral("set 10 4")));
    QVERIFY(sim.sendCommand(QStringLiteral("set 25 45")));
    QVERIFY(rig.startProgram());

    const bool reading = work == QLatin1String("read-all");
    if (reading) {
        QVERIFY(rig.click("CmdLeesAlles"));
    } else {
        const QString file = rig.home.filePath(QStringLiteral("new.cfg"));
        QVERIFY(writeAllFile(sim, file));
        rig.readFromFile(file);
        QVERIFY(rig.dialogs.boxes.isEmpty());
        QVERIFY(rig.click("CmdSchrijfAlles"));
    }

    const QString done = reading ? ReadAllDone : WriteAllDone;
    switch (outcome) {
    case Outcome::Success:
        QTRY_VERIFY_WITH_TIMEOUT(rig.log.contains(done), 45000);
        QVERIFY(rig.dialogs.boxes.isEmpty());
        break;
    case Outcome::Abort:
    case Outcome::AbortLater:
        QTRY_VERIFY_WITH_TIMEOUT(!rig.dialogs.boxes.isEmpty(), 45000);
        QCOMPARE(rig.dialogs.boxes.size(), 1);
        QCOMPARE(rig.dialogs.boxes[0].text, reading ? ReadAborted : WriteAborted);
        QVERIFY(rig.progress().endsWith(QStringLiteral("\nCancelled!\n")));
        break;
    }
    QTRY_VERIFY_WITH_TIMEOUT(rig.app->engine.isQuiet(), 10000);
    QVERIFY(!(outcome != Outcome::Success && rig.log.contains(done)));

    const QString progress = rig.progress();
    for (const auto &[text, count] : counts)
        QVERIFY2(occurrences(progress, text) == count,
                 qPrintable(QStringLiteral("\"%1\" %2 times, not %3, in:\n%4")
                                .arg(text)
                                .arg(occurrences(progress, text))
                                .arg(count)
                                .arg(progress)));

    const int known =
        rig.compareWithConverter(simValues(sim, rig.home.filePath(QStringLiteral("unit.cfg"))));
    QVERIFY(known >= 0);
    if (outcome == Outcome::Success)
        QCOMPARE(known, BulkItems.size());
    else if (outcome == Outcome::Abort)
        QCOMPARE(known, 0);
    else
        QCOMPARE(known, 6); // items 0..12 before the failing one
}

// The simulator dies in the middle of a read-all: its pseudo-terminal goes away.
void TestFaultsWindowE2e::converterGoneDuringReadAll()
{
    WindowRig rig;
    QVERIFY(rig.home.isValid());
    QVERIFY(QDir(rig.home.path()).mkpath(QStringLiteral("ports")));
    auto sim = std::make_unique<SimProcess>();
    QVERIFY(sim->start(rig.simArgs()));
    QVERIFY(sim->sendCommand(QStringLiteral("set 10 4")));
    const QMap<int, QString> before =
        simValues(*sim, rig.home.filePath(QStringLiteral("unit.cfg")));
    QVERIFY(rig.startProgram());

    QVERIFY(rig.click("CmdLeesAlles"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.progress().contains(QStringLiteral("Reading setting 13  ")),
                             30000);
    sim->process().kill();
    QVERIFY(sim->process().waitForFinished(5000));
    const double cpuAtLoss = cpuSeconds();
    QElapsedTimer wall;
    wall.start();

    // The rest of the series runs into time-outs and one abort; nothing spins.
    QTRY_VERIFY_WITH_TIMEOUT(!rig.dialogs.boxes.isEmpty(), 45000);
    const double share = (cpuSeconds() - cpuAtLoss) / (double(wall.elapsed()) / 1000.0);
    QVERIFY2(share < 0.35, qPrintable(QStringLiteral("CPU share %1 on a dead port").arg(share)));
    QCOMPARE(rig.dialogs.boxes.size(), 1);
    QCOMPARE(rig.dialogs.boxes[0].text, ReadAborted);
    QCOMPARE(rig.logLinesStartingWith(QStringLiteral("Error on comport: ")), 1);
    QCOMPARE(occurrences(rig.progress(), QStringLiteral(" ERROR ")), 3);
    QTRY_VERIFY_WITH_TIMEOUT(rig.app->engine.isQuiet(), 5000);
    QVERIFY(!rig.log.contains(ReadAllDone));
    const int known = rig.compareWithConverter(before);
    QVERIFY2(known >= 6, qPrintable(QString::number(known))); // 0 .. 12 at least

    // The converter comes back on a new line behind the same port: the next "Read
    // all" opens it and reads everything.
    SimProcess again;
    QVERIFY(again.start(rig.simArgs()));
    QVERIFY(again.sendCommand(QStringLiteral("set 10 2")));
    QVERIFY(rig.click("CmdLeesAlles"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.contains(ReadAllDone), 45000);
    QCOMPARE(
        rig.compareWithConverter(simValues(again, rig.home.filePath(QStringLiteral("unit2.cfg")))),
        BulkItems.size());
    QCOMPARE(rig.app->table.UnitValue[10].asText(), QStringLiteral("2"));
    QCOMPARE(rig.logLinesStartingWith(QStringLiteral("Error on comport: ")), 1);
}

// The simulator is stopped in the middle of a write-all; it writes what it holds as
// it goes.
void TestFaultsWindowE2e::converterGoneDuringWriteAll()
{
    WindowRig rig;
    QVERIFY(rig.home.isValid());
    QVERIFY(QDir(rig.home.path()).mkpath(QStringLiteral("ports")));
    const QString atExit = rig.home.filePath(QStringLiteral("at-exit.cfg"));
    auto sim = std::make_unique<SimProcess>();
    QVERIFY(sim->start(rig.simArgs() << QStringLiteral("--save-on-exit") << atExit));
    QVERIFY(rig.startProgram());
    const QString file = rig.home.filePath(QStringLiteral("new.cfg"));
    QVERIFY(writeAllFile(*sim, file));
    rig.readFromFile(file);

    QVERIFY(rig.click("CmdSchrijfAlles"));
    QTRY_VERIFY_WITH_TIMEOUT(occurrences(rig.progress(), QStringLiteral(" -> Saved.")) >= 8, 30000);
    sim->kill();
    QVERIFY(QFile::exists(atExit));
    const double cpuAtLoss = cpuSeconds();
    QElapsedTimer wall;
    wall.start();

    QTRY_VERIFY_WITH_TIMEOUT(!rig.dialogs.boxes.isEmpty(), 45000);
    const double share = (cpuSeconds() - cpuAtLoss) / (double(wall.elapsed()) / 1000.0);
    QVERIFY2(share < 0.35, qPrintable(QStringLiteral("CPU share %1 on a dead port").arg(share)));
    QCOMPARE(rig.dialogs.boxes[0].text, WriteAborted);
    QCOMPARE(rig.logLinesStartingWith(QStringLiteral("Error on comport: ")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(rig.app->engine.isQuiet(), 5000);
    const int known = rig.compareWithConverter(fileValues(atExit));
    QVERIFY2(known >= 8, qPrintable(QString::number(known)));
    QCOMPARE(known, occurrences(rig.progress(), QStringLiteral(" -> Saved.")));

    SimProcess again;
    QVERIFY(again.start(rig.simArgs()));
    QVERIFY(rig.click("CmdSchrijfAlles"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.contains(WriteAllDone), 45000);
    const QMap<int, QString> now = simValues(again, rig.home.filePath(QStringLiteral("u.cfg")));
    QCOMPARE(rig.compareWithConverter(now), BulkItems.size());
    const QMap<int, QString> wanted = fileValues(file);
    for (int item : BulkItems)
        QCOMPARE(now.value(item), wanted.value(item));
}

QTEST_MAIN(TestFaultsWindowE2e)
#include "tst_faults_window_e2e.moc"
