#include "base/Globals.h"
#include "base/MessageLog.h"
#include "screen/HeadlessScreen.h"
#include "serial/Datacom.h"
#include "serial/MemorySerialBackend.h"
#include "serial/PortMap.h"
#include "support/FakeClock.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The serial operations over a port kept in memory: the code tables, the log lines
// and caption of open and close, the byte limits and the activity flags.
class TestDatacom : public QObject
{
    Q_OBJECT

private:
    struct Rig
    {
        QTemporaryDir folder;
        Globals globals;
        FakeClock clock;
        MessageLog log{globals, clock};
        MemorySerialBackend backend;
        HeadlessScreen screen;
        Datacom datacom{globals, log, backend, screen};
        QStringList lines; // logged texts without their time stamps
        int openedCalls = 0;

        Rig()
        {
            globals.ProgramFolder = folder.path();
            globals.LogfileMode = 2;
            log.onLine = [this](const QString &line) { lines.append(line.mid(9)); };
            datacom.onOpened = [this] { ++openedCalls; };
        }
    };

private Q_SLOTS:
    void codesGiveSettingsTextAndLineSettings_data();
    void codesGiveSettingsTextAndLineSettings();
    void sendRefusesValuesOutsideAByte_data();
    void sendRefusesValuesOutsideAByte();
    void sendZeroSendsNul();
    void sendOnClosedPortFailsButShowsTheAttempt();
    void readWithNothingWaitingLeavesRxLampAlone();
    void readReturnsEveryByteValueInOrderIncludingNul();
    void clearDropsWaitingInput();
    void openIndexZeroOpensPortOne();
    void failedOpenLogsReasonAndKeepsCaption();
    void portNumberWithoutDeviceFailsWithReason();
    void deviceOverrideStandsForThePortNumber();
    void closeLogsAndLeavesPortClosed();
    void closingAClosedPortCountsAsSuccess();
    void failedCloseLogsReason();
    void lostPortLogsOneLine();
    void portNumbersMapToDevices_data();
    void portNumbersMapToDevices();
    void linkInProgramFolderWins();
    void searchLeavesAloneWhatMayNotBeAPort();
};

void TestDatacom::codesGiveSettingsTextAndLineSettings_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baud");
    QTest::addColumn<char>("parityLetter");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("stops");

    QTest::newRow("speed 0") << 0 << 0 << 1 << 0 << "300,N,8,1" << 300 << 'N' << 8 << 1;
    QTest::newRow("speed 1") << 1 << 0 << 1 << 0 << "1200,N,8,1" << 1200 << 'N' << 8 << 1;
    QTest::newRow("speed 2") << 2 << 0 << 1 << 0 << "2400,N,8,1" << 2400 << 'N' << 8 << 1;
    QTest::newRow("speed 3") << 3 << 0 << 1 << 0 << "4800,N,8,1" << 4800 << 'N' << 8 << 1;
    QTest::newRow("speed 4 (every caller)")
        << 4 << 0 << 1 << 0 << "9600,N,8,1" << 9600 << 'N' << 8 << 1;
    QTest::newRow("speed 5") << 5 << 0 << 1 << 0 << "19200,N,8,1" << 19200 << 'N' << 8 << 1;
    QTest::newRow("speed 6") << 6 << 0 << 1 << 0 << "9600,N,8,1" << 9600 << 'N' << 8 << 1;
    QTest::newRow("speed -1") << -1 << 0 << 1 << 0 << "9600,N,8,1" << 9600 << 'N' << 8 << 1;
    QTest::newRow("parity 1") << 4 << 1 << 1 << 0 << "9600,E,8,1" << 9600 << 'E' << 8 << 1;
    QTest::newRow("parity 2") << 4 << 2 << 1 << 0 << "9600,O,8,1" << 9600 << 'O' << 8 << 1;
    QTest::newRow("parity 3") << 4 << 3 << 1 << 0 << "9600,N,8,1" << 9600 << 'N' << 8 << 1;
    QTest::newRow("data bits 0") << 4 << 0 << 0 << 0 << "9600,N,7,1" << 9600 << 'N' << 7 << 1;
    QTest::newRow("data bits 2") << 4 << 0 << 2 << 0 << "9600,N,8,1" << 9600 << 'N' << 8 << 1;
    QTest::newRow("stop bits 1") << 4 << 0 << 1 << 1 << "9600,N,8,2" << 9600 << 'N' << 8 << 2;
    QTest::newRow("stop bits 2") << 4 << 0 << 1 << 2 << "9600,N,8,1" << 9600 << 'N' << 8 << 1;
    QTest::newRow("all unusual") << 0 << 2 << 0 << 1 << "300,O,7,2" << 300 << 'O' << 7 << 2;
}

