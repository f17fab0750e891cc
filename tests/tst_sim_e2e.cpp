// The simulated converter, driven over its pseudo-terminal with plain POSIX calls
// (not through the program's serial classes), so that the simulator is checked on
// its own before other tests rely on it.

#include "support/SimProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

QString spaced(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

int byteSum(const QByteArray &bytes)
{
    int sum = 0;
    for (const char c : bytes)
        sum += quint8(c);
    return sum % 256;
}

// The program's end of the line, opened the way any serial terminal would.
class Port
{
public:
    ~Port()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool open(const QString &path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        termios t{};
        if (tcgetattr(m_fd, &t) != 0)
            return false;
        cfmakeraw(&t);
        return tcsetattr(m_fd, TCSANOW, &t) == 0;
    }

    void send(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else
                waitFor(POLLOUT, 100);
        }
    }

    // Everything that arrives within ms.
    QByteArray readFor(int ms)
    {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        for (qint64 left = ms; left > 0; left = ms - timer.elapsed()) {
            if (waitFor(POLLIN, int(left)))
                bytes += readAvailable();
        }
        return bytes;
    }

    // Bytes up to the end of the first frame (SOH, LEN, LEN - 1 bytes, check byte),
    // with whatever came before its SOH; what arrived so far when timeoutMs runs out.
    QByteArray readFrame(int timeoutMs = 3000)
    {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        while (!frameComplete(bytes)) {
            const qint64 left = timeoutMs - timer.elapsed();
            if (left <= 0)
                break;
            if (waitFor(POLLIN, int(left)))
                bytes += readAvailable();
        }
        return bytes;
    }

    static QByteArray frameOf(const QByteArray &bytes)
    {
        const qsizetype soh = bytes.indexOf('\x01');
        return soh < 0 ? QByteArray() : bytes.mid(soh);
    }

private:
    static bool frameComplete(const QByteArray &bytes)
    {
        const QByteArray frame = frameOf(bytes);
        return frame.size() >= 2 && frame.size() >= quint8(frame.at(1)) + 1;
    }

    bool waitFor(short events, int ms)
    {
        pollfd p{m_fd, events, 0};
        return ::poll(&p, 1, ms) > 0;
    }

    QByteArray readAvailable()
    {
        char buffer[512];
        QByteArray bytes;
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return bytes;
            bytes.append(buffer, int(n));
        }
    }

    int m_fd = -1;
};

const QByteArray ReadItem5 = hex("01 09 01 00 02 77 1F 05 1E 3A");
const QByteArray AnswerItem5 = hex("01 0D 01 00 06 57 1F 05 1E 77 1F 00 1E 9E");

} // namespace

class TstSimE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersAReadWithTheItemsValue();
    void acceptedWritesAreReadBack_data();
    void acceptedWritesAreReadBack();
    void writesTheConverterCannotTakeAreRefused_data();
    void writesTheConverterCannotTakeAreRefused();
    void faultsShowOnTheWire_data();
    void faultsShowOnTheWire();
    void faultsCountDownAndHitOnlyTheirItem();
    void wakeUpGarbageAndBrokenFramesAreSkipped();
    void restartIsAcknowledgedThenGreets();
    void testCallAsksBufferPositionThenCalls();
    void startsFromSettingsFileAndSavesOnExit();
    void keepsServingWhenItsInputEnds_data();
    void keepsServingWhenItsInputEnds();
    void refusesAnUnknownFault();
};

void TstSimE2e::answersAReadWithTheItemsValue()
{
    SimProcess sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.ptyPath()));
    port.send(ReadItem5);
    QCOMPARE(spaced(port.readFrame()), spaced(AnswerItem5));
    QVERIFY(sim.waitForOutput(QStringLiteral("read item 5")));
}

