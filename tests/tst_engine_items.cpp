// The protocol engine serving item jobs and the read-all and write-all series,
// ticked by hand against a scripted converter.

#include "support/EngineRig.h"

#include "screen/ScreenTransfer.h"

#include <QtTest>

namespace {

const QString CRLF = QStringLiteral("\r\n");

// Jobs written as "30R 10W": item and job letter, set in the order given.
void setJobs(SettingsTable &table, const QString &jobs)
{
    for (const QString &job : jobs.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int item = job.chopped(1).toInt();
        table.SettingJob[item] = job.endsWith(QLatin1Char('W')) ? JOB_WRITE : JOB_READ;
    }
}

// A converter that takes every write and reports every CHAR item as `value`.
QByteArray obligingAnswer(const QByteArray &request, int value = 0)
{
    if (requestType(request) == 'W')
        return ackAnswer();
    if (requestType(request) == 'w')
        return charAnswer(requestItem(request), value);
    return QByteArray();
}

QList<int> bulkItems()
{
    QList<int> items;
    for (int i = 0; i <= 250; ++i) {
        if (IsBulkItem(i))
            items.append(i);
    }
    return items;
}

} // namespace

class TestEngineItems : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void beforeTheStartCallTicksServeNothing();
    void unknownStateFallsBackToIdle();
    void jobsAreServedLowestItemFirst_data();
    void jobsAreServedLowestItemFirst();
    void successfulReadReportsLegendAndChoice_data();
    void successfulReadReportsLegendAndChoice();
    void writeReportsWhatItSends_data();
    void writeReportsWhatItSends();
    void answerFailuresAreReportedAndCounted_data();
    void answerFailuresAreReportedAndCounted();
    void refusedWriteIsDroppedWithoutFrame();
    void intAnswerBeyondSixteenBitsIsAReadError();
    void silentConverterAbortsReadAllAfterThreeTimeouts();
    void afterAnAbortTheNextSingleJobAbortsAtOnce_data();
    void afterAnAbortTheNextSingleJobAbortsAtOnce();
    void startingASeriesClearsTheErrorCount_data();
    void startingASeriesClearsTheErrorCount();
    void threeNacksAbortAWriteSeries();
    void writeAllSucceedsInSixTicksPerItem_data();
    void writeAllSucceedsInSixTicksPerItem();
    void writeAllThatLeftItemsOutIsNoSuccess_data();
    void writeAllThatLeftItemsOutIsNoSuccess();
    void readAllStoresEveryValue();
    void wakeUpFollowsSilence_data();
    void wakeUpFollowsSilence();
    void answerAboutAnotherItemIsStoredUnderThatItem();
    void readAndWriteReportsFollowTheLegend();
    void progressBarStopsAtForty_data();
    void progressBarStopsAtForty();
    void messageBoxDoesNotLetAnotherStepRun();
    void quietOnlyWithNothingLeftToDo();
};

void TestEngineItems::beforeTheStartCallTicksServeNothing()
{
    TestApp t;
    Engine &e = t.app.engine;
    t.app.table.SettingJob[10] = JOB_READ;
    t.app.table.SettingJob[20] = JOB_WRITE;
    e.ReadAllRequest = -1;
    e.RestartRequest = -1;
    e.BulkMode = 1;
    e.ReceiveLine = QStringLiteral("abc");
    QVERIFY(t.port.open(QStringLiteral("/dev/null"), LineSettings()));
    t.port.feed("hello\r\n");

    t.ticks(300);

    QCOMPARE(e.EngineState, qint16(Engine::ST_START));
    QCOMPARE(e.ReceiveLine, QString());
    QCOMPARE(e.DelayTicks, qint16(10));
    QCOMPARE(e.BulkMode, qint16(0));
    QCOMPARE(e.IdleTicks, qint16(0));
    QCOMPARE(e.AnswerTicks, qint16(0));
    QCOMPARE(e.CurrentItem, qint16(0));
    QCOMPARE(t.app.table.SettingJob[10], JOB_READ);
    QCOMPARE(t.app.table.SettingJob[20], JOB_WRITE);
    QCOMPARE(e.ReadAllRequest, qint16(-1));
    QCOMPARE(e.RestartRequest, qint16(-1));
    QVERIFY(t.port.sent.isEmpty());
    QCOMPARE(t.port.bytesAvailable(), qint64(7));
    QCOMPARE(t.screen.progressText(), QString());
    QVERIFY(!t.screen.progressBarVisible());

    // The start call itself only moves the engine to idle.
    e.EngineStep(10);
    QCOMPARE(e.EngineState, qint16(Engine::ST_IDLE));
    QVERIFY(t.port.sent.isEmpty());
}

void TestEngineItems::unknownStateFallsBackToIdle()
{
    EngineRig rig;
    rig.table.SettingJob[10] = JOB_READ;
    rig.engine.EngineState = 999;
    rig.step();
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
    QVERIFY(rig.t.port.sent.isEmpty());
    QCOMPARE(rig.table.SettingJob[10], JOB_READ);
    rig.step();
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_READ_SEND));

    // An item state without a picked item has nothing to serve.
    for (const qint16 state : {Engine::ST_WRITE_SEND, Engine::ST_WRITE_DONE, Engine::ST_READ_SEND,
                               Engine::ST_READ_DONE}) {
        rig.engine.EngineState = state;
        rig.engine.CurrentItem = -1;
        rig.engine.DelayTicks = 0;
        rig.step();
        QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
        QCOMPARE(rig.screen.progressText(), QString());
    }
}

