// The protocol engine's restart and test-call flows, the text the converter sends on
// its own, and the start of an engine whose port opened late.

#include "support/EngineRig.h"

#include "app/Commands.h"

#include <QtTest>

namespace {

// Call texts written readably: "^" is US and "~" is RS.
QByteArray callData(const char *readable)
{
    QByteArray data(readable);
    data.replace('^', char(0x1F));
    data.replace('~', char(0x1E));
    return data;
}

// The call frame the converter should receive for a call text.
QString callFrame(const QByteArray &text)
{
    QByteArray frame = hexBytes("01");
    frame.append(char(text.size() + 5));
    frame.append(hexBytes("01 00 02"));
    frame.append(text);
    return spacedHex(withCheck(frame));
}

QByteArray bufPosAnswer(char digit)
{
    QByteArray a = hexBytes("01 08 01 00 06 32 1F");
    a.append(digit);
    return withCheck(a);
}

QByteArray corrupted(QByteArray answer)
{
    answer[answer.size() - 1] = char(answer.at(answer.size() - 1) ^ 0x10);
    return answer;
}

QByteArray tooLongAnswer()
{
    QByteArray a = hexBytes("01 70");
    a.append(110, 'z');
    return a;
}

const QByteArray Silent;
const QByteArray SohOnly = QByteArray(1, char(0x01));
const QByteArray StopsAfterLen = QByteArray::fromHex("010d0100");

const QString RestartFrame = QStringLiteral("01 06 01 00 02 52 A4");
const QString BufPosFrame = QStringLiteral("01 06 01 00 02 32 C4");

} // namespace

class TestEngineService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void restartReportsOnlyInTheLog_data();
    void restartReportsOnlyInTheLog();
    void callAsksForABufferPositionFirst_data();
    void callAsksForABufferPositionFirst();
    void callTextIsBuiltFromTheServiceControls_data();
    void callTextIsBuiltFromTheServiceControls();
    void callFailuresAreLoggedAndSomeCounted_data();
    void callFailuresAreLoggedAndSomeCounted();
    void threeUnansweredCallsAbortTheNextSingleJob();
    void restartWinsOverACallRequestedWithIt();
    void aSeriesDefersTheOtherRequests_data();
    void aSeriesDefersTheOtherRequests();
    void failedReopenDropsTheRequest();
    void textSentByTheConverterIsLoggedLineByLine_data();
    void textSentByTheConverterIsLoggedLineByLine();
    void textIsNotDrainedWhileAJobIsPending();
    void portOpenedAfterAFailedStartStartsTheEngine();
    void closedPortMidSeriesEndsInTimeouts();
};

void TestEngineService::restartReportsOnlyInTheLog_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("ticksAfterSend");
    QTest::addColumn<QString>("logged");

    QTest::newRow("accepted") << withCheck(hexBytes("01 06 01 00 06 52")) << 3
                              << "STATUS: RESET command send to the converter.";
    QTest::newRow("refused") << withCheck(hexBytes("01 06 01 00 15 52")) << 3 << "";
    QTest::newRow("no SOH") << Silent << 120
                            << "ERROR: TimeOut sending RESET command to the converter (SOH)";
    QTest::newRow("no LEN")
        << SohOnly << 121
        << "ERROR: TimeOut while sending RESET command to the cconverter. (Length)";
    QTest::newRow("checksum") << corrupted(withCheck(hexBytes("01 06 01 00 06 52"))) << 3
                              << "ERROR: ChecksumError sending RESET command to the converter.";
    QTest::newRow("answer stops after LEN")
        << StopsAfterLen << 122 << "ERROR: ChecksumError sending RESET command to the converter.";
    QTest::newRow("too long") << tooLongAnswer() << 3 << "";
}