void TstSimE2e::acceptedWritesAreReadBack_data()
{
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("CHAR 10 = 2") << hex("01 0D 01 00 02 57 1F 0A 1E 77 1F 02 1E 9B")
                                 << "write item 10 = 2" << hex("01 09 01 00 02 77 1F 0A 1E 35")
                                 << hex("01 0D 01 00 06 57 1F 0A 1E 77 1F 02 1E 97");
    QTest::newRow("CHAR 40 = hex digit A")
        << hex("01 0D 01 00 02 57 1F 28 1E 77 1F 41 1E 3E") << "write item 40 = 10"
        << hex("01 09 01 00 02 77 1F 28 1E 17") << hex("01 0D 01 00 06 57 1F 28 1E 77 1F 41 1E 3A");
    QTest::newRow("INT 100 = 300") << hex("01 0E 01 00 02 57 1F 64 1E 77 1F 2C 01 1E 15")
                                   << "write item 100 = 300" << hex("01 09 01 00 02 77 1F 64 1E DB")
                                   << hex("01 0E 01 00 06 57 1F 64 1E 77 1F 2C 01 1E 11");
    QTest::newRow("TEKST 150 = abc")
        << hex("01 0F 01 00 02 57 1F 96 1E 77 1F 61 62 63 1E E9") << "write item 150 = abc"
        << hex("01 09 01 00 02 77 1F 96 1E A9")
        << hex("01 0F 01 00 06 57 1F 96 1E 77 1F 61 62 63 1E E5");
    QTest::newRow("TEKST 151 = e-acute")
        << hex("01 0D 01 00 02 57 1F 97 1E 77 1F E9 1E 27")
        << QStringLiteral("write item 151 = \u00e9") << hex("01 09 01 00 02 77 1F 97 1E A8")
        << hex("01 0D 01 00 06 57 1F 97 1E 77 1F E9 1E 23");
}

void TstSimE2e::acceptedWritesAreReadBack()
{
    QFETCH(QByteArray, write);
    QFETCH(QString, printed);
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, answer);

    SimProcess sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.ptyPath()));
    port.send(write);
    const QByteArray ack = port.readFrame();
    QCOMPARE(ack.size(), quint8(ack.at(1)) + 1);
    QCOMPARE(quint8(ack.at(4)), quint8(0x06));
    QCOMPARE(byteSum(ack), 0);
    QVERIFY(sim.waitForOutput(printed));
    port.send(read);
    QCOMPARE(spaced(port.readFrame()), spaced(answer));
}

void TstSimE2e::writesTheConverterCannotTakeAreRefused_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("printed");

    QTest::newRow("CHAR item with two value bytes")
        << hex("01 0E 01 00 02 57 1F 0A 1E 77 1F 01 02 1E 99") << "refused write";
    QTest::newRow("CHAR 40 with G")
        << hex("01 0D 01 00 02 57 1F 28 1E 77 1F 47 1E 38") << "refused write";
    QTest::newRow("item 250") << hex("01 0D 01 00 02 57 1F FA 1E 77 1F 01 1E AC")
                              << "refused write";
    QTest::newRow("unknown command Z") << hex("01 06 01 00 02 5A 9C") << "unknown request";
}

void TstSimE2e::writesTheConverterCannotTakeAreRefused()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, printed);

    SimProcess sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.ptyPath()));
    port.send(request);
    const QByteArray nak = port.readFrame();
    QVERIFY2(nak.size() >= 6, qPrintable(spaced(nak)));
    QCOMPARE(quint8(nak.at(4)), quint8(0x15));
    QCOMPARE(byteSum(nak), 0);
    QVERIFY(sim.waitForOutput(printed));
    QVERIFY(!sim.output().contains(QLatin1String("write item")));
}

void TstSimE2e::faultsShowOnTheWire_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("viaStdin");
    QTest::addColumn<QString>("expect");

    QTest::newRow("silent, command line") << "silent" << false << "nothing";
    QTest::newRow("silent, stdin") << "silent" << true << "nothing";
    QTest::newRow("checksum") << "checksum" << true << "bad sum";
    QTest::newRow("stop-after-len") << "stop-after-len" << true << "two bytes";
    QTest::newRow("too-long, command line") << "too-long" << false << "too long";
    QTest::newRow("other-item") << "other-item" << true << "item 6";
    QTest::newRow("other-item 20") << "other-item=20" << false << "item 20";
    QTest::newRow("noise") << "noise" << true << "noise";
    QTest::newRow("nak") << "nak item 5" << true << "nak";
    QTest::newRow("delay 700") << "delay 700" << true << "late";
}

