// The whole program logic (a Kestrum on a headless screen) against kestrum-sim over
// a real pseudo-terminal and QSerialPort, its engine ticked by a 25 ms timer as in
// the window program. Every wait has a deadline.

#include "app/Kestrum.h"
#include "screen/HeadlessScreen.h"
#include "serial/QtSerialBackend.h"
#include "support/ScriptedDialogs.h"
#include "support/SimProcess.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

struct SimRig
{
    QTemporaryDir home;
    SimProcess sim;
    HeadlessScreen screen;
    ScriptedDialogs dialogs;
    QtSerialBackend port;
    SystemClock clock;
    QStringList log; // texts without their time stamps
    int ticks = 0;
    std::unique_ptr<Kestrum> app;

    // Starts the simulator, links ports/com1 in the program folder to its line and
    // starts the program on it.
    bool start(const QStringList &simArgs = {})
    {
        if (!home.isValid() || !sim.start(simArgs))
            return false;
        const QString ports = home.filePath(QStringLiteral("ports"));
        if (!QDir().mkpath(ports) || !QFile::link(sim.ptyPath(), ports + "/com1"))
            return false;
        qputenv("KESTRUM_HOME", home.path().toLocal8Bit());
        app = std::make_unique<Kestrum>(screen, dialogs, port, clock, home.path());
        app->log.onLine = [this](const QString &line) { log.append(line.mid(9)); };
        app->StartProgram(QString());
        return app->engine.EngineState == Engine::ST_IDLE;
    }

    Engine &engine() { return app->engine; }

    // Ticks the engine every 25 ms until done() holds after a tick; false when the
    // deadline came first.
    bool runUntil(const std::function<bool()> &done, int timeoutMs)
    {
        QEventLoop loop;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        bool reached = false;
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            app->TmrAfhandelTick();
            ++ticks;
            if (done()) {
                reached = true;
                loop.quit();
            }
        });
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        timer.start(25);
        loop.exec();
        return reached;
    }

    bool runToQuiet(int timeoutMs)
    {
        return runUntil([this] { return engine().isQuiet(); }, timeoutMs);
    }

    void runFor(int ms)
    {
        runUntil([] { return false; }, ms);
    }

    bool logged(const QString &text) const { return log.contains(text); }
};

const QString ReadAllDone = QStringLiteral("Reading of all settings was successfull.");
const QString WriteAllDone = QStringLiteral("Programming of all settings was successfull.");

} // namespace

class TestEngineE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readAllTakesWhatTheConverterHolds();
    void writeAllStoresTheScreenInTheConverter();
    void restartIsAcknowledgedAndTheGreetingLogged();
    void testCallReachesTheConverter();
    void faultsEndInTheirReports_data();
    void faultsEndInTheirReports();
    void silentConverterAbortsTheReadAll();
};

void TestEngineE2e::readAllTakesWhatTheConverterHolds()
{
    SimRig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.sim.sendCommand(QStringLiteral("set 10 3")));
    QVERIFY(rig.sim.sendCommand(QStringLiteral("set 13 2")));
    QVERIFY(rig.sim.sendCommand(QStringLiteral("set 7 150")));

    rig.engine().ReadAllRequest = -1;
    QVERIFY(rig.runUntil([&] { return rig.logged(ReadAllDone); }, 20000));
    QCOMPARE(rig.app->table.SettingValue[10].asText(), QStringLiteral("3"));
    QCOMPARE(rig.app->table.SettingValue[13].asText(), QStringLiteral("2"));
    QCOMPARE(rig.app->table.SettingValue[7].asText(), QStringLiteral("150"));
    QCOMPARE(rig.screen.valueText(10), QStringLiteral("9600 baud"));
    QCOMPARE(rig.screen.progressText().count(QStringLiteral(" OK\r\n")), 27);
    QCOMPARE(rig.engine().ErrorCount, qint16(0));
    QVERIFY(rig.sim.waitForOutput(QStringLiteral("read item 37")));
}

void TestEngineE2e::writeAllStoresTheScreenInTheConverter()
{
    SimRig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.screen.pickChoice(10, 1));
    QVERIFY(rig.screen.pickChoice(23, 2));
    QVERIFY(rig.screen.pickChoice(35, 30));

    rig.engine().WriteAllRequest = -1;
    QVERIFY(rig.runUntil([&] { return rig.logged(WriteAllDone); }, 20000));
    QCOMPARE(rig.screen.progressText().count(QStringLiteral(" -> Saved.\r\n")), 27);
    QVERIFY(rig.sim.waitForOutput(QStringLiteral("write item 10 = 1")));
    QVERIFY(rig.sim.waitForOutput(QStringLiteral("write item 23 = 2")));
    QVERIFY(rig.sim.waitForOutput(QStringLiteral("write item 35 = 30")));
    for (int item = 0; item <= 249; ++item) {
        if (IsBulkItem(item))
            QVERIFY(rig.app->table.UnitValue[item] == rig.app->table.SettingValue[item]);
    }
}