void TestDatacom::codesGiveSettingsTextAndLineSettings()
{
    QFETCH(int, speed);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(QString, text);

    QCOMPARE(Datacom::SettingsText(speed, parity, dataBits, stopBits), text);

    // The port is opened with the same settings the text names.
    Rig rig;
    QCOMPARE(rig.datacom.OpenComPort(0, speed, parity, dataBits, stopBits, 0), 0);
    QTEST(rig.backend.lastSettings.baudRate, "baud");
    QTEST(rig.backend.lastSettings.parity, "parityLetter");
    QTEST(rig.backend.lastSettings.dataBits, "bits");
    QTEST(rig.backend.lastSettings.stopBits, "stops");
    QCOMPARE(rig.lines.last(), QStringLiteral("Com: 1 opened with: ") + text);
}

void TestDatacom::sendRefusesValuesOutsideAByte_data()
{
    QTest::addColumn<int>("value");
    QTest::newRow("256") << 256;
    QTest::newRow("-1") << -1;
    QTest::newRow("32767") << 32767;
}

void TestDatacom::sendRefusesValuesOutsideAByte()
{
    QFETCH(int, value);
    Rig rig;
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);

    QCOMPARE(rig.datacom.SendComByte(value), -1);
    QVERIFY(!rig.globals.TxActivity);
    QVERIFY(rig.backend.sent.isEmpty());
}

void TestDatacom::sendZeroSendsNul()
{
    Rig rig;
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);

    QCOMPARE(rig.datacom.SendComByte(0), 0);
    QCOMPARE(rig.datacom.SendComByte(255), 0);
    QCOMPARE(rig.backend.sent, QByteArray::fromHex("00ff"));
    QVERIFY(rig.globals.TxActivity);
}

void TestDatacom::sendOnClosedPortFailsButShowsTheAttempt()
{
    Rig rig;
    QCOMPARE(rig.datacom.SendComByte(0x41), -1);
    QVERIFY(rig.globals.TxActivity);
    QVERIFY(rig.backend.sent.isEmpty());
}

void TestDatacom::readWithNothingWaitingLeavesRxLampAlone()
{
    Rig rig;
    QCOMPARE(rig.datacom.ReadComByte(), -1); // closed
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);
    QCOMPARE(rig.datacom.ReadComByte(), -1); // open, nothing waiting
    QVERIFY(!rig.globals.RxActivity);
}

void TestDatacom::readReturnsEveryByteValueInOrderIncludingNul()
{
    Rig rig;
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);
    QByteArray all;
    for (int value = 0; value < 256; ++value)
        all.append(char(value));
    rig.backend.feed(all);

    for (int value = 0; value < 256; ++value)
        QCOMPARE(rig.datacom.ReadComByte(), value);
    QVERIFY(rig.globals.RxActivity);
    QCOMPARE(rig.datacom.ReadComByte(), -1);
}

void TestDatacom::clearDropsWaitingInput()
{
    Rig rig;
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);
    rig.backend.feed(QByteArray::fromHex("0106"));

    rig.datacom.ClearComInput();
    QCOMPARE(rig.datacom.ReadComByte(), -1);
    rig.backend.feed(QByteArray::fromHex("15"));
    QCOMPARE(rig.datacom.ReadComByte(), 0x15);
}