void TestEngineService::restartReportsOnlyInTheLog()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, ticksAfterSend);
    QFETCH(QString, logged);

    EngineRig rig;
    rig.converter.answer = [&](const QByteArray &) { return reply; };
    rig.engine.ErrorCount = 1;
    rig.engine.RestartRequest = -1;

    rig.step();
    QCOMPARE(rig.engine.RestartRequest, qint16(0));
    QCOMPARE(rig.log,
             (QStringList{"Comport closed by software.", "Com: 1 opened with: 9600,N,8,1"}));
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_RESET_SEND));
    rig.clearLog();

    // The start delay still runs; no wake-up goes before the restart.
    rig.step(9);
    QCOMPARE(rig.converter.receivedHex(), QStringList{RestartFrame});
    QCOMPARE(rig.converter.receivedTicks(), QList<int>{10});
    QCOMPARE(rig.engine.IdleTicks, qint16(200));

    rig.step(ticksAfterSend - 1);
    QVERIFY(rig.engine.EngineState != Engine::ST_IDLE);
    QVERIFY(rig.log.isEmpty());
    rig.step();
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
    QCOMPARE(rig.log, logged.isEmpty() ? QStringList() : QStringList{logged});
    QCOMPARE(rig.engine.ErrorCount, qint16(1));
    QCOMPARE(rig.screen.progressText(), QString());
    QVERIFY(!rig.screen.progressBarVisible());

    rig.step(300);
    QCOMPARE(rig.converter.received.size(), 1);
}

void TestEngineService::callAsksForABufferPositionFirst_data()
{
    QTest::addColumn<QByteArray>("callReply");
    QTest::addColumn<QString>("logged");
    QTest::newRow("accepted") << withCheck(hexBytes("01 06 01 00 06 41"))
                              << "STATUS: Calling pager via Kestrum succesfull.";
    QTest::newRow("refused") << withCheck(hexBytes("01 06 01 00 15 41"))
                             << "STATUS: Calling pager via Kestrum failed.";
}

void TestEngineService::callAsksForABufferPositionFirst()
{
    QFETCH(QByteArray, callReply);
    QFETCH(QString, logged);

    EngineRig rig;
    rig.converter.answer = [&](const QByteArray &r) {
        return requestType(r) == '2' ? bufPosAnswer('3') : callReply;
    };
    rig.screen.typeText(CTRL_TEST_ADDRESS, QStringLiteral("1234"));
    QCOMPARE(rig.screen.selectedIndex(CTRL_TEST_BLEEP), 1); // as the screen is built
    rig.engine.PagerCallRequest = -1;

    rig.step();
    QCOMPARE(rig.engine.PagerCallRequest, qint16(0));
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_BUFPOS_SEND));
    rig.clearLog();

    rig.step(16);
    QCOMPARE(rig.converter.receivedHex(),
             (QStringList{BufPosFrame, "01 14 01 00 02 41 1F 33 1E 31 1F 31 32 33 34 1E 33 1F 31 "
                                       "1E 5E"}));
    // Query on 10; its answer taken on 11..13; the call goes out on the next tick.
    QCOMPARE(rig.converter.receivedTicks(), (QList<int>{10, 14}));
    QCOMPARE(rig.engine.BufPos, qint16(3));
    QCOMPARE(rig.log, QStringList{logged});
    QCOMPARE(rig.logTicks, QList<int>{17});
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
    QCOMPARE(rig.engine.ErrorCount, qint16(0));
    QCOMPARE(rig.engine.IdleTicks, qint16(197));
    QCOMPARE(rig.screen.progressText(), QString());
}

