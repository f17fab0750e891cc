#include "base/Globals.h"
#include "base/MessageLog.h"
#include "protocol/Frames.h"
#include "screen/HeadlessScreen.h"
#include "serial/Datacom.h"
#include "serial/QtSerialBackend.h"
#include "support/FakeClock.h"
#include "support/FileBytes.h"
#include "support/SimProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The far end of a pseudo-terminal: what the converter would be. The program opens
// the slave side through a ports/com1 link, as it would open a real adapter.
class PtyPeer
{
public:
    PtyPeer()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~PtyPeer() { hangUp(); }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool isValid() const { return m_master >= 0 && !m_slavePath.isEmpty(); }
    QString slavePath() const { return m_slavePath; }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Collects what the program sent until `count` bytes are in or the time is up.
    QByteArray read(int count, int timeoutMs = 5000)
    {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        while (bytes.size() < count && timer.elapsed() < timeoutMs) {
            pollfd fd{m_master, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0 || !(fd.revents & POLLIN))
                continue;
            char buffer[512];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                bytes.append(buffer, n);
        }
        return bytes;
    }

    // The converter's end goes away: the program's side of the line hangs up.
    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slavePath;
};

// Calls `step` until it says done, letting the event loop run in between; for
// steps that consume input, which the QTRY_ macros would call once too often.
template <typename Step> bool stepUntil(Step step, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!step()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

// One program's serial side over a real QSerialPort.
struct Station
{
    Globals globals;
    FakeClock clock;
    MessageLog log{globals, clock};
    QtSerialBackend backend;
    HeadlessScreen screen;
    Datacom datacom{globals, log, backend, screen};
    QStringList lines; // logged texts without their time stamps

    // The program folder holds the lock files too.
    explicit Station(const QString &programFolder)
    {
        backend.setLockFolder(programFolder);
        globals.ProgramFolder = programFolder;
        globals.LogfileMode = 2;
        log.onLine = [this](const QString &line) { lines.append(line.mid(9)); };
    }

    int open() { return datacom.OpenComPort(0, 4, 0, 1, 0, 0); }

    int linesStartingWith(const QString &start) const
    {
        int count = 0;
        for (const QString &line : lines)
            count += line.startsWith(start) ? 1 : 0;
        return count;
    }

    // Reads what has arrived, letting the event loop bring in more, until `count`
    // bytes are in or the time is up.
    QByteArray receive(int count, int timeoutMs = 5000)
    {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        while (bytes.size() < count && timer.elapsed() < timeoutMs) {
            int byte;
            while (bytes.size() < count && (byte = datacom.ReadComByte()) >= 0)
                bytes.append(char(byte));
            if (bytes.size() < count)
                QTest::qWait(5);
        }
        return bytes;
    }
};

} // namespace

// The serial operations over a real QSerialPort on a pseudo-terminal: byte
// transparency, the modem lines a pty lacks, locking, and a peer that vanishes.
class TestSerialE2E : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;

    bool pointCom1At(const QString &device)
    {
        const QString ports = m_folder.path() + QStringLiteral("/ports");
        QDir().mkpath(ports);
        QFile::remove(ports + QStringLiteral("/com1"));
        return QFile::link(device, ports + QStringLiteral("/com1"));
    }

private Q_SLOTS:
    void bytesSurviveBothWays_data();
    void bytesSurviveBothWays();
    void ptyWithoutModemLinesOpens();
    void clearDropsWhatWasReceived();
    void missingDeviceLogsErrorAndKeepsCaption();
    void secondOpenOfTheSameDeviceFails();
    void vanishedPeerClosesThePortOnceWithoutSpinning();
    void readRequestGetsTheSimulatorsAnswer();
};

void TestSerialE2E::bytesSurviveBothWays_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("a lone NUL") << QByteArray(1, '\0');
    QTest::newRow("every byte value 0..255") << everyByteValue();
    QTest::newRow("line ends and control bytes") << QByteArray::fromHex("0d0a0d1a037f111304ff00");
}