void TestDatacom::openIndexZeroOpensPortOne()
{
    Rig rig;
    QCOMPARE(rig.datacom.IsComPortOpen(), -1);

    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);

    QCOMPARE(rig.backend.openedDevices, QStringList{QStringLiteral("/dev/ttyUSB0")});
    QCOMPARE(rig.lines, QStringList{QStringLiteral("Com: 1 opened with: 9600,N,8,1")});
    QCOMPARE(rig.screen.portCaption(), QStringLiteral("Serial Port: 1 9600,N,8,1"));
    QCOMPARE(rig.datacom.IsComPortOpen(), 1);
    QCOMPARE(rig.openedCalls, 1);
}

void TestDatacom::failedOpenLogsReasonAndKeepsCaption()
{
    Rig rig;
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);
    rig.datacom.CloseComPort();
    rig.lines.clear();

    rig.backend.failNextOpen = true;
    QCOMPARE(rig.datacom.OpenComPort(2, 4, 0, 1, 0, 0), -1);

    QCOMPARE(rig.lines, QStringList{QStringLiteral(
                            "Error opening ComPort:  3Error: No such file or directory")});
    QCOMPARE(rig.screen.portCaption(), QStringLiteral("Serial Port: 1 9600,N,8,1"));
    QCOMPARE(rig.datacom.IsComPortOpen(), -1);
    QCOMPARE(rig.openedCalls, 1);
}

void TestDatacom::portNumberWithoutDeviceFailsWithReason()
{
    Rig rig;
    QCOMPARE(rig.datacom.OpenComPort(30, 4, 0, 1, 0, 0), -1);

    QCOMPARE(rig.lines,
             QStringList{QStringLiteral("Error opening ComPort:  31Error: no device for Com31")});
    QVERIFY(rig.backend.openedDevices.isEmpty());
    QCOMPARE(rig.screen.portCaption(), QStringLiteral("Serial port: XXXX "));
    QCOMPARE(rig.openedCalls, 0);
}

void TestDatacom::deviceOverrideStandsForThePortNumber()
{
    Rig rig;
    rig.datacom.setDeviceOverride(QStringLiteral("/dev/pts/3"));

    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);
    QCOMPARE(rig.backend.openedDevices, QStringList{QStringLiteral("/dev/pts/3")});
    QCOMPARE(rig.lines.last(), QStringLiteral("Com: /dev/pts/3 opened with: 9600,N,8,1"));
    QCOMPARE(rig.screen.portCaption(), QStringLiteral("Serial Port: /dev/pts/3 9600,N,8,1"));

    rig.datacom.CloseComPort();
    rig.backend.failNextOpen = true;
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), -1);
    QCOMPARE(rig.lines.last(),
             QStringLiteral("Error opening ComPort:  /dev/pts/3Error: No such file or directory"));
}

void TestDatacom::closeLogsAndLeavesPortClosed()
{
    Rig rig;
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);

    rig.datacom.CloseComPort();
    QCOMPARE(rig.lines.last(), QStringLiteral("Comport closed by software."));
    QCOMPARE(rig.datacom.IsComPortOpen(), -1);
    // The caption keeps naming the last port opened.
    QCOMPARE(rig.screen.portCaption(), QStringLiteral("Serial Port: 1 9600,N,8,1"));

    // A re-open works after a close.
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);
    QCOMPARE(rig.backend.openedDevices.size(), 2);
}

void TestDatacom::closingAClosedPortCountsAsSuccess()
{
    Rig rig;
    rig.backend.failClose = true; // must not even be asked
    rig.datacom.CloseComPort();
    QCOMPARE(rig.lines, QStringList{QStringLiteral("Comport closed by software.")});
}

void TestDatacom::failedCloseLogsReason()
{
    Rig rig;
    QCOMPARE(rig.datacom.OpenComPort(0, 4, 0, 1, 0, 0), 0);
    rig.backend.failClose = true;

    rig.datacom.CloseComPort();
    QCOMPARE(rig.lines.last(), QStringLiteral("Error closing comport: Input/output error"));
}