void TestEngineItems::jobsAreServedLowestItemFirst_data()
{
    QTest::addColumn<QString>("jobs");
    QTest::addColumn<QStringList>("frames");

    const QString wakeUp = QStringLiteral("01 01 80 7F");
    QTest::newRow("reads set for 30 then 10")
        << "30R 10R"
        << QStringList{wakeUp, "01 09 01 00 02 77 1F 0A 1E 35", "01 09 01 00 02 77 1F 1E 1E 21"};
    QTest::newRow("a write on a lower item before a read")
        << "20R 12W"
        << QStringList{wakeUp, "01 0D 01 00 02 57 1F 0C 1E 77 1F 01 1E 9A",
                       "01 09 01 00 02 77 1F 14 1E 2B"};
    QTest::newRow("read then write on one item: the write goes")
        << "10R 10W" << QStringList{wakeUp, "01 0D 01 00 02 57 1F 0A 1E 77 1F 03 1E 9A"};
}

void TestEngineItems::jobsAreServedLowestItemFirst()
{
    QFETCH(QString, jobs);
    QFETCH(QStringList, frames);

    EngineRig rig;
    rig.converter.answer = [](const QByteArray &r) { return obligingAnswer(r); };
    rig.table.SettingValue[10] = Value::int16(3);
    rig.table.SettingValue[12] = Value::int16(1);
    setJobs(rig.table, jobs);

    QVERIFY(rig.runToQuiet());
    QCOMPARE(rig.converter.receivedHex(), frames);
}

void TestEngineItems::successfulReadReportsLegendAndChoice_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("report");

    QTest::newRow("user mode") << QString() << "ESPA out serial speed: 9600 baud OK";
    QTest::newRow("service mode") << "/DEBUG"
                                  << " [Item: 10 Value: 3] ESPA out serial speed: 9600 baud OK";
}

void TestEngineItems::successfulReadReportsLegendAndChoice()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, report);

    EngineRig rig(commandLine);
    rig.converter.answer = [](const QByteArray &r) { return obligingAnswer(r, 3); };
    rig.table.SettingJob[10] = JOB_READ;

    // The first job of the run wakes the converter and waits 10 ticks.
    rig.step();
    QCOMPARE(rig.converter.receivedHex(), QStringList{"01 01 80 7F"});
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_READ_SEND));
    QVERIFY(rig.screen.progressBarVisible());
    QCOMPARE(rig.screen.progressBarValue(), 10);

    rig.step(9);
    QCOMPARE(rig.converter.received.size(), 1);
    rig.step();
    QCOMPARE(rig.converter.receivedHex().last(), QStringLiteral("01 09 01 00 02 77 1F 0A 1E 35"));
    QCOMPARE(rig.converter.receivedTicks().last(), 11);
    QCOMPARE(rig.screen.progressText(), QStringLiteral("Reading setting 10  "));

    // SOH, LEN, the rest, then the evaluation.
    rig.step(3);
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_READ_DONE));
    QCOMPARE(rig.screen.progressText(), QStringLiteral("Reading setting 10  "));
    rig.step();
    QCOMPARE(rig.screen.progressText(), "Reading setting 10  " + report + CRLF);
    QCOMPARE(rig.log, QStringList{"Received from unit:  [Item: 10 Value: 3] ESPA out serial "
                                  "speed: 9600 baud OK"});
    QCOMPARE(rig.logTicks, QList<int>{15});
    QCOMPARE(rig.table.SettingValue[10].asText(), QStringLiteral("3"));
    QCOMPARE(rig.table.UnitValue[10].asText(), QStringLiteral("3"));
    QCOMPARE(rig.table.SettingJob[10], JOB_NONE);
    QCOMPARE(rig.screen.selectedIndex(10), 3);

    rig.step();
    QVERIFY(!rig.screen.progressBarVisible());
    QVERIFY(rig.engine.isQuiet());
    // A single job is no series: no completion report.
    QCOMPARE(rig.log.size(), 1);
}

void TestEngineItems::writeReportsWhatItSends_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("shown"); // what the control shows
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("line");

    QTest::newRow("choice, user mode") << QString() << 10 << "3"
                                       << "01 0D 01 00 02 57 1F 0A 1E 77 1F 03 1E 9A"
                                       << " [Item: 10 Value: 3] "
                                       << "Writing ESPA out serial speed: 9600 baud";
    QTest::newRow("choice, service mode") << "/DEBUG" << 10 << "3"
                                          << "01 0D 01 00 02 57 1F 0A 1E 77 1F 03 1E 9A"
                                          << " [Item: 10 Value: 3] "
                                          << "Writing ESPA out serial speed: 9600 baud";
    QTest::newRow("number") << "/DEBUG" << 101 << "300"
                            << "01 0E 01 00 02 57 1F 65 1E 77 1F 2C 01 1E 14"
                            << " [Item: 101 Value: 300] "
                            << "Writing Int instelling 1 300";
    QTest::newRow("text") << "/DEBUG" << 155 << "abc"
                          << "01 0F 01 00 02 57 1F 9B 1E 77 1F 61 62 63 1E E4"
                          << " [Item: 155 Value: abc] "
                          << "Writing Pager-adres   abc";
}