void TestEngineE2e::restartIsAcknowledgedAndTheGreetingLogged()
{
    SimRig rig;
    QVERIFY(rig.start());
    rig.engine().RestartRequest = -1;
    // The converter greets on its own after the restart; the idle engine logs it.
    QVERIFY(
        rig.runUntil([&] { return rig.logged(QStringLiteral("Dunvale unit restarted")); }, 5000));
    const qsizetype status =
        rig.log.indexOf(QStringLiteral("STATUS: RESET command send to the converter."));
    QVERIFY(status >= 0);
    QVERIFY(status < rig.log.indexOf(QStringLiteral("Dunvale unit restarted")));
    QVERIFY(rig.sim.waitForOutput(QStringLiteral("restart")));
}

void TestEngineE2e::testCallReachesTheConverter()
{
    SimRig rig;
    QVERIFY(rig.start());
    rig.screen.typeText(CTRL_TEST_ADDRESS, QStringLiteral("1234"));
    rig.screen.typeText(CTRL_TEST_MESSAGE, QStringLiteral("Hello"));
    QVERIFY(rig.screen.setSelectedIndex(CTRL_TEST_BLEEP, 11));
    rig.engine().PagerCallRequest = -1;

    QVERIFY(rig.runToQuiet(5000));
    QCOMPARE(rig.log.last(), QStringLiteral("STATUS: Calling pager via Kestrum succesfull."));
    QVERIFY(rig.sim.waitForOutput(QStringLiteral("1=1234 2=Hello 3=B")));
    QCOMPARE(rig.engine().ErrorCount, qint16(0));
}

void TestEngineE2e::faultsEndInTheirReports_data()
{
    QTest::addColumn<QString>("fault");        // given at the simulator's start
    QTest::addColumn<QString>("work");         // read, write, restart or call
    QTest::addColumn<QString>("callFault");    // given just before the call goes out
    QTest::addColumn<QStringList>("progress"); // texts the progress pane must hold
    QTest::addColumn<QStringList>("logged");   // lines the log must hold
    QTest::addColumn<int>("errorCount");
    QTest::addColumn<int>("attempts"); // item requests reported in the progress pane

    const QString ok = QStringLiteral(" OK\r\n");
    QTest::newRow("silent: read times out, then succeeds")
        << "silent x1"
        << "read"
        << "" << QStringList{" ERROR timeout wo SOH. \r\nReading setting 10  ", ok} << QStringList()
        << 0 << 2;
    QTest::newRow("nak: write refused, then saved")
        << "nak x1"
        << "write"
        << "" << QStringList{" -> program ERROR NACK.\r\nWriting ", " -> Saved.\r\n"}
        << QStringList() << 0 << 2;
    QTest::newRow("checksum: read repeated")
        << "checksum x1"
        << "read"
        << "" << QStringList{" ERROR checksum. \r\nReading setting 10  ", ok} << QStringList() << 0
        << 2;
    QTest::newRow("stop-after-len: read ends after the time-out, repeated")
        << "stop-after-len x1"
        << "read"
        << "" << QStringList{" ERROR checksum. \r\nReading setting 10  ", ok} << QStringList() << 0
        << 2;
    QTest::newRow("too-long: read repeated")
        << "too-long x1"
        << "read"
        << "" << QStringList{" ERROR too long info. \r\nReading setting 10  ", ok} << QStringList()
        << 0 << 2;
    QTest::newRow("other-item: stored under that item, the item read again")
        << "other-item 11 x1"
        << "read"
        << "" << QStringList{ok, ok}
        << QStringList{"Received from unit:  [Item: 11 Value: 1] ESPA out serial speed: "
                       "1200 baud OK",
                       "Received from unit:  [Item: 10 Value: 0] ESPA out serial speed: "
                       "1200 baud OK"}
        << 0 << 2;
    QTest::newRow("noise before the answer is skipped")
        << "noise x1"
        << "read"
        << ""
        << QStringList{"Reading setting 10  ESPA out serial speed: "
                       "1200 baud OK\r\n"}
        << QStringList() << 0 << 1;
    QTest::newRow("a late answer within the time-out is taken")
        << "delay 800 x1"
        << "read"
        << "" << QStringList{"Reading setting 10  ESPA out serial speed: 1200 baud OK\r\n"}
        << QStringList() << 0 << 1;

    QTest::newRow("restart: silent")
        << "silent x1"
        << "restart"
        << "" << QStringList()
        << QStringList{"ERROR: TimeOut sending RESET command to the converter (SOH)"} << 0 << 0;
    QTest::newRow("restart: checksum")
        << "checksum x1"
        << "restart"
        << "" << QStringList()
        << QStringList{"ERROR: ChecksumError sending RESET command to the converter."} << 0 << 0;
    QTest::newRow("restart: stop-after-len")
        << "stop-after-len x1"
        << "restart"
        << "" << QStringList()
        << QStringList{"ERROR: ChecksumError sending RESET command to the converter."} << 0 << 0;

    QTest::newRow("call: query silent")
        << "silent x1"
        << "call"
        << "" << QStringList()
        << QStringList{"ERROR: TimeOut calling pager via Kestrum (SOH ask BufPos)"} << 1 << 0;
    QTest::newRow("call: query checksum")
        << "checksum x1"
        << "call"
        << "" << QStringList()
        << QStringList{"ERROR: ChecksumError calling pager Kestrum (CheckSum ask BufPos)"} << 0
        << 0;
    QTest::newRow("call: query stops after LEN")
        << "stop-after-len x1"
        << "call"
        << "" << QStringList()
        << QStringList{"ERROR: ChecksumError calling pager Kestrum (CheckSum ask BufPos)"} << 0
        << 0;
    QTest::newRow("call: query and call refused")
        << "nak x2"
        << "call"
        << "" << QStringList() << QStringList{"STATUS: Calling pager via Kestrum failed."} << 0
        << 0;
    QTest::newRow("call: call silent")
        << ""
        << "call"
        << "fault silent x1" << QStringList()
        << QStringList{"ERROR: TimeOut calling pager via Kestrum (SOH sending call)"} << 1 << 0;
    QTest::newRow("call: call checksum")
        << ""
        << "call"
        << "fault checksum x1" << QStringList()
        << QStringList{"ERROR: TimeOut calling pager via Kestrum (Data sending call)"} << 0 << 0;
    QTest::newRow("call: call stops after LEN")
        << ""
        << "call"
        << "fault stop-after-len x1" << QStringList()
        << QStringList{"ERROR: TimeOut calling pager via Kestrum (Data sending call)"} << 0 << 0;
}