void TestDatacom::lostPortLogsOneLine()
{
    Rig rig;
    QVERIFY(rig.backend.onPortLost);
    rig.backend.onPortLost(QStringLiteral("Input/output error"));
    QCOMPARE(rig.lines, QStringList{QStringLiteral("Error on comport: Input/output error")});
}

void TestDatacom::portNumbersMapToDevices_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::newRow("Com1") << 1 << "/dev/ttyUSB0";
    QTest::newRow("Com10") << 10 << "/dev/ttyUSB9";
    QTest::newRow("Com11") << 11 << "/dev/ttyACM0";
    QTest::newRow("Com20") << 20 << "/dev/ttyACM9";
    QTest::newRow("Com21") << 21 << "/dev/ttyS0";
    QTest::newRow("Com30") << 30 << "/dev/ttyS9";
    QTest::newRow("Com31") << 31 << "";
    QTest::newRow("Com0") << 0 << "";
    QTest::newRow("Com-1") << -1 << "";
}

void TestDatacom::portNumbersMapToDevices()
{
    QFETCH(int, port);
    QFETCH(QString, device);
    QTemporaryDir folder; // no ports/ folder at all
    QCOMPARE(DeviceForPort(port, folder.path()), device);
    QCOMPARE(DeviceForPort(port, QString()), device);
}

void TestDatacom::linkInProgramFolderWins()
{
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("ports")));
    const QString ports = folder.path() + QStringLiteral("/ports/");
    const QString target = folder.path() + QStringLiteral("/fake-tty");
    QFile targetFile(target);
    QVERIFY(targetFile.open(QIODevice::WriteOnly));
    targetFile.close();

    QVERIFY(QFile::link(target, ports + QStringLiteral("com3")));
    QCOMPARE(DeviceForPort(3, folder.path()), target);
    QCOMPARE(DeviceForPort(4, folder.path()), QStringLiteral("/dev/ttyUSB3"));

    // A number beyond the fixed table is reachable through a link.
    QVERIFY(QFile::link(target, ports + QStringLiteral("com40")));
    QCOMPARE(DeviceForPort(40, folder.path()), target);

    // A link whose device is gone still names it, so the open fails with the
    // device's own error rather than opening another port.
    const QString gone = folder.path() + QStringLiteral("/gone-tty");
    QVERIFY(QFile::link(gone, ports + QStringLiteral("com1")));
    QCOMPARE(DeviceForPort(1, folder.path()), gone);

    // A plain entry (a device node or file placed there) is opened as it is.
    QFile plain(ports + QStringLiteral("com2"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QCOMPARE(DeviceForPort(2, folder.path()), ports + QStringLiteral("com2"));

    // Opening through Datacom uses the link for ComPortIndex 2.
    Rig rig;
    rig.globals.ProgramFolder = folder.path();
    QCOMPARE(rig.datacom.OpenComPort(2, 4, 0, 1, 0, 0), 0);
    QCOMPARE(rig.backend.openedDevices, QStringList{target});
    QCOMPARE(rig.lines.last(), QStringLiteral("Com: 3 opened with: 9600,N,8,1"));
}

void TestDatacom::searchLeavesAloneWhatMayNotBeAPort()
{
    QTemporaryDir sys; // the kernel's UART types: 0 none, 4 a 16550A
    QVERIFY(QDir(sys.path()).mkpath("ttyS0") && QDir(sys.path()).mkpath("ttyS1"));
    QVERIFY(WriteAll(sys.filePath("ttyS0/type"), "4\n") &&
            WriteAll(sys.filePath("ttyS1/type"), "0"));
    for (const auto &[device, alone] : {std::pair{"/dev/rfcomm0", true},
                                        {"/dev/ttyS1", true},
                                        {"/dev/ttyS0", false},
                                        {"/dev/ttyS7", false},
                                        {"/dev/ttyUSB0", false}})
        QVERIFY2(SearchLeavesAlone(device, sys.path()) == alone, device);
}

QTEST_GUILESS_MAIN(TestDatacom)
#include "tst_datacom.moc"