void TestEngineItems::writeReportsWhatItSends()
{
    QFETCH(QString, commandLine);
    QFETCH(int, item);
    QFETCH(QString, shown);
    QFETCH(QString, frame);
    QFETCH(QString, detail);
    QFETCH(QString, line);

    EngineRig rig(commandLine);
    rig.converter.answer = [](const QByteArray &r) { return obligingAnswer(r); };
    if (item < 100)
        QVERIFY(rig.screen.pickChoice(item, shown.toInt()));
    else
        rig.screen.typeText(item, shown);
    rig.t.app.transfer.ControlToSetting(item);
    rig.table.SettingJob[item] = JOB_WRITE;

    rig.step(11);
    QCOMPARE(rig.converter.receivedHex().last(), frame);
    QCOMPARE(rig.converter.receivedTicks().last(), 11);
    const QString written = commandLine.isEmpty() ? line : detail + line;
    QCOMPARE(rig.screen.progressText(), written);
    QCOMPARE(rig.log, QStringList{detail + line});

    rig.step(4);
    QCOMPARE(rig.screen.progressText(), written + " -> Saved." + CRLF);
    QCOMPARE(rig.table.SettingJob[item], JOB_NONE);
    QVERIFY(rig.table.UnitValue[item] == rig.table.SettingValue[item]);
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
}

void TestEngineItems::answerFailuresAreReportedAndCounted_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("ticksAfterSend"); // when the outcome is reported
    QTest::addColumn<QString>("appended");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<int>("errorCount"); // it was 1 before
    QTest::addColumn<bool>("jobStays");

    QByteArray badCheck = charAnswer(10, 3);
    badCheck[badCheck.size() - 1] = char(badCheck.at(badCheck.size() - 1) + 1);
    QByteArray tooLong = hexBytes("01 70");
    tooLong.append(110, char(0x20));
    const QByteArray stalled = hexBytes("01 0D 01 00 06");
    const QByteArray shortAnswer = withCheck(hexBytes("01 05 01 00 06"));
    const QByteArray aboutItem3 = charAnswer(3, 1);

    QTest::newRow("write: no SOH")
        << true << QByteArray() << 120 << " -> ERROR timeout waiting for SOH.\r\n"
        << "" << 2 << true;
    QTest::newRow("write: no LEN")
        << true << hexBytes("01") << 121 << " -> ERROR timeout waiting for LEN.\r\n"
        << "" << 2 << true;
    QTest::newRow("write: answer stops after LEN")
        << true << stalled << 122 << " -> ERROR checksum.\r\n"
        << "" << 2 << true;
    QTest::newRow("write: checksum") << true << badCheck << 3 << " -> ERROR checksum.\r\n"
                                     << "" << 2 << true;
    QTest::newRow("write: too long") << true << tooLong << 3 << " -> ERROR too long info.\r\n"
                                     << "" << 2 << true;
    QTest::newRow("write: refused") << true << nackAnswer() << 4 << " -> program ERROR NACK.\r\n"
                                    << "" << 2 << true;
    QTest::newRow("write: accepted") << true << ackAnswer() << 4 << " -> Saved.\r\n"
                                     << "" << 0 << false;

    const QString label = QStringLiteral("[Item: 10 Value: 9600 baud] ");
    QTest::newRow("read: no SOH") << false << QByteArray() << 120
                                  << label + " ERROR timeout wo SOH. \r\n"
                                  << "Error reading unit: " + label + " ERROR timeout wo SOH. " << 2
                                  << true;
    QTest::newRow("read: no LEN") << false << hexBytes("01") << 121
                                  << label + " ERROR timeout wo LEN. \r\n"
                                  << "Error reading unit: " + label + " ERROR timeout wo LEN. " << 2
                                  << true;
    QTest::newRow("read: answer stops after LEN")
        << false << stalled << 122 << label + " ERROR checksum. \r\n"
        << "Error reading unit: " + label + " ERROR checksum. " << 2 << true;
    QTest::newRow("read: checksum")
        << false << badCheck << 3 << label + " ERROR checksum. \r\n"
        << "Error reading unit: " + label + " ERROR checksum. " << 2 << true;
    QTest::newRow("read: too long")
        << false << tooLong << 3 << label + " ERROR too long info. \r\n"
        << "Error reading unit: " + label + " ERROR too long info. " << 2 << true;
    QTest::newRow("read: answer names no item") << false << shortAnswer << 4 << ""
                                                << "" << 2 << true;
    // The value goes to item 11 as the answer says; item 10 is still unread.
    QTest::newRow("read: answer about another item")
        << false << charAnswer(11, 1) << 4 << "ESPA out serial speed: 9600 baud OK\r\n"
        << "Received from unit:  [Item: 11 Value: 1] ESPA out serial speed: 9600 baud OK" << 2
        << true;
    QTest::newRow("read: refused")
        << false << withCheck(hexBytes("01 0D 01 00 15 57 1F 0A 1E 77 1F 03 1E")) << 4
        << label + " ERROR reading setting!\r\n"
        << "Error reading unit: " + label + " ERROR reading setting!" << 2 << true;
    QTest::newRow("read: item that cannot be decoded")
        << false << aboutItem3 << 4 << label + " ERROR reading setting!\r\n"
        << "Error reading unit: " + label + " ERROR reading setting!" << 2 << true;
    QTest::newRow("read: good") << false << charAnswer(10, 3) << 4
                                << "ESPA out serial speed: 9600 baud OK\r\n"
                                << "Received from unit:  [Item: 10 Value: 3] ESPA out serial "
                                   "speed: 9600 baud OK"
                                << 0 << false;
}