void TstSimE2e::faultsShowOnTheWire()
{
    QFETCH(QString, fault);
    QFETCH(bool, viaStdin);
    QFETCH(QString, expect);

    SimProcess sim;
    QVERIFY(sim.start(viaStdin ? QStringList() : QStringList{QStringLiteral("--fault"), fault}));
    if (viaStdin)
        QVERIFY(sim.sendCommand(QStringLiteral("fault ") + fault));
    Port port;
    QVERIFY(port.open(sim.ptyPath()));
    port.send(ReadItem5);

    if (expect == QLatin1String("nothing")) {
        QCOMPARE(spaced(port.readFor(500)), QString());
    } else if (expect == QLatin1String("two bytes")) {
        QCOMPARE(spaced(port.readFor(600)), QStringLiteral("01 0D"));
    } else if (expect == QLatin1String("late")) {
        QCOMPARE(spaced(port.readFor(400)), QString());
        QCOMPARE(spaced(port.readFrame()), spaced(AnswerItem5));
    } else if (expect == QLatin1String("too long")) {
        const QByteArray bytes = port.readFor(600);
        QVERIFY2(bytes.size() > 98, qPrintable(QString::number(bytes.size())));
        QCOMPARE(bytes.at(0), '\x01');
        QVERIFY(quint8(bytes.at(1)) > 97);
    } else {
        const QByteArray bytes = port.readFrame();
        const QByteArray frame = Port::frameOf(bytes);
        QVERIFY2(frame.size() >= 8, qPrintable(spaced(bytes)));
        QCOMPARE(frame.size(), quint8(frame.at(1)) + 1);
        if (expect == QLatin1String("bad sum")) {
            QVERIFY(byteSum(frame) != 0);
            QCOMPARE(spaced(frame.left(13)), spaced(AnswerItem5.left(13)));
        } else if (expect == QLatin1String("item 6")) {
            QCOMPARE(spaced(frame), spaced(hex("01 0D 01 00 06 57 1F 06 1E 77 1F 00 1E 9D")));
        } else if (expect == QLatin1String("item 20")) {
            // Item 20 holds speed code 3 from the factory.
            QCOMPARE(spaced(frame), spaced(hex("01 0D 01 00 06 57 1F 14 1E 77 1F 03 1E 8C")));
        } else if (expect == QLatin1String("noise")) {
            QVERIFY(bytes.indexOf('\x01') > 0);
            QCOMPARE(spaced(frame), spaced(AnswerItem5));
        } else if (expect == QLatin1String("nak")) {
            QCOMPARE(spaced(frame), spaced(hex("01 0D 01 00 15 57 1F 05 1E 77 1F 00 1E 8F")));
        } else {
            QFAIL("unknown expectation");
        }
    }
    QVERIFY(sim.waitForOutput(QStringLiteral("fault: ")));
}

void TstSimE2e::faultsCountDownAndHitOnlyTheirItem()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--fault"), QStringLiteral("silent:5x1")}));
    QVERIFY(sim.sendCommand(QStringLiteral("fault nak item 10")));
    Port port;
    QVERIFY(port.open(sim.ptyPath()));

    port.send(ReadItem5);
    QCOMPARE(spaced(port.readFor(500)), QString());
    port.send(ReadItem5);
    QCOMPARE(spaced(port.readFrame()), spaced(AnswerItem5));

    const QByteArray readItem10 = hex("01 09 01 00 02 77 1F 0A 1E 35");
    port.send(readItem10);
    QCOMPARE(spaced(port.readFrame()), spaced(hex("01 0D 01 00 15 57 1F 0A 1E 77 1F 03 1E 87")));
    port.send(readItem10);
    QCOMPARE(quint8(port.readFrame().at(4)), quint8(0x15));

    QVERIFY(sim.sendCommand(QStringLiteral("clear")));
    port.send(readItem10);
    QCOMPARE(quint8(port.readFrame().at(4)), quint8(0x06));
}