void TestSerialE2E::bytesSurviveBothWays()
{
    QFETCH(QByteArray, bytes);
    PtyPeer peer;
    QVERIFY(peer.isValid());
    QVERIFY(pointCom1At(peer.slavePath()));
    Station station(m_folder.path());
    QCOMPARE(station.open(), 0);

    for (char c : bytes)
        QCOMPARE(station.datacom.SendComByte(static_cast<unsigned char>(c)), 0);
    QCOMPARE(peer.read(bytes.size()), bytes);

    QVERIFY(peer.write(bytes));
    QCOMPARE(station.receive(bytes.size()), bytes);
    QVERIFY(station.globals.RxActivity);
    QCOMPARE(station.datacom.ReadComByte(), -1);
}

void TestSerialE2E::ptyWithoutModemLinesOpens()
{
    PtyPeer peer;
    QVERIFY(peer.isValid());
    QVERIFY(pointCom1At(peer.slavePath()));
    Station station(m_folder.path());

    QCOMPARE(station.open(), 0);
    QCOMPARE(station.datacom.IsComPortOpen(), 1);
    QCOMPARE(station.lines, QStringList{QStringLiteral("Com: 1 opened with: 9600,N,8,1")});
    QCOMPARE(station.screen.portCaption(), QStringLiteral("Serial Port: 1 9600,N,8,1"));

    // The refused RTS switch is not taken for a lost device later on.
    QTest::qWait(100);
    QCOMPARE(station.datacom.IsComPortOpen(), 1);
    QCOMPARE(station.linesStartingWith(QStringLiteral("Error on comport: ")), 0);

    station.datacom.CloseComPort();
    QCOMPARE(station.lines.last(), QStringLiteral("Comport closed by software."));
    QCOMPARE(station.datacom.IsComPortOpen(), -1);
}

void TestSerialE2E::clearDropsWhatWasReceived()
{
    PtyPeer peer;
    QVERIFY(peer.isValid());
    QVERIFY(pointCom1At(peer.slavePath()));
    Station station(m_folder.path());
    QCOMPARE(station.open(), 0);

    // Some bytes already in QSerialPort's buffer, more still in the kernel's queue.
    QVERIFY(peer.write(QByteArray::fromHex("01020304")));
    QTRY_VERIFY(station.backend.bytesAvailable() >= 4);
    QVERIFY(peer.write(QByteArray::fromHex("05060708")));
    ::usleep(50 * 1000);

    station.datacom.ClearComInput();
    QTest::qWait(100);
    QCOMPARE(station.datacom.ReadComByte(), -1);

    // What arrives after the clear is received as usual.
    QVERIFY(peer.write(QByteArray::fromHex("06")));
    QCOMPARE(station.receive(1), QByteArray::fromHex("06"));
}

void TestSerialE2E::missingDeviceLogsErrorAndKeepsCaption()
{
    PtyPeer peer;
    QVERIFY(peer.isValid());
    QVERIFY(pointCom1At(peer.slavePath()));
    Station station(m_folder.path());
    QCOMPARE(station.open(), 0);
    station.datacom.CloseComPort();

    QVERIFY(pointCom1At(m_folder.path() + QStringLiteral("/no-such-tty")));
    QCOMPARE(station.open(), -1);
    QCOMPARE(station.lines.last(),
             QStringLiteral("Error opening ComPort:  1Error: No such file or directory"));
    QCOMPARE(station.screen.portCaption(), QStringLiteral("Serial Port: 1 9600,N,8,1"));
    QCOMPARE(station.datacom.IsComPortOpen(), -1);
}

void TestSerialE2E::secondOpenOfTheSameDeviceFails()
{
    PtyPeer peer;
    QVERIFY(peer.isValid());
    QVERIFY(pointCom1At(peer.slavePath()));
    Station first(m_folder.path());
    Station second(m_folder.path());
    QCOMPARE(first.open(), 0);
    // Held as minicom or picocom hold a device: a lock file and an flock.
    const QString lockFile = m_folder.filePath("LCK..pts_" + peer.slavePath().section('/', -1));
    QCOMPARE(ReadAll(lockFile), QByteArray::number(::getpid()).rightJustified(10) + '\n');
    const int other = ::open(peer.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), -1);

    QCOMPARE(second.open(), -1);
    QCOMPARE(second.lines,
             QStringList(QStringLiteral("Error opening ComPort:  1Error: %1 is in use "
                                        "by process %2 (lock file %3)")
                             .arg(peer.slavePath())
                             .arg(::getpid())
                             .arg(lockFile)));
    QCOMPARE(second.datacom.IsComPortOpen(), -1);

    // The first keeps its port; once it lets go, the second gets it.
    QCOMPARE(first.datacom.SendComByte(0x41), 0);
    QCOMPARE(peer.read(1), QByteArray("A"));
    first.datacom.CloseComPort();
    QVERIFY(!QFile::exists(lockFile));
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
    QCOMPARE(second.open(), 0);
}