void TestEngineItems::answerFailuresAreReportedAndCounted()
{
    QFETCH(bool, write);
    QFETCH(QByteArray, reply);
    QFETCH(int, ticksAfterSend);
    QFETCH(QString, appended);
    QFETCH(QString, logged);
    QFETCH(int, errorCount);
    QFETCH(bool, jobStays);

    EngineRig rig;
    rig.converter.answer = [&](const QByteArray &) { return reply; };
    QVERIFY(rig.screen.pickChoice(10, 3));
    rig.t.app.transfer.ControlToSetting(10);
    rig.engine.ErrorCount = 1;
    const qint16 job = write ? JOB_WRITE : JOB_READ;
    rig.table.SettingJob[10] = job;

    rig.step(11); // wake-up on tick 1, the request on tick 11
    QCOMPARE(rig.converter.receivedTicks().last(), 11);
    const QString prefix = rig.screen.progressText();
    QCOMPARE(prefix, write ? QStringLiteral("Writing ESPA out serial speed: 9600 baud")
                           : QStringLiteral("Reading setting 10  "));
    rig.clearLog();

    rig.step(ticksAfterSend - 1);
    QCOMPARE(rig.screen.progressText(), prefix);
    QVERIFY(rig.engine.EngineState != Engine::ST_IDLE);
    rig.step();
    QCOMPARE(rig.screen.progressText(), prefix + appended);
    QCOMPARE(rig.log, logged.isEmpty() ? QStringList() : QStringList{logged});
    QCOMPARE(rig.engine.ErrorCount, qint16(errorCount));
    QCOMPARE(rig.table.SettingJob[10], jobStays ? job : JOB_NONE);
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
    QCOMPARE(rig.converter.received.size(), 2);
}

void TestEngineItems::refusedWriteIsDroppedWithoutFrame()
{
    EngineRig rig;
    rig.engine.ErrorCount = 1;
    rig.table.SettingValue[40] = Value::int16(256);
    rig.table.SettingJob[40] = JOB_WRITE;
    rig.step(11);
    QCOMPARE(rig.converter.receivedHex(), QStringList{"01 01 80 7F"});
    QVERIFY(rig.screen.progressText().startsWith(QStringLiteral("Writing BleepCode  ")));
    QVERIFY(rig.screen.progressText().endsWith(" -> Not implemented type of unit.\r\n"));
    QCOMPARE(rig.table.SettingJob[40], JOB_NONE);
    QCOMPARE(rig.engine.ErrorCount, qint16(1));
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
}

void TestEngineItems::intAnswerBeyondSixteenBitsIsAReadError()
{
    EngineRig rig;
    rig.screen.typeText(101, QStringLiteral("5"));
    rig.t.app.transfer.ControlToSetting(101);
    // 0x9C40 = 40000 does not fit the table's 16-bit numbers.
    rig.converter.answer = [](const QByteArray &) {
        return withCheck(hexBytes("01 0E 01 00 06 57 1F 65 1E 77 1F 40 9C 1E"));
    };
    rig.table.SettingJob[101] = JOB_READ;
    rig.step(15);
    QCOMPARE(rig.screen.progressText(),
             "Reading setting 101  [Item: 101 Value: 5]  ERROR reading setting!" + CRLF);
    QCOMPARE(rig.engine.ErrorCount, qint16(1));
    QCOMPARE(rig.table.SettingValue[101].asText(), QStringLiteral("5"));
    QCOMPARE(rig.table.SettingJob[101], JOB_READ);
}

void TestEngineItems::silentConverterAbortsReadAllAfterThreeTimeouts()
{
    EngineRig rig;
    int boxTick = -1;
    rig.t.dialogs.whileBoxOpen = [&] { boxTick = rig.tick; };
    rig.engine.ReadAllRequest = -1;

    rig.step();
    QCOMPARE(rig.engine.ReadAllRequest, qint16(0));
    QCOMPARE(rig.log,
             (QStringList{"Comport closed by software.", "Com: 1 opened with: 9600,N,8,1"}));
    QCOMPARE(rig.engine.BulkMode, qint16(1));
    for (int i = 0; i <= 250; ++i)
        QCOMPARE(rig.table.SettingJob[i], IsBulkItem(i) ? JOB_READ : JOB_NONE);
    rig.clearLog();

    rig.step(393);
    const QString read0 = QStringLiteral("01 09 01 00 02 77 1F 00 1E 3F");
    const QString wakeUp = QStringLiteral("01 01 80 7F");
    QCOMPARE(rig.converter.receivedHex(),
             (QStringList{wakeUp, read0, wakeUp, read0, wakeUp, read0}));
    QCOMPARE(rig.converter.receivedTicks(), (QList<int>{2, 12, 133, 143, 264, 274}));
    const QString error =
        "[Item: 0 Value: " + rig.screen.valueText(0) + "]  ERROR timeout wo SOH. ";
    QCOMPARE(rig.log, QStringList(3, "Error reading unit: " + error));
    QCOMPARE(rig.logTicks, (QList<int>{132, 263, 394}));
    QCOMPARE(rig.engine.ErrorCount, qint16(3));
    QVERIFY(rig.t.dialogs.boxes.isEmpty());
    const QString attempt = "Reading setting 0  " + error + CRLF;
    QCOMPARE(rig.screen.progressText(), attempt + attempt + attempt);

    // The fourth pick aborts without a frame.
    rig.step();
    QCOMPARE(boxTick, 395);
    QCOMPARE(rig.t.dialogs.boxes.size(), 1);
    QCOMPARE(rig.t.dialogs.boxes[0].title, QStringLiteral("Kestrum by Brivane"));
    QCOMPARE(rig.t.dialogs.boxes[0].text,
             QStringLiteral("ERROR reading settings from the converter.\r\nReading is aborted!"));
    QVERIFY(rig.t.dialogs.boxes[0].icon == Dialogs::Icon::Critical);
    QCOMPARE(rig.screen.progressText(), attempt + attempt + attempt + "\r\nCancelled!\r\n");
    for (int i = 0; i <= 250; ++i)
        QCOMPARE(rig.table.SettingJob[i], JOB_NONE);
    QCOMPARE(rig.engine.BulkMode, qint16(0));
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
    QCOMPARE(rig.engine.ErrorCount, qint16(3));

    rig.step(300);
    QCOMPARE(rig.converter.received.size(), 6);
    QCOMPARE(rig.log.size(), 3);
    QCOMPARE(rig.t.dialogs.boxes.size(), 1);
}