void TstSimE2e::wakeUpGarbageAndBrokenFramesAreSkipped()
{
    SimProcess sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.ptyPath()));

    port.send(hex("01 01 80 7F FF 00 13") + ReadItem5);
    QCOMPARE(spaced(port.readFor(600)), spaced(AnswerItem5));
    QVERIFY(sim.waitForOutput(QStringLiteral("wake-up")));

    // A wrong check byte or a wrong header gets no answer; the next request does.
    port.send(hex("01 09 01 00 02 77 1F 05 1E 3B"));
    QCOMPARE(spaced(port.readFor(500)), QString());
    port.send(hex("01 09 01 01 02 77 1F 05 1E 39"));
    QCOMPARE(spaced(port.readFor(500)), QString());
    port.send(ReadItem5);
    QCOMPARE(spaced(port.readFrame()), spaced(AnswerItem5));

    // A frame cut short is forgotten after a pause instead of eating the next one.
    port.send(ReadItem5.left(6));
    QCOMPARE(spaced(port.readFor(500)), QString());
    port.send(ReadItem5);
    QCOMPARE(spaced(port.readFrame()), spaced(AnswerItem5));
    QVERIFY(sim.waitForOutput(QStringLiteral("dropped incomplete frame")));
}

void TstSimE2e::restartIsAcknowledgedThenGreets()
{
    SimProcess sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.ptyPath()));
    port.send(hex("01 06 01 00 02 52 A4"));
    QCOMPARE(spaced(port.readFrame()), spaced(hex("01 06 01 00 06 52 A0")));
    // The greeting comes on its own, some time after the answer.
    QCOMPARE(port.readFor(150), QByteArray());
    QCOMPARE(port.readFor(1000), QByteArray("Dunvale unit restarted\r\n"));
    QVERIFY(sim.waitForOutput(QStringLiteral("restart")));
}

void TstSimE2e::testCallAsksBufferPositionThenCalls()
{
    SimProcess sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.ptyPath()));
    const QByteArray query = hex("01 06 01 00 02 32 C4");
    port.send(query);
    QCOMPARE(spaced(port.readFrame()), spaced(hex("01 09 01 00 06 32 1F 30 1E 50")));
    port.send(query);
    QCOMPARE(spaced(port.readFrame()), spaced(hex("01 09 01 00 06 32 1F 31 1E 4F")));

    port.send(hex("01 14 01 00 02 41 1F 33 1E 31 1F 31 32 33 34 1E 33 1F 31 1E 5E"));
    QCOMPARE(spaced(port.readFrame()), spaced(hex("01 06 01 00 06 41 B1")));
    QVERIFY(sim.waitForOutput(QStringLiteral("call A=3 1=1234 3=1")));

    // A call without an address record is refused.
    port.send(hex("01 09 01 00 02 41 1F 33 1E 42"));
    QCOMPARE(quint8(port.readFrame().at(4)), quint8(0x15));
}

void TstSimE2e::startsFromSettingsFileAndSavesOnExit()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString settings = dir.filePath(QStringLiteral("start.cfg"));
    const QString saved = dir.filePath(QStringLiteral("saved.cfg"));
    const QString link = dir.filePath(QStringLiteral("com1"));
    {
        QFile file(settings);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("5    ->7\r\n150    ->Hall\xe9 -> you\r\n");
    }

    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--settings"), settings, QStringLiteral("--save-on-exit"),
                       saved, QStringLiteral("--link"), link}));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath());

    Port port;
    QVERIFY(port.open(link));
    port.send(ReadItem5);
    QCOMPARE(spaced(port.readFrame()), spaced(hex("01 0D 01 00 06 57 1F 05 1E 77 1F 07 1E 97")));
    port.send(hex("01 0D 01 00 02 57 1F 0A 1E 77 1F 02 1E 9B"));
    QCOMPARE(quint8(port.readFrame().at(4)), quint8(0x06));
    QVERIFY(sim.sendCommand(QStringLiteral("set 101 1234")));

    sim.kill();
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());

    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 251); // 250 lines and nothing after the last line end
    QCOMPARE(lines.at(5), QByteArray("5    ->7\r"));
    QCOMPARE(lines.at(10), QByteArray("10    ->2\r"));
    QCOMPARE(lines.at(101), QByteArray("101    ->1234\r"));
    QCOMPARE(lines.at(150), QByteArray("150    ->Hall\xe9 -> you\r"));
}