void TestEngineService::callTextIsBuiltFromTheServiceControls_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("bleep");
    QTest::addColumn<QByteArray>("bufPosReply");
    QTest::addColumn<QByteArray>("callText");
    QTest::addColumn<int>("errorCount");

    const QString fifty = QStringLiteral("abcdefghij").repeated(5);
    QTest::newRow("address of 12 characters: its first 10")
        << "123456789012"
        << "" << 1 << bufPosAnswer('7') << callData("A^7~1^1234567890~3^1~") << 0;
    QTest::newRow("display text of 50 characters: its first 40")
        << "55" << fifty << 15 << bufPosAnswer('0')
        << callData("A^0~1^55~2^abcdefghijabcdefghijabcdefghijabcdefghij~3^F~") << 0;
    QTest::newRow("bleep code box without selection sends 0")
        << "9"
        << "hi" << -1 << bufPosAnswer('9') << callData("A^9~1^9~2^hi~3^0~") << 0;
    QTest::newRow("buffer position not a digit: sent, counted")
        << "9"
        << "" << 2 << bufPosAnswer('x') << callData("A^72~1^9~3^2~") << 1;
    QTest::newRow("buffer position below '0' keeps its sign")
        << "9"
        << "" << 2 << bufPosAnswer(' ') << callData("A^-16~1^9~3^2~") << 1;
    QTest::newRow("answer too short to carry a position")
        << "9"
        << "" << 2 << withCheck(hexBytes("01 06 01 00 06 32")) << callData("A^-49~1^9~3^2~") << 1;
}

void TestEngineService::callTextIsBuiltFromTheServiceControls()
{
    QFETCH(QString, address);
    QFETCH(QString, display);
    QFETCH(int, bleep);
    QFETCH(QByteArray, bufPosReply);
    QFETCH(QByteArray, callText);
    QFETCH(int, errorCount);

    EngineRig rig;
    rig.converter.answer = [&](const QByteArray &r) {
        return requestType(r) == '2' ? bufPosReply : withCheck(hexBytes("01 06 01 00 06 41"));
    };
    // Put in by the program, so longer than the boxes let anyone type.
    rig.screen.setValueText(CTRL_TEST_ADDRESS, address);
    rig.screen.setValueText(CTRL_TEST_MESSAGE, display);
    QVERIFY(rig.screen.setSelectedIndex(CTRL_TEST_BLEEP, bleep));
    rig.engine.PagerCallRequest = -1;

    rig.step(17);
    QCOMPARE(rig.converter.receivedHex(), (QStringList{BufPosFrame, callFrame(callText)}));
    QCOMPARE(rig.engine.ErrorCount, qint16(errorCount));
    QCOMPARE(rig.log.last(), QStringLiteral("STATUS: Calling pager via Kestrum succesfull."));
}

void TestEngineService::callFailuresAreLoggedAndSomeCounted_data()
{
    QTest::addColumn<QByteArray>("queryReply");
    QTest::addColumn<QByteArray>("callReply");
    QTest::addColumn<int>("ticksAfterQuery"); // when the failure is logged
    QTest::addColumn<QString>("logged");
    QTest::addColumn<int>("errorCount"); // it was 1 before
    QTest::addColumn<bool>("callSent");

    const QByteArray good = bufPosAnswer('4');
    QTest::newRow("query: no SOH")
        << Silent << Silent << 120 << "ERROR: TimeOut calling pager via Kestrum (SOH ask BufPos)"
        << 2 << false;
    QTest::newRow("query: no LEN")
        << SohOnly << Silent << 121 << "ERROR: TimeOut calling pager Kestrum (Len ask BufPos)" << 1
        << false;
    QTest::newRow("query: checksum")
        << corrupted(good) << Silent << 3
        << "ERROR: ChecksumError calling pager Kestrum (CheckSum ask BufPos)" << 1 << false;
    QTest::newRow("query: answer stops after LEN")
        << StopsAfterLen << Silent << 122
        << "ERROR: ChecksumError calling pager Kestrum (CheckSum ask BufPos)" << 1 << false;
    QTest::newRow("query: too long") << tooLongAnswer() << Silent << 3 << "" << 1 << false;
    QTest::newRow("call: no SOH") << good << Silent << 4 + 120
                                  << "ERROR: TimeOut calling pager via Kestrum (SOH sending call)"
                                  << 2 << true;
    QTest::newRow("call: no LEN") << good << SohOnly << 4 + 121
                                  << "ERROR: TimeOut calling pager via Kestrum (Len sending call)"
                                  << 1 << true;
    QTest::newRow("call: checksum")
        << good << corrupted(withCheck(hexBytes("01 06 01 00 06 41"))) << 4 + 3
        << "ERROR: TimeOut calling pager via Kestrum (Data sending call)" << 1 << true;
    QTest::newRow("call: answer stops after LEN")
        << good << StopsAfterLen << 4 + 122
        << "ERROR: TimeOut calling pager via Kestrum (Data sending call)" << 1 << true;
    QTest::newRow("call: too long") << good << tooLongAnswer() << 4 + 3 << "" << 1 << true;
}