void TestEngineItems::afterAnAbortTheNextSingleJobAbortsAtOnce_data()
{
    QTest::addColumn<qint16>("job");
    QTest::addColumn<int>("errorCount");
    QTest::addColumn<QString>("text");
    const QString reading = "ERROR reading settings from the converter.\r\nReading is aborted!";
    const QString writing = "ERROR writing setting in the Converter.\r\nProgramming is aborted!";
    QTest::newRow("read at 3") << JOB_READ << 3 << reading;
    QTest::newRow("write at 3") << JOB_WRITE << 3 << writing;
    QTest::newRow("read above 3") << JOB_READ << 4 << reading;
    QTest::newRow("write above 3") << JOB_WRITE << 7 << writing;
}

void TestEngineItems::afterAnAbortTheNextSingleJobAbortsAtOnce()
{
    QFETCH(qint16, job);
    QFETCH(int, errorCount);
    QFETCH(QString, text);

    EngineRig rig;
    rig.engine.ErrorCount = qint16(errorCount);
    rig.table.SettingJob[16] = job;
    rig.step();
    QCOMPARE(rig.t.dialogs.boxes.size(), 1);
    QCOMPARE(rig.t.dialogs.boxes[0].text, text);
    QVERIFY(rig.t.port.sent.isEmpty());
    QCOMPARE(rig.table.SettingJob[16], JOB_NONE);
    QCOMPARE(rig.screen.progressText(), QStringLiteral("\r\nCancelled!\r\n"));
    QCOMPARE(rig.engine.ErrorCount, qint16(errorCount));
    rig.step(50);
    QVERIFY(rig.t.port.sent.isEmpty());
}

void TestEngineItems::startingASeriesClearsTheErrorCount_data()
{
    QTest::addColumn<bool>("readAll");
    QTest::addColumn<QString>("firstFrame");
    QTest::newRow("read all") << true << "01 09 01 00 02 77 1F 00 1E 3F";
    QTest::newRow("write all") << false << "01 0D 01 00 02 57 1F 00 1E 77 1F 00 1E A7";
}

void TestEngineItems::startingASeriesClearsTheErrorCount()
{
    QFETCH(bool, readAll);
    QFETCH(QString, firstFrame);

    EngineRig rig;
    rig.engine.ErrorCount = 3;
    (readAll ? rig.engine.ReadAllRequest : rig.engine.WriteAllRequest) = -1;
    rig.step();
    QCOMPARE(rig.engine.ErrorCount, qint16(0));
    rig.step(11);
    QVERIFY(rig.t.dialogs.boxes.isEmpty());
    QCOMPARE(rig.converter.receivedHex(), (QStringList{"01 01 80 7F", firstFrame}));
}

void TestEngineItems::threeNacksAbortAWriteSeries()
{
    EngineRig rig;
    int boxTick = -1;
    rig.t.dialogs.whileBoxOpen = [&] { boxTick = rig.tick; };
    rig.converter.answer = [](const QByteArray &) { return nackAnswer(); };
    rig.engine.WriteAllRequest = -1;

    rig.step(29);
    const QString write0 = QStringLiteral("01 0D 01 00 02 57 1F 00 1E 77 1F 00 1E A7");
    QCOMPARE(rig.converter.receivedHex(), (QStringList{"01 01 80 7F", write0, write0, write0}));
    // Within 200 ticks of a write no wake-up is needed: a repeat goes out on the
    // tick after it is picked.
    QCOMPARE(rig.converter.receivedTicks(), (QList<int>{2, 12, 18, 24}));
    const QString attempt =
        "Writing Diagnostic level: " + rig.screen.valueText(0) + " -> program ERROR NACK." + CRLF;
    QCOMPARE(rig.screen.progressText(), attempt + attempt + attempt + "\r\nCancelled!\r\n");
    QCOMPARE(boxTick, 29);
    QCOMPARE(rig.t.dialogs.boxes.size(), 1);
    QCOMPARE(rig.t.dialogs.boxes[0].text,
             QStringLiteral("ERROR writing setting in the Converter.\r\nProgramming is aborted!"));
    // Write failures are not logged; only the "Writing" lines are.
    QCOMPARE(rig.log.size(), 2 + 3);
    QVERIFY(rig.log[2].endsWith("Writing Diagnostic level: " + rig.screen.valueText(0)));
    rig.step(300);
    QVERIFY(!rig.log.contains(QStringLiteral("Programming of all settings was successfull.")));
}