void TestEngineE2e::faultsEndInTheirReports()
{
    QFETCH(QString, fault);
    QFETCH(QString, work);
    QFETCH(QString, callFault);
    QFETCH(QStringList, progress);
    QFETCH(QStringList, logged);
    QFETCH(int, errorCount);
    QFETCH(int, attempts);

    SimRig rig;
    QVERIFY(rig.start(fault.isEmpty() ? QStringList() : QStringList{"--fault", fault}));
    QVERIFY(rig.sim.sendCommand(QStringLiteral("set 10 0")));
    QVERIFY(rig.sim.sendCommand(QStringLiteral("set 11 1")));
    rig.screen.typeText(CTRL_TEST_ADDRESS, QStringLiteral("42"));

    if (work == QLatin1String("read")) {
        rig.app->table.SettingJob[10] = JOB_READ;
    } else if (work == QLatin1String("write")) {
        QVERIFY(rig.screen.pickChoice(10, 2));
        rig.app->transfer.ControlToSetting(10);
        rig.app->table.SettingJob[10] = JOB_WRITE;
    } else if (work == QLatin1String("restart")) {
        rig.engine().RestartRequest = -1;
    } else {
        rig.engine().PagerCallRequest = -1;
        if (!callFault.isEmpty()) {
            QVERIFY(rig.runUntil([&] { return rig.engine().EngineState == Engine::ST_CALL_SEND; },
                                 5000));
            QVERIFY(rig.sim.sendCommand(callFault));
        }
    }

    QVERIFY(rig.runToQuiet(10000));
    rig.runFor(500); // anything the converter still says comes in and is logged

    const QString text = rig.screen.progressText();
    qsizetype at = 0;
    for (const QString &part : progress) {
        at = text.indexOf(part, at);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("not in order: ") + part + " in " + text));
        at += part.size();
    }
    for (const QString &line : logged)
        QVERIFY2(rig.log.contains(line), qPrintable(rig.log.join(QLatin1Char('\n'))));
    QCOMPARE(rig.engine().ErrorCount, qint16(errorCount));
    QCOMPARE(text.count(QStringLiteral("Reading setting 10  ")) +
                 text.count(QStringLiteral("Writing ")),
             attempts);
    QVERIFY(rig.dialogs.boxes.isEmpty());
}

void TestEngineE2e::silentConverterAbortsTheReadAll()
{
    SimRig rig;
    QVERIFY(rig.start({"--fault", "silent"}));
    rig.engine().ReadAllRequest = -1;
    // Three time-outs of 3 s each, then the abort.
    QVERIFY(rig.runUntil([&] { return !rig.dialogs.boxes.isEmpty(); }, 30000));
    QCOMPARE(rig.dialogs.boxes[0].text,
             QStringLiteral("ERROR reading settings from the converter.\r\nReading is aborted!"));
    QCOMPARE(rig.screen.progressText().count(QStringLiteral(" ERROR timeout wo SOH. ")), 3);
    QVERIFY(rig.screen.progressText().endsWith(QStringLiteral("\r\nCancelled!\r\n")));
    rig.runFor(300);
    QVERIFY(!rig.logged(ReadAllDone));
    QVERIFY(rig.engine().isQuiet());
}

QTEST_GUILESS_MAIN(TestEngineE2e)
#include "tst_engine_e2e.moc"