void TestSerialE2E::vanishedPeerClosesThePortOnceWithoutSpinning()
{
    auto peer = std::make_unique<PtyPeer>();
    QVERIFY(peer->isValid());
    QVERIFY(pointCom1At(peer->slavePath()));
    Station station(m_folder.path());
    QCOMPARE(station.open(), 0);

    peer->hangUp();
    QTRY_COMPARE(station.datacom.IsComPortOpen(), -1);

    // A port left open on a hung-up line keeps the process busy with error reports;
    // a closed one costs nothing. The bound is loose on purpose.
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(1000);
    const double cpuUsed = cpuSeconds() - cpuBefore;
    const double share = cpuUsed / (double(wall.elapsed()) / 1000.0);
    QVERIFY2(share < 0.2, qPrintable(QStringLiteral("CPU share %1").arg(share)));

    QCOMPARE(station.linesStartingWith(QStringLiteral("Error on comport: ")), 1);
    QCOMPARE(station.datacom.ReadComByte(), -1);
    QCOMPARE(station.datacom.SendComByte(0x41), -1);

    // The converter comes back on another pseudo-terminal; the next re-open, as
    // every request does it, finds it through the re-pointed link.
    peer = std::make_unique<PtyPeer>();
    QVERIFY(peer->isValid());
    QVERIFY(pointCom1At(peer->slavePath()));
    station.datacom.CloseComPort();
    QCOMPARE(station.open(), 0);
    QCOMPARE(station.datacom.SendComByte(0x77), 0);
    QCOMPARE(peer->read(1), QByteArray("w"));
    QVERIFY(peer->write(QByteArray::fromHex("06")));
    QCOMPARE(station.receive(1), QByteArray::fromHex("06"));
    QCOMPARE(station.linesStartingWith(QStringLiteral("Error on comport: ")), 1);
}

void TestSerialE2E::readRequestGetsTheSimulatorsAnswer()
{
#ifndef KESTRUM_SIM_PATH
    QSKIP("kestrum-sim is not part of this build");
#endif
    SimProcess sim;
    QVERIFY(sim.start());
    QVERIFY(sim.sendCommand(QStringLiteral("set 5 7")));
    QVERIFY(pointCom1At(sim.ptyPath()));
    Station station(m_folder.path());
    QCOMPARE(station.open(), 0);

    Frames frames(station.datacom);
    frames.StartAnswer();

    // Read item 5: SOH LEN 01 00 02 "w" US 5 RS check.
    for (char c : QByteArray::fromHex("0109010002771f051e3a"))
        QCOMPARE(station.datacom.SendComByte(static_cast<unsigned char>(c)), 0);
    QVERIFY2(sim.waitForOutput(QStringLiteral("read item 5")), qPrintable(sim.output()));

    // Taken in phase by phase, as the engine takes it, while the event loop runs.
    QVERIFY(stepUntil([&] { return frames.ReceiveSoh(); }));
    QVERIFY(stepUntil([&] { return frames.ReceiveLen(); }));
    AnswerStatus status = AnswerStatus::Receiving;
    QVERIFY(stepUntil([&] { return (status = frames.ReceiveData()) != AnswerStatus::Receiving; }));
    QCOMPARE(status, AnswerStatus::Good);

    // The answer has the layout of the item's write request, ACK at offset 4.
    QByteArray answer;
    for (int slot = 0; slot < frames.AnswerCount; ++slot)
        answer.append(char(frames.AnswerBuffer[slot]));
    QCOMPARE(answer.toHex(' '), QByteArray("01 0d 01 00 06 57 1f 05 1e 77 1f 07 1e 97"));
    QCOMPARE(frames.AnswerItem(), 5);
    QCOMPARE(frames.DecodeValue(5).asText(), QStringLiteral("7"));
    QCOMPARE(station.datacom.ReadComByte(), -1);
}

QTEST_GUILESS_MAIN(TestSerialE2E)
#include "tst_serial_e2e.moc"