void TstSimE2e::keepsServingWhenItsInputEnds_data()
{
    QTest::addColumn<QString>("input"); // what standard input is
    QTest::addColumn<int>("signal");    // what stops the simulator; 0 for "quit"
    QTest::newRow("a pipe that closes, SIGTERM") << QString("closed pipe") << int(SIGTERM);
    QTest::newRow("/dev/null, SIGINT") << QString("/dev/null") << int(SIGINT);
    QTest::newRow("--no-stdin ignores the pipe") << QString("--no-stdin") << int(SIGTERM);
    QTest::newRow("a terminal not in its foreground") << QString("terminal") << int(SIGTERM);
    QTest::newRow("an open pipe, quit") << QString("open pipe") << 0;
}

// As in a script: "kestrum-sim --link ... &" runs on when its input ends or is
// no pipe, and never reads a terminal it is not in the foreground of.
void TstSimE2e::keepsServingWhenItsInputEnds()
{
    QFETCH(QString, input);
    QFETCH(int, signal);
    SimProcess sim;
    // A terminal that is not the simulator's own, so it is never in its foreground.
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    const int side = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
    if (input == QLatin1String("/dev/null"))
        sim.process().setStandardInputFile(QProcess::nullDevice());
    if (input == QLatin1String("terminal"))
        sim.process().setChildProcessModifier([side] { ::dup2(side, STDIN_FILENO); });
    QVERIFY(sim.start(input == QLatin1String("--no-stdin") ? QStringList{input} : QStringList()));
    ::close(side);
    if (input == QLatin1String("closed pipe")) {
        sim.closeInput();
        QVERIFY(sim.waitForOutput(QStringLiteral("standard input ended; still serving")));
    }
    // A command where none may be read is left unread.
    if (input == QLatin1String("--no-stdin"))
        sim.process().write("quit\n");
    else if (::write(terminal, "quit\n", 5) != 5)
        QFAIL("cannot type into the terminal");
    QVERIFY(!sim.waitForFinished(300));

    Port port;
    QVERIFY(port.open(sim.ptyPath()));
    port.send(ReadItem5);
    QCOMPARE(spaced(port.readFrame()), spaced(AnswerItem5));
    ::close(terminal);

    if (signal == 0)
        QVERIFY(sim.sendCommand(QStringLiteral("quit")));
    else
        ::kill(pid_t(sim.process().processId()), signal);
    QVERIFY(sim.waitForFinished());
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(sim.output().endsWith(QLatin1String("kestrum-sim: stopped\n")));
}

void TstSimE2e::refusesAnUnknownFault()
{
    SimProcess bad;
    QVERIFY(!bad.start({QStringLiteral("--fault"), QStringLiteral("sulky")}));
    QVERIFY(bad.waitForFinished());
    QCOMPARE(bad.exitCode(), 2);

    SimProcess sim;
    QVERIFY(sim.start());
    QVERIFY(!sim.sendCommand(QStringLiteral("fault delay")));
    QVERIFY(!sim.sendCommand(QStringLiteral("fault silent x0")));
    QVERIFY(sim.sendCommand(QStringLiteral("fault silent x2")));
}

QTEST_GUILESS_MAIN(TstSimE2e)
#include "tst_sim_e2e.moc"