void TestEngineItems::writeAllSucceedsInSixTicksPerItem_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("user mode") << QString();
    QTest::newRow("service mode") << QStringLiteral("/DEBUG");
}

void TestEngineItems::writeAllSucceedsInSixTicksPerItem()
{
    QFETCH(QString, commandLine);

    EngineRig rig(commandLine);
    rig.converter.answer = [](const QByteArray &r) { return obligingAnswer(r); };
    QVERIFY(rig.screen.pickChoice(13, 2)); // taken from the screen when the series starts
    rig.engine.WriteAllRequest = -1;

    QVERIFY(rig.runToQuiet());
    const QString done = QStringLiteral("Programming of all settings was successfull.");
    QCOMPARE(rig.log.last(), done);
    // Request on tick 1, wake-up on 2, the first item from 12 to 16, 6 ticks for
    // each of the other 26 (pick, send, SOH, LEN, data, done), the report on 173.
    QCOMPARE(rig.logTicks.last(), 173);
    QCOMPARE(rig.screen.progressText().endsWith(done + CRLF), !commandLine.isEmpty());

    const QList<int> items = bulkItems();
    QCOMPARE(rig.converter.received.size(), 1 + items.size());
    for (int i = 0; i < items.size(); ++i) {
        const QByteArray frame = rig.converter.received[i + 1].bytes;
        QCOMPARE(requestType(frame), 'W');
        QCOMPARE(requestItem(frame), items[i]);
        QCOMPARE(rig.table.SettingJob[items[i]], JOB_NONE);
        QVERIFY(rig.table.UnitValue[items[i]] == rig.table.SettingValue[items[i]]);
    }
    QCOMPARE(spacedHex(rig.converter.received[7].bytes), // item 13 with value 2
             QStringLiteral("01 0D 01 00 02 57 1F 0D 1E 77 1F 02 1E 98"));
    QCOMPARE(rig.engine.ErrorCount, qint16(0));
    QVERIFY(!rig.screen.progressBarVisible());
}

void TestEngineItems::writeAllThatLeftItemsOutIsNoSuccess_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QList<int>>("withoutChoice");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("box");

    QTest::newRow("one list without a choice, service mode")
        << QStringLiteral("/DEBUG") << QList<int>{13}
        << "Programming of all settings was not complete: 1 settings were not sent."
        << "Not all settings were written to the converter.\r\nNot sent: 13";
    QTest::newRow("two lists without a choice, user mode")
        << QString() << QList<int>{37, 10}
        << "Programming of all settings was not complete: 2 settings were not sent."
        << "Not all settings were written to the converter.\r\nNot sent: 10, 37";
}