void TestEngineService::callFailuresAreLoggedAndSomeCounted()
{
    QFETCH(QByteArray, queryReply);
    QFETCH(QByteArray, callReply);
    QFETCH(int, ticksAfterQuery);
    QFETCH(QString, logged);
    QFETCH(int, errorCount);
    QFETCH(bool, callSent);

    EngineRig rig;
    rig.converter.answer = [&](const QByteArray &r) {
        return requestType(r) == '2' ? queryReply : callReply;
    };
    rig.screen.typeText(CTRL_TEST_ADDRESS, QStringLiteral("77"));
    rig.engine.ErrorCount = 1;
    rig.engine.PagerCallRequest = -1;
    rig.step(10);
    QCOMPARE(rig.converter.receivedHex(), QStringList{BufPosFrame});
    rig.clearLog();

    rig.step(ticksAfterQuery - 1);
    QVERIFY(rig.engine.EngineState != Engine::ST_IDLE);
    QVERIFY(rig.log.isEmpty());
    rig.step();
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
    QCOMPARE(rig.log, logged.isEmpty() ? QStringList() : QStringList{logged});
    QCOMPARE(rig.engine.ErrorCount, qint16(errorCount));
    QCOMPARE(rig.converter.received.size(), callSent ? 2 : 1);
    if (callSent)
        QCOMPARE(rig.converter.receivedTicks().last(), 14);

    // Nothing is retried.
    rig.step(300);
    QCOMPARE(rig.converter.received.size(), callSent ? 2 : 1);
    QCOMPARE(rig.log.size(), logged.isEmpty() ? 0 : 1);
}

void TestEngineService::threeUnansweredCallsAbortTheNextSingleJob()
{
    EngineRig rig;
    rig.screen.typeText(CTRL_TEST_ADDRESS, QStringLiteral("12"));
    for (int call = 0; call < 3; ++call) {
        rig.engine.PagerCallRequest = -1;
        rig.step();
        QVERIFY(rig.runToQuiet(200));
    }
    QCOMPARE(rig.engine.ErrorCount, qint16(3));
    QCOMPARE(rig.converter.receivedHex(), QStringList(3, BufPosFrame));

    rig.table.SettingJob[10] = JOB_READ;
    rig.step();
    QCOMPARE(rig.t.dialogs.boxes.size(), 1);
    QCOMPARE(rig.t.dialogs.boxes[0].text,
             QStringLiteral("ERROR reading settings from the converter.\r\nReading is aborted!"));
    QCOMPARE(rig.converter.received.size(), 3);
    QCOMPARE(rig.table.SettingJob[10], JOB_NONE);
}

void TestEngineService::restartWinsOverACallRequestedWithIt()
{
    EngineRig rig;
    rig.converter.answer = [](const QByteArray &) {
        return withCheck(hexBytes("01 06 01 00 06 52"));
    };
    rig.screen.typeText(CTRL_TEST_ADDRESS, QStringLiteral("12"));
    rig.engine.PagerCallRequest = -1;
    rig.engine.RestartRequest = -1;

    rig.step();
    QCOMPARE(rig.engine.PagerCallRequest, qint16(0));
    QCOMPARE(rig.engine.RestartRequest, qint16(0));
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_RESET_SEND));
    // Each request re-opened the port.
    QCOMPARE(rig.log.count(QStringLiteral("Comport closed by software.")), 2);

    QVERIFY(rig.runToQuiet());
    rig.step(300);
    QCOMPARE(rig.converter.receivedHex(), QStringList{RestartFrame});
    QCOMPARE(rig.log.last(), QStringLiteral("STATUS: RESET command send to the converter."));
}