void TestEngineItems::writeAllThatLeftItemsOutIsNoSuccess()
{
    QFETCH(QString, commandLine);
    QFETCH(QList<int>, withoutChoice);
    QFETCH(QString, report);
    QFETCH(QString, box);

    EngineRig rig(commandLine);
    rig.converter.answer = [](const QByteArray &r) { return obligingAnswer(r); };
    for (int item : withoutChoice)
        rig.screen.typeText(item, QStringLiteral("no such choice"));
    rig.engine.WriteAllRequest = -1;
    QVERIFY(rig.runToQuiet());

    QCOMPARE(rig.log.last(), report);
    QVERIFY(!rig.log.contains(QStringLiteral("Programming of all settings was successfull.")));
    QCOMPARE(rig.screen.progressText().endsWith(report + CRLF), !commandLine.isEmpty());
    QCOMPARE(rig.screen.progressText().count(" -> Not implemented type of unit."),
             withoutChoice.size());
    QCOMPARE(rig.t.dialogs.boxes.size(), 1);
    QCOMPARE(rig.t.dialogs.boxes[0].title, QStringLiteral("Kestrum by Brivane"));
    QCOMPARE(rig.t.dialogs.boxes[0].text, box);
    QCOMPARE(rig.t.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    // The wake-up and one frame for every other bulk item; the series went on.
    QCOMPARE(rig.converter.received.size(), 1 + 27 - withoutChoice.size());
    for (const auto &request : rig.converter.received.mid(1))
        QVERIFY(!withoutChoice.contains(requestItem(request.bytes)));
}

void TestEngineItems::readAllStoresEveryValue()
{
    EngineRig rig;
    // Each item reports a value of its own: 1 for the two-choice items, 2 elsewhere.
    rig.converter.answer = [](const QByteArray &r) {
        const int item = requestItem(r);
        return charAnswer(item, ChoiceLimit(item) == 2 ? 1 : 2);
    };
    rig.engine.ReadAllRequest = -1;

    QVERIFY(rig.runToQuiet());
    QCOMPARE(rig.log.last(), QStringLiteral("Reading of all settings was successfull."));
    QCOMPARE(rig.logTicks.last(), 173);
    for (int item : bulkItems()) {
        const QString expected = ChoiceLimit(item) == 2 ? "1" : "2";
        QCOMPARE(rig.table.SettingValue[item].asText(), expected);
        QCOMPARE(rig.table.UnitValue[item].asText(), expected);
        QCOMPARE(rig.screen.selectedIndex(item), expected.toInt());
    }
    // Every read is reported once, in item order.
    QCOMPARE(rig.screen.progressText().count(QStringLiteral(" OK\r\n")), 27);
    QVERIFY(rig.screen.progressText().startsWith(QStringLiteral("Reading setting 0  ")));
}

void TestEngineItems::wakeUpFollowsSilence_data()
{
    QTest::addColumn<qint16>("firstJob");
    QTest::addColumn<int>("gap"); // ticks from the first request to picking the next job
    QTest::addColumn<bool>("wakeUp");

    QTest::newRow("40 ticks after a write") << JOB_WRITE << 40 << false;
    QTest::newRow("199 ticks after a write") << JOB_WRITE << 199 << false;
    QTest::newRow("200 ticks after a write") << JOB_WRITE << 200 << true;
    QTest::newRow("79 ticks after a read") << JOB_READ << 79 << false;
    QTest::newRow("80 ticks after a read") << JOB_READ << 80 << true;
}

void TestEngineItems::wakeUpFollowsSilence()
{
    QFETCH(qint16, firstJob);
    QFETCH(int, gap);
    QFETCH(bool, wakeUp);

    EngineRig rig;
    rig.converter.answer = [](const QByteArray &r) { return obligingAnswer(r); };
    rig.table.SettingJob[10] = firstJob;
    QVERIFY(rig.runToQuiet());
    const int sent = rig.converter.receivedTicks().last();
    rig.step(sent + gap - 1 - rig.tick);
    rig.converter.received.clear();
    rig.table.SettingJob[11] = JOB_READ;

    rig.step(); // picks the job
    QCOMPARE(rig.tick, sent + gap);
    if (wakeUp) {
        QCOMPARE(rig.converter.receivedHex(), QStringList{"01 01 80 7F"});
        rig.step(10);
        QCOMPARE(rig.converter.received.size(), 2);
        QCOMPARE(rig.converter.receivedTicks().last(), sent + gap + 10);
    } else {
        QVERIFY(rig.converter.received.isEmpty());
        rig.step();
        QCOMPARE(rig.converter.receivedHex(), QStringList{"01 09 01 00 02 77 1F 0B 1E 34"});
        QCOMPARE(rig.converter.receivedTicks().last(), sent + gap + 1);
    }
}

void TestEngineItems::answerAboutAnotherItemIsStoredUnderThatItem()
{
    EngineRig rig;
    int answers = 0;
    rig.converter.answer = [&](const QByteArray &r) {
        // The first answer is about item 11; later ones about the item asked for.
        return ++answers == 1 ? charAnswer(11, 1) : charAnswer(requestItem(r), 2);
    };
    rig.table.SettingJob[10] = JOB_READ;
    rig.table.SettingJob[11] = JOB_READ;

    rig.step(15);
    QCOMPARE(rig.table.SettingValue[11].asText(), QStringLiteral("1"));
    QCOMPARE(rig.table.UnitValue[11].asText(), QStringLiteral("1"));
    QCOMPARE(rig.table.SettingJob[11], JOB_NONE);
    QCOMPARE(rig.table.SettingJob[10], JOB_READ);
    QCOMPARE(rig.screen.selectedIndex(11), 1);
    const QString line = "ESPA out serial speed: " + rig.screen.valueText(10) + " OK";
    QCOMPARE(rig.screen.progressText(), "Reading setting 10  " + line + CRLF);
    QCOMPARE(rig.log, QStringList{"Received from unit:  [Item: 11 Value: 1] " + line});

    QVERIFY(rig.runToQuiet());
    const QString read10 = QStringLiteral("01 09 01 00 02 77 1F 0A 1E 35");
    QCOMPARE(rig.converter.receivedHex(), (QStringList{"01 01 80 7F", read10, read10}));
    QCOMPARE(rig.table.SettingValue[10].asText(), QStringLiteral("2"));
    QCOMPARE(rig.table.SettingValue[11].asText(), QStringLiteral("1"));
}

void TestEngineItems::readAndWriteReportsFollowTheLegend()
{
    EngineRig rig;
    QVERIFY(!rig.screen.legendShown(1));
    QVERIFY(!rig.screen.legendShown(150));
    rig.converter.answer = [](const QByteArray &r) {
        if (requestType(r) == 'W')
            return ackAnswer();
        if (requestItem(r) < 150)
            return charAnswer(requestItem(r), 0);
        QByteArray text = hexBytes("01 0F 01 00 06 57 1F");
        text.append(char(requestItem(r)));
        return withCheck(text + hexBytes("1E 77 1F 61 62 63 1E"));
    };

    rig.table.SettingValue[1] = Value::int16(0);
    rig.table.SettingJob[1] = JOB_WRITE;
    QVERIFY(rig.runToQuiet());
    QCOMPARE(rig.converter.receivedHex().last(),
             QStringLiteral("01 0D 01 00 02 57 1F 01 1E 77 1F 00 1E A6"));
    QCOMPARE(rig.screen.progressText(), QStringLiteral(" -> Saved.\r\n"));
    QVERIFY(rig.log.isEmpty());

    rig.screen.clearProgress();
    rig.engine.ErrorCount = 2;
    rig.table.SettingJob[150] = JOB_READ;
    QVERIFY(rig.runToQuiet());
    QCOMPARE(rig.converter.receivedHex().last(), QStringLiteral("01 09 01 00 02 77 1F 96 1E A9"));
    QCOMPARE(rig.screen.progressText(), QStringLiteral("Reading setting 150  "));
    QVERIFY(rig.log.isEmpty());
    QCOMPARE(rig.table.SettingValue[150].asText(), QStringLiteral("abc"));
    QCOMPARE(rig.table.UnitValue[150].asText(), QStringLiteral("abc"));
    QCOMPARE(rig.engine.ErrorCount, qint16(0)); // reset though nothing was reported

    // A shown text legend: the log's detail says " Waarde: ".
    rig.screen.clearProgress();
    rig.table.SettingJob[155] = JOB_READ;
    QVERIFY(rig.runToQuiet());
    QCOMPARE(rig.screen.progressText(),
             QStringLiteral("Reading setting 155  Pager-adres   abc OK\r\n"));
    QCOMPARE(rig.log,
             QStringList{"Received from unit:  [Item: 155 Waarde: abc] Pager-adres   abc OK"});
    rig.clearLog();

    // Item 1 is not decoded: the error has an empty label.
    rig.screen.clearProgress();
    rig.table.SettingJob[1] = JOB_READ;
    rig.step(6);
    QCOMPARE(rig.screen.progressText(),
             QStringLiteral("Reading setting 1   ERROR reading setting!\r\n"));
    QCOMPARE(rig.log, QStringList{"Error reading unit:  ERROR reading setting!"});
    QCOMPARE(rig.engine.ErrorCount, qint16(1));
    QCOMPARE(rig.table.SettingJob[1], JOB_READ);
}

void TestEngineItems::progressBarStopsAtForty_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("value");
    QTest::newRow("last bulk item") << 37 << 37;
    QTest::newRow("bar's end") << 40 << 40;
    QTest::newRow("choice item 41") << 41 << 40;
    QTest::newRow("text item 150") << 150 << 40;
    QTest::newRow("text item 232") << 232 << 40;
}

void TestEngineItems::progressBarStopsAtForty()
{
    QFETCH(int, item);
    QFETCH(int, value);

    EngineRig rig;
    rig.table.SettingJob[item] = JOB_READ;
    rig.step();
    QVERIFY(rig.screen.progressBarVisible());
    QCOMPARE(rig.screen.progressBarValue(), value);

    // With nothing being started, the bar counts the pending jobs, up to 40.
    for (int i = 0; i < 45; ++i)
        rig.table.SettingJob[100 + i] = JOB_READ;
    rig.engine.UpdateProgressBar(-1);
    QCOMPARE(rig.screen.progressBarValue(), 40);
    rig.table.ClearSettingJobs();
    rig.table.SettingJob[3] = JOB_WRITE;
    rig.table.SettingJob[250] = JOB_READ;
    rig.engine.UpdateProgressBar(-1);
    QVERIFY(rig.screen.progressBarVisible());
    QCOMPARE(rig.screen.progressBarValue(), 2);
    rig.table.ClearSettingJobs();
    rig.engine.UpdateProgressBar(-1);
    QVERIFY(!rig.screen.progressBarVisible());
}

void TestEngineItems::messageBoxDoesNotLetAnotherStepRun()
{
    EngineRig rig;
    rig.engine.ErrorCount = 3;
    rig.table.SettingJob[10] = JOB_READ;
    rig.engine.IdleTicks = 50;
    rig.engine.DelayTicks = 30;
    rig.engine.AnswerTicks = 20;
    rig.t.port.feed("xy\r\n");
    int stepsInside = 0;
    rig.t.dialogs.whileBoxOpen = [&] {
        // A modal box keeps the timer running; none of these steps may do anything.
        rig.engine.ReadAllRequest = -1;
        for (; stepsInside < 10; ++stepsInside)
            rig.t.app.TmrAfhandelTick();
        rig.engine.EngineStep(0);
    };

    rig.step();
    QCOMPARE(stepsInside, 10);
    QCOMPARE(rig.t.dialogs.boxes.size(), 1);
    QCOMPARE(rig.engine.IdleTicks, qint16(49));
    QCOMPARE(rig.engine.DelayTicks, qint16(29));
    QCOMPARE(rig.engine.AnswerTicks, qint16(19));
    QCOMPARE(rig.engine.ReadAllRequest, qint16(-1));
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
    QVERIFY(rig.log.isEmpty());
    QCOMPARE(rig.t.port.bytesAvailable(), qint64(4));

    // Once the box is closed, the next tick goes on as usual.
    rig.step();
    QCOMPARE(rig.engine.ReadAllRequest, qint16(0));
    QCOMPARE(rig.log.first(), QStringLiteral("xy"));
}

void TestEngineItems::quietOnlyWithNothingLeftToDo()
{
    EngineRig rig;
    QVERIFY(rig.engine.isQuiet());

    rig.table.SettingJob[249] = JOB_WRITE;
    QVERIFY(!rig.engine.isQuiet());
    rig.table.SettingJob[249] = JOB_NONE;
    // Item 250 is never served, so it keeps nobody waiting.
    rig.table.SettingJob[250] = JOB_READ;
    QVERIFY(rig.engine.isQuiet());

    for (qint16 *flag : {&rig.engine.ReadAllRequest, &rig.engine.WriteAllRequest,
                         &rig.engine.PagerCallRequest, &rig.engine.RestartRequest}) {
        *flag = -1;
        QVERIFY(!rig.engine.isQuiet());
        *flag = 0;
    }
    rig.engine.BulkMode = 1;
    QVERIFY(!rig.engine.isQuiet());
    rig.engine.BulkMode = 0;
    rig.engine.EngineState = Engine::ST_READ_SOH;
    QVERIFY(!rig.engine.isQuiet());
}

QTEST_GUILESS_MAIN(TestEngineItems)
#include "tst_engine_items.moc"