void TestEngineService::aSeriesDefersTheOtherRequests_data()
{
    QTest::addColumn<bool>("readAll");
    QTest::addColumn<QString>("firstFrame");
    QTest::newRow("read all") << true << "01 09 01 00 02 77 1F 00 1E 3F";
    QTest::newRow("write all") << false << "01 0D 01 00 02 57 1F 00 1E 77 1F 00 1E A7";
}

void TestEngineService::aSeriesDefersTheOtherRequests()
{
    QFETCH(bool, readAll);
    QFETCH(QString, firstFrame);

    EngineRig rig;
    rig.converter.answer = [](const QByteArray &r) {
        return requestType(r) == 'w' ? charAnswer(requestItem(r), 0)
                                     : withCheck(hexBytes("01 06 01 00 06 57"));
    };
    rig.screen.typeText(CTRL_TEST_ADDRESS, QStringLiteral("12"));
    (readAll ? rig.engine.ReadAllRequest : rig.engine.WriteAllRequest) = -1;
    rig.engine.PagerCallRequest = -1;
    rig.engine.RestartRequest = -1;

    // The series takes the step; the others wait until it has ended.
    rig.step();
    QCOMPARE(rig.engine.BulkMode, qint16(readAll ? 1 : 2));
    QCOMPARE(rig.engine.PagerCallRequest, qint16(-1));
    QCOMPARE(rig.engine.RestartRequest, qint16(-1));
    QCOMPARE(rig.log.count(QStringLiteral("Comport closed by software.")), 1);
    QVERIFY(rig.runToQuiet());
    const QStringList frames = rig.converter.receivedHex();
    QCOMPARE(frames.size(), 1 + 27 + 1);
    QCOMPARE(frames.at(1), firstFrame);
    QCOMPARE(frames.last(), RestartFrame);
    QCOMPARE(rig.engine.PagerCallRequest, qint16(0));
}

void TestEngineService::failedReopenDropsTheRequest()
{
    EngineRig rig;
    rig.engine.ReadAllRequest = -1;
    rig.engine.WriteAllRequest = -1;
    rig.t.port.failNextOpen = true;

    // The read-all is dropped and ends the step; the write-all waits for the next.
    rig.step();
    QCOMPARE(rig.engine.ReadAllRequest, qint16(0));
    QCOMPARE(rig.engine.WriteAllRequest, qint16(-1));
    QCOMPARE(rig.engine.BulkMode, qint16(0));
    QCOMPARE(rig.log.size(), 2);
    QVERIFY(rig.log[1].startsWith(QStringLiteral("Error opening ComPort:  1Error: ")));
    for (int i = 0; i <= 250; ++i)
        QCOMPARE(rig.table.SettingJob[i], JOB_NONE);

    // A failed write-all goes on with the next request in the same step.
    rig.t.port.failNextOpen = true;
    rig.engine.RestartRequest = -1;
    rig.step();
    QCOMPARE(rig.engine.WriteAllRequest, qint16(0));
    QCOMPARE(rig.engine.RestartRequest, qint16(0));
    QCOMPARE(rig.engine.BulkMode, qint16(0));
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_RESET_SEND));

    // A test call whose re-open fails is dropped.
    QVERIFY(rig.runToQuiet());
    rig.clearLog();
    rig.t.port.failNextOpen = true;
    rig.engine.PagerCallRequest = -1;
    rig.step();
    QCOMPARE(rig.engine.PagerCallRequest, qint16(0));
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
    rig.step(300);
    QCOMPARE(rig.log.size(), 2); // the close and the failed open, nothing after
}

void TestEngineService::textSentByTheConverterIsLoggedLineByLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("rest");

    QTest::newRow("two characters, CR LF") << QByteArray("ab\r\n") << QStringList{"ab"} << "";
    QTest::newRow("CR and LF alone end lines; empty lines are dropped")
        << QByteArray("\r\n\nab\rcd\nef") << QStringList{"ab", "cd"} << "ef";
    QTest::newRow("control bytes are spelled")
        << hexBytes("01 06 15 7F 41 00 0D") << QStringList{"[SOH][ACK][NACK][RUBOUT]A[NULL]"} << "";
    QTest::newRow("Latin-1") << hexBytes("E9 0A") << QStringList{QStringLiteral("\u00e9")} << "";
    QTest::newRow("200 characters without a line end")
        << QByteArray(200, 'x') << QStringList{QString(131, QLatin1Char('x'))}
        << QString(69, QLatin1Char('x'));
}

void TestEngineService::textSentByTheConverterIsLoggedLineByLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(QString, rest);

    EngineRig rig;
    rig.t.port.feed(bytes);
    rig.step();
    QCOMPARE(rig.log, lines);
    QCOMPARE(rig.engine.ReceiveLine, rest);
    QCOMPARE(rig.t.port.bytesAvailable(), qint64(0));

    // A line continues across ticks.
    rig.t.port.feed("Z\r");
    rig.step();
    if (rest.size() + 1 <= 130)
        QCOMPARE(rig.log.last(), rest + QLatin1Char('Z'));
}

void TestEngineService::textIsNotDrainedWhileAJobIsPending()
{
    EngineRig rig;
    rig.t.port.feed("ab\r\n");
    rig.table.SettingJob[10] = JOB_READ;
    rig.step();
    QVERIFY(rig.log.isEmpty());
    QCOMPARE(rig.engine.ReceiveLine, QString());
    QCOMPARE(rig.t.port.bytesAvailable(), qint64(4));
}

void TestEngineService::portOpenedAfterAFailedStartStartsTheEngine()
{
    EngineRig rig(QString(), /*failFirstOpen=*/true);
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_START));
    // Each press says why nothing happens yet; the job waits.
    Commands commands(rig.t.app);
    commands.CmdReadSingleSetting(10);
    commands.CmdReadSingleSetting(10);
    rig.step(100);
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_START));
    QVERIFY(rig.t.port.sent.isEmpty());
    const QString notOpen = QStringLiteral(
        "Com1 is not open: the work starts once \"Open ComPort\" succeeds.\r\n");
    QCOMPARE(rig.screen.progressText(), notOpen + notOpen);

    commands.CmdReOpenCom();
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_IDLE));
    QCOMPARE(rig.engine.DelayTicks, qint16(10));

    rig.step(11);
    QCOMPARE(rig.converter.receivedHex(),
             (QStringList{"01 01 80 7F", "01 09 01 00 02 77 1F 0A 1E 35"}));
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_READ_SOH));

    // A later open does not restart a running engine.
    commands.CmdReOpenCom();
    QCOMPARE(rig.engine.EngineState, qint16(Engine::ST_READ_SOH));
    rig.t.port.feed(charAnswer(10, 2));

    QVERIFY(rig.runToQuiet());
    QCOMPARE(rig.table.SettingValue[10].asText(), QStringLiteral("2"));
    QCOMPARE(rig.table.SettingJob[10], JOB_NONE);
    QCOMPARE(rig.screen.progressText().count(QStringLiteral("is not open")), 2);
}

void TestEngineService::closedPortMidSeriesEndsInTimeouts()
{
    EngineRig rig;
    rig.converter.answer = [](const QByteArray &r) { return charAnswer(requestItem(r), 1); };
    rig.engine.ReadAllRequest = -1;
    rig.step(16); // item 0 read and stored
    QCOMPARE(rig.table.SettingValue[0].asText(), QStringLiteral("1"));

    rig.t.app.datacom.CloseComPort();
    QVERIFY(rig.runToQuiet(1000));
    QCOMPARE(rig.t.dialogs.boxes.size(), 1);
    QCOMPARE(rig.screen.progressText().count(QStringLiteral("ERROR timeout wo SOH.")), 3);
    QVERIFY(rig.table.SettingValue[5].asText() != QStringLiteral("1"));

    // The next request opens the port again.
    rig.engine.ReadAllRequest = -1;
    QVERIFY(rig.runToQuiet());
    QCOMPARE(rig.log.last(), QStringLiteral("Reading of all settings was successfull."));
}

QTEST_GUILESS_MAIN(TestEngineService)
#include "tst_engine_service.moc"
