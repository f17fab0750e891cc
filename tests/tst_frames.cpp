#include "base/Globals.h"
#include "base/MessageLog.h"
#include "protocol/Frames.h"
#include "screen/Screen.h"
#include "serial/Datacom.h"
#include "serial/MemorySerialBackend.h"
#include "support/FakeClock.h"
#include "support/ScriptedConverter.h"

#include <QTest>

namespace {

// Frames never draw anything; Datacom only needs a screen to exist.
class NullScreen : public Screen
{
public:
    bool inUse(int) const override { return false; }
    void setInUse(int, bool) override {}
    bool legendShown(int) const override { return false; }
    QString legendText(int) const override { return {}; }
    QString valueText(int) const override { return {}; }
    void setValueText(int, const QString &) override {}
    void clearChoices(int) override {}
    void appendChoice(int, const QString &) override {}
    int choiceCount(int) const override { return 0; }
    QString choiceText(int, int) const override { return {}; }
    int selectedIndex(int) const override { return -1; }
    bool setSelectedIndex(int, int) override { return false; }
    void clearSelectionHighlight(int) override {}
    ControlColour colour(int) const override { return ControlColour::Unset; }
    void setColour(int, ControlColour) override {}
    bool buttonsInUse(int) const override { return false; }
    void setButtonsInUse(int, bool) override {}
    void appendProgress(const QString &) override {}
    QString progressText() const override { return {}; }
    void clearProgress() override {}
    void setProgressBar(bool, int) override {}
    bool progressBarVisible() const override { return false; }
    int progressBarValue() const override { return 0; }
    void setPortCaption(const QString &) override {}
    QString portCaption() const override { return {}; }
    void setLamp(Lamp, bool) override {}
    void UpdateMessageWindow(const std::array<QString, 25> &) override {}
    void setServiceView(bool) override {}
    void ArrangeTabs(qint16) override {}
};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

QString spaced(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// Test rows carry a setting value as a QVariant: int -> 16-bit integer (as the
// screen stores a choice), double -> floating point (as a settings file stores it),
// QString -> text.
Value toValue(const QVariant &v)
{
    if (v.typeId() == QMetaType::Int)
        return Value::int16(qint16(v.toInt()));
    if (v.typeId() == QMetaType::Double)
        return Value::number(v.toDouble());
    return Value::text(v.toString());
}

struct Rig
{
    Rig() : log(globals, clock), datacom(globals, log, backend, screen), frames(datacom)
    {
        backend.open(QStringLiteral("/dev/memory"), LineSettings{});
    }
    // Feeds an answer and runs the three phases as the engine would, one call each.
    AnswerStatus receive(const QByteArray &answer)
    {
        backend.feed(answer);
        frames.StartAnswer();
        while (!frames.ReceiveSoh()) {
            if (backend.bytesAvailable() == 0)
                return AnswerStatus::Receiving;
        }
        if (!frames.ReceiveLen())
            return AnswerStatus::Receiving;
        return frames.ReceiveData();
    }

    Globals globals;
    FakeClock clock;
    MessageLog log;
    MemorySerialBackend backend;
    NullScreen screen;
    Datacom datacom;
    Frames frames;
};

} // namespace

Q_DECLARE_METATYPE(AnswerStatus)

class TstFrames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestsGoOutByteForByte_data();
    void requestsGoOutByteForByte();
    void longestTextFitsTheEchoingAnswer();
    void refusedWritesSendNothing_data();
    void refusedWritesSendNothing();
    void everyRequestDropsStaleInputFirst();
    void wakeUpIsSentWithoutClearingAndSetsTheDelay();
    void byteThePortRefusesIsLeftOutOfTheSum();

    void answersAreTakenWhole_data();
    void answersAreTakenWhole();
    void answerSplitOverTicksIsTheSameAsWhole();
    void bytesBeforeSohAreDroppedOnePerTick();
    void lenPhaseWaitsForItsByte();
    void bytesAfterACompleteAnswerStayInTheInput();
    void tooLongAnswerStopsAtItsNinetyNinthByte();
    void startAnswerForgetsThePreviousAnswer();

    void readAnswersDecodePerItem_data();
    void readAnswersDecodePerItem();

    void aProbeAcceptsOnlyAWholeAnswerWithAck_data();
    void aProbeAcceptsOnlyAWholeAnswerWithAck();
};

void TstFrames::requestsGoOutByteForByte_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("item");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("expected");

    const QVariant none;
    QTest::newRow("read item 5") << "read" << 5 << none << 1
                                 << hex("01 09 01 00 02 77 1F 05 1E 3A");
    QTest::newRow("read item 63: the sum is 0, so is the check byte")
        << "read" << 63 << none << 1 << hex("01 09 01 00 02 77 1F 3F 1E 00");
    QTest::newRow("write CHAR 10 = 3")
        << "write" << 10 << QVariant(3) << 1 << hex("01 0D 01 00 02 57 1F 0A 1E 77 1F 03 1E 9A");
    QTest::newRow("write CHAR 10 = 3.0 from a file")
        << "write" << 10 << QVariant(3.0) << 1 << hex("01 0D 01 00 02 57 1F 0A 1E 77 1F 03 1E 9A");
    QTest::newRow("write CHAR 10 = text 3") << "write" << 10 << QVariant(QStringLiteral("3")) << 1
                                            << hex("01 0D 01 00 02 57 1F 0A 1E 77 1F 03 1E 9A");
    QTest::newRow("write CHAR 10 = 0 sends a NUL byte")
        << "write" << 10 << QVariant(0) << 1 << hex("01 0D 01 00 02 57 1F 0A 1E 77 1F 00 1E 9D");
    // The edges of the item ranges: choice index, hex digit, choice index, number, text.
    QTest::newRow("write CHAR 39 = 10 as index")
        << "write" << 39 << QVariant(10) << 1 << hex("01 0D 01 00 02 57 1F 27 1E 77 1F 0A 1E 76");
    QTest::newRow("write CHAR 78 = 10 as hex digit A")
        << "write" << 78 << QVariant(10) << 1 << hex("01 0D 01 00 02 57 1F 4E 1E 77 1F 41 1E 18");
    QTest::newRow("write CHAR 79 = 10 as index")
        << "write" << 79 << QVariant(10) << 1 << hex("01 0D 01 00 02 57 1F 4F 1E 77 1F 0A 1E 4E");
    QTest::newRow("write CHAR 99 = 10 as index")
        << "write" << 99 << QVariant(10.0) << 1 << hex("01 0D 01 00 02 57 1F 63 1E 77 1F 0A 1E 3A");
    QTest::newRow("write INT 149 = 300") << "write" << 149 << QVariant(300.0) << 1
                                         << hex("01 0E 01 00 02 57 1F 95 1E 77 1F 2C 01 1E E4");
    QTest::newRow("write CHAR 40 = 10 as hex digit A")
        << "write" << 40 << QVariant(10) << 1 << hex("01 0D 01 00 02 57 1F 28 1E 77 1F 41 1E 3E");
    QTest::newRow("write CHAR 40 = 15 as hex digit F")
        << "write" << 40 << QVariant(15) << 1 << hex("01 0D 01 00 02 57 1F 28 1E 77 1F 46 1E 39");
    QTest::newRow("write INT 100 = 300") << "write" << 100 << QVariant(300.0) << 1
                                         << hex("01 0E 01 00 02 57 1F 64 1E 77 1F 2C 01 1E 15");
    QTest::newRow("write INT 100 = 32767") << "write" << 100 << QVariant(32767.0) << 1
                                           << hex("01 0E 01 00 02 57 1F 64 1E 77 1F FF 7F 1E C4");
    QTest::newRow("write TEKST 150 = abc")
        << "write" << 150 << QVariant(QStringLiteral("abc")) << 1
        << hex("01 0F 01 00 02 57 1F 96 1E 77 1F 61 62 63 1E E9");
    QTest::newRow("write TEKST 150 empty") << "write" << 150 << QVariant(QString()) << 1
                                           << hex("01 0C 01 00 02 57 1F 96 1E 77 1F 1E 12");
    QTest::newRow("write TEKST 150 Latin-1 e-acute")
        << "write" << 150 << QVariant(QStringLiteral("\u00e9")) << 1
        << hex("01 0D 01 00 02 57 1F 96 1E 77 1F E9 1E 28");
    QTest::newRow("restart") << "restart" << 0 << none << 1 << hex("01 06 01 00 02 52 A4");
    QTest::newRow("buffer position") << "bufpos" << 0 << none << 1 << hex("01 06 01 00 02 32 C4");
    QTest::newRow("wake-up") << "wakeup" << 0 << none << 1 << hex("01 01 80 7F");
    QTest::newRow("call A3 address 1234 bleep 1")
        << "call" << 0
        << QVariant(QStringLiteral("A\x1f"
                                   "3\x1e"
                                   "1\x1f"
                                   "1234\x1e"
                                   "3\x1f"
                                   "1\x1e"))
        << 1 << hex("01 14 01 00 02 41 1F 33 1E 31 1F 31 32 33 34 1E 33 1F 31 1E 5E");
}

void TstFrames::requestsGoOutByteForByte()
{
    QFETCH(QString, request);
    QFETCH(int, item);
    QFETCH(QVariant, value);
    QFETCH(int, result);
    QFETCH(QByteArray, expected);

    Rig rig;
    int got = 1;
    if (request == QLatin1String("read"))
        got = rig.frames.SendReadRequest(item);
    else if (request == QLatin1String("write"))
        got = rig.frames.SendWriteRequest(item, toValue(value));
    else if (request == QLatin1String("restart"))
        rig.frames.SendRestart();
    else if (request == QLatin1String("bufpos"))
        rig.frames.SendBufPosQuery();
    else if (request == QLatin1String("wakeup"))
        rig.frames.SendWakeUp();
    else if (request == QLatin1String("call"))
        rig.frames.SendCall(value.toString().toLatin1());
    QCOMPARE(got, result);
    QCOMPARE(spaced(rig.backend.takeSent()), spaced(expected));
}

void TstFrames::longestTextFitsTheEchoingAnswer()
{
    Rig rig;
    const QString text(85, QLatin1Char('x'));
    QCOMPARE(rig.frames.SendWriteRequest(232, Value::text(text)), 1);
    const QByteArray sent = rig.backend.takeSent();
    QCOMPARE(sent.size(), 98);
    QCOMPARE(quint8(sent.at(1)), quint8(97));
    QCOMPARE(sent.mid(11, 85), QByteArray(85, 'x'));
    QCOMPARE(quint8(sent.at(96)), quint8(RS));
    int sum = 0;
    for (const char c : sent)
        sum += quint8(c);
    QCOMPARE(sum % 256, 0);
}

void TstFrames::refusedWritesSendNothing_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("result");

    QTest::newRow("CHAR 40 value 256") << 40 << QVariant(256) << -1;
    QTest::newRow("CHAR 78 value 1000") << 78 << QVariant(1000.0) << -1;
    QTest::newRow("CHAR 40 text that is no number") << 40 << QVariant(QStringLiteral("x")) << -1;
    QTest::newRow("CHAR 10 beyond 16 bits") << 10 << QVariant(40000.0) << -1;
    QTest::newRow("CHAR 10 nothing selected") << 10 << QVariant(-1) << -1;
    QTest::newRow("CHAR 10 value 256") << 10 << QVariant(256) << -1;
    QTest::newRow("INT -1") << 100 << QVariant(-1.0) << -1;
    QTest::newRow("INT 32768") << 100 << QVariant(32768.0) << -1;
    QTest::newRow("INT 40000") << 143 << QVariant(40000.0) << -1;
    QTest::newRow("TEKST 86 characters") << 150 << QVariant(QString(86, QLatin1Char('y'))) << -1;
    QTest::newRow("item 250") << 250 << QVariant(1) << 0;
    QTest::newRow("item -1") << -1 << QVariant(1) << 0;
}

void TstFrames::refusedWritesSendNothing()
{
    QFETCH(int, item);
    QFETCH(QVariant, value);
    QFETCH(int, result);

    Rig rig;
    rig.backend.feed(hex("06"));
    QCOMPARE(rig.frames.SendWriteRequest(item, toValue(value)), result);
    QVERIFY(rig.backend.sent.isEmpty());
    // Nothing was started, so the input is untouched too.
    QCOMPARE(rig.backend.bytesAvailable(), qint64(1));
}

void TstFrames::everyRequestDropsStaleInputFirst()
{
    Rig rig;
    int sentRequests = 0;
    QByteArray firstSeen;
    rig.backend.onWrite = [&](unsigned char) {
        if (firstSeen.isEmpty())
            firstSeen = QByteArray::number(rig.backend.bytesAvailable());
    };
    const std::function<void()> requests[] = {
        [&] { rig.frames.SendReadRequest(5); },
        [&] { rig.frames.SendWriteRequest(10, Value::int16(3)); },
        [&] { rig.frames.SendRestart(); },
        [&] { rig.frames.SendBufPosQuery(); },
        [&] { rig.frames.SendCall("A"); },
    };
    for (const auto &send : requests) {
        rig.backend.feed("stale");
        firstSeen.clear();
        send();
        ++sentRequests;
        QCOMPARE(firstSeen, QByteArray("0"));
        QCOMPARE(rig.backend.clearCount, sentRequests);
    }
}

void TstFrames::wakeUpIsSentWithoutClearingAndSetsTheDelay()
{
    Rig rig;
    int delay = 0;
    rig.frames.setDelayTicks = [&](int ticks) { delay = ticks; };
    rig.backend.feed("hello");
    rig.frames.SendWakeUp();
    QCOMPARE(delay, 10);
    QCOMPARE(rig.backend.clearCount, 0);
    QCOMPARE(rig.backend.bytesAvailable(), qint64(5));

    // Without a listener it must not fail.
    Rig bare;
    bare.frames.SendWakeUp();
    QCOMPARE(spaced(bare.backend.takeSent()), spaced(hex("01 01 80 7F")));
}

void TstFrames::byteThePortRefusesIsLeftOutOfTheSum()
{
    Rig rig;
    rig.frames.FrameChecksum = 200;
    QCOMPARE(rig.frames.SendFrameByte(100), 0);
    QCOMPARE(rig.frames.FrameChecksum, qint16(44));
    QCOMPARE(rig.frames.SendFrameByte(256), -1);
    rig.backend.failWrites = true;
    QCOMPARE(rig.frames.SendFrameByte(7), -1);
    QCOMPARE(rig.frames.FrameChecksum, qint16(44));
}

void TstFrames::answersAreTakenWhole_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<AnswerStatus>("status");
    QTest::addColumn<int>("item");

    QTest::newRow("read answer item 7")
        << hex("01 0D 01 00 06 57 1F 07 1E 77 1F 96 1E 06") << AnswerStatus::Good << 7;
    QTest::newRow("any header bytes when the sum is 0")
        << hex("01 09 AA BB CC 77 1F 05 1E 0C") << AnswerStatus::Good << 5;
    QTest::newRow("wrong check byte")
        << hex("01 0D 01 00 06 57 1F 07 1E 77 1F 96 1E 07") << AnswerStatus::ChecksumError << 7;
    QTest::newRow("six bytes carry no item")
        << hex("01 05 01 00 06 F3") << AnswerStatus::Good << -1;
    QTest::newRow("LEN 1 ends after three bytes") << hex("01 01 FE") << AnswerStatus::Good << -1;
    QTest::newRow("LEN 0 ends after three bytes") << hex("01 00 FF") << AnswerStatus::Good << -1;
    QByteArray longest = hex("01 61 01 00 06 57 1F 96 1E 77 1F");
    longest.append(QByteArray(85, 'a'));
    longest.append(hex("1E"));
    int sum = 0;
    for (const char c : longest)
        sum += quint8(c);
    longest.append(char((256 - sum % 256) % 256));
    QTest::newRow("LEN 97 is the longest that fits") << longest << AnswerStatus::Good << 150;
}

void TstFrames::answersAreTakenWhole()
{
    QFETCH(QByteArray, answer);
    QFETCH(AnswerStatus, status);
    QFETCH(int, item);

    Rig rig;
    QCOMPARE(rig.receive(answer), status);
    QCOMPARE(int(rig.frames.AnswerCount), int(answer.size()));
    QCOMPARE(rig.frames.AnswerItem(), item);
    for (int i = 0; i < answer.size(); ++i)
        QCOMPARE(int(rig.frames.AnswerBuffer[i]), int(quint8(answer.at(i))));
    QCOMPARE(int(rig.frames.AnswerBuffer[answer.size()]), -1);
}

void TstFrames::answerSplitOverTicksIsTheSameAsWhole()
{
    const QByteArray answer = hex("01 0F 01 00 06 57 1F 96 1E 77 1F 61 62 63 1E E5");
    Rig rig;
    rig.frames.StartAnswer();
    QVERIFY(!rig.frames.ReceiveSoh());
    rig.backend.feed(answer.left(1));
    QVERIFY(rig.frames.ReceiveSoh());
    QVERIFY(!rig.frames.ReceiveLen());
    rig.backend.feed(answer.mid(1, 3));
    QVERIFY(rig.frames.ReceiveLen());
    QCOMPARE(rig.frames.AnswerLength, qint16(15));
    QCOMPARE(rig.frames.ReceiveData(), AnswerStatus::Receiving);
    QCOMPARE(rig.frames.ReceiveData(), AnswerStatus::Receiving);
    for (int i = 4; i < answer.size() - 1; ++i) {
        rig.backend.feed(answer.mid(i, 1));
        QCOMPARE(rig.frames.ReceiveData(), AnswerStatus::Receiving);
    }
    rig.backend.feed(answer.right(1));
    QCOMPARE(rig.frames.ReceiveData(), AnswerStatus::Good);
    QCOMPARE(rig.frames.DecodeValue(150).asText(), QStringLiteral("abc"));
}

void TstFrames::bytesBeforeSohAreDroppedOnePerTick()
{
    Rig rig;
    rig.frames.StartAnswer();
    rig.backend.feed(hex("FF 06 01 0D"));
    QVERIFY(!rig.frames.ReceiveSoh());
    QVERIFY(!rig.frames.ReceiveSoh());
    QCOMPARE(rig.backend.bytesAvailable(), qint64(2));
    QVERIFY(rig.frames.ReceiveSoh());
    QCOMPARE(rig.frames.FrameChecksum, qint16(1));
    QCOMPARE(rig.frames.AnswerCount, qint16(1));
    QCOMPARE(rig.backend.bytesAvailable(), qint64(1));
}

void TstFrames::lenPhaseWaitsForItsByte()
{
    Rig rig;
    rig.frames.StartAnswer();
    rig.backend.feed(hex("01"));
    QVERIFY(rig.frames.ReceiveSoh());
    QVERIFY(!rig.frames.ReceiveLen());
    QCOMPARE(rig.frames.AnswerCount, qint16(1));
    // Whatever comes next is the length, also a second SOH.
    rig.backend.feed(hex("01 44"));
    QVERIFY(rig.frames.ReceiveLen());
    QCOMPARE(rig.frames.AnswerLength, qint16(1));
    QCOMPARE(rig.frames.AnswerCount, qint16(2));
    QCOMPARE(rig.backend.bytesAvailable(), qint64(1));
}

void TstFrames::bytesAfterACompleteAnswerStayInTheInput()
{
    Rig rig;
    QCOMPARE(rig.receive(hex("01 09 01 00 06 77 1F 0A 1E 31 52 65 0D 0A")), AnswerStatus::Good);
    QCOMPARE(rig.backend.bytesAvailable(), qint64(4));
    QCOMPARE(rig.frames.AnswerCount, qint16(10));
}

void TstFrames::tooLongAnswerStopsAtItsNinetyNinthByte()
{
    Rig rig;
    QByteArray answer = hex("01 FF");
    answer.append(QByteArray(97, 'z'));
    answer.append("rest");
    QCOMPARE(rig.receive(answer), AnswerStatus::TooLong);
    QCOMPARE(rig.frames.AnswerCount, qint16(99));
    QCOMPARE(rig.backend.bytesAvailable(), qint64(4));
    QCOMPARE(int(rig.frames.AnswerBuffer[98]), int('z'));
    QCOMPARE(int(rig.frames.AnswerBuffer[99]), -1);
    // Decoding such a buffer stays inside it.
    QCOMPARE(rig.frames.DecodeValue(150).asText(), QStringLiteral("-1"));
    QVERIFY(rig.frames.DecodeValue(150).isNumber());
}

void TstFrames::startAnswerForgetsThePreviousAnswer()
{
    Rig rig;
    QCOMPARE(rig.receive(hex("01 0D 01 00 06 57 1F 07 1E 77 1F 96 1E 06")), AnswerStatus::Good);
    QCOMPARE(rig.receive(hex("01 05 01 00 06 F3")), AnswerStatus::Good);
    QCOMPARE(rig.frames.AnswerItem(), -1);
    QVERIFY(rig.frames.DecodeValue(7).isNumber());
    for (int i = 6; i <= 99; ++i)
        QCOMPARE(int(rig.frames.AnswerBuffer[i]), -1);
}

void TstFrames::readAnswersDecodePerItem_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("item");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<QString>("text");

    // Each bulk item takes choice indexes up to its largest one (item 7 up to 150,
    // its ChoiceLimit; the others up to ChoiceLimit - 1); one more reads as 0.
    const std::pair<int, QList<int>> largest[] = {{3, {0}},
                                                  {9, {5, 17, 27, 37}},
                                                  {150, {7}},
                                                  {4, {10, 20, 30}},
                                                  {60, {15, 25, 35}},
                                                  {5, {26, 36}},
                                                  {1, {11, 12, 16, 21, 22, 31, 32}},
                                                  {2, {13, 14, 23, 24, 33, 34}}};
    for (const auto &[max, items] : largest) {
        for (const int item : items) {
            for (const int value : {max, max + 1}) {
                QByteArray answer = hex("01 0D 01 00 06 57 1F");
                answer.append(char(item));
                answer.append(hex("1E 77 1F"));
                answer.append(char(value));
                QTest::addRow("item %d value %d", item, value)
                    << withCheck(answer + hex("1E")) << item << false
                    << QString::number(value <= max ? value : 0);
            }
        }
    }
    QTest::newRow("item 3 is not decoded")
        << hex("01 0D 01 00 06 57 1F 03 1E 77 1F 01 1E 9F") << 3 << true << "-1";
    QTest::newRow("item 149 is not decoded")
        << hex("01 0D 01 00 06 57 1F 95 1E 77 1F 01 1E 0D") << 149 << true << "-1";
    QTest::newRow("item 249 is not decoded")
        << hex("01 0D 01 00 06 57 1F F9 1E 77 1F 06 1E A4") << 249 << true << "-1";
    QTest::newRow("INT 300") << hex("01 0E 01 00 06 57 1F 64 1E 77 1F 2C 01 1E 11") << 100 << false
                             << " 300";
    QTest::newRow("INT 0") << hex("01 0E 01 00 06 57 1F 64 1E 77 1F 00 00 1E 3E") << 100 << false
                           << " 0";
    QTest::newRow("INT 148 at 65535")
        << hex("01 0E 01 00 06 57 1F 94 1E 77 1F FF FF 1E 10") << 148 << false << " 65535";
    QTest::newRow("TEKST LEN 12 is empty")
        << hex("01 0C 01 00 06 57 1F 96 1E 77 1F 1E 0E") << 150 << false << "";
    QTest::newRow("TEKST abc") << hex("01 0F 01 00 06 57 1F 96 1E 77 1F 61 62 63 1E E5") << 150
                               << false << "abc";
    QTest::newRow("TEKST Latin-1 byte E9") << hex("01 0F 01 00 06 57 1F 97 1E 77 1F 43 61 E9 1E 7D")
                                           << 151 << false << QStringLiteral("Ca\u00e9");
    QTest::newRow("CHAR answer without value slot")
        << hex("01 09 01 00 06 77 1F 0A 1E 31") << 10 << true << "-1";
    QTest::newRow("INT answer without high byte")
        << hex("01 0B 01 00 06 57 1F 64 1E 77 1F 5F") << 100 << true << "-1";
}

void TstFrames::readAnswersDecodePerItem()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, item);
    QFETCH(bool, isNumber);
    QFETCH(QString, text);

    Rig rig;
    QCOMPARE(rig.receive(answer), AnswerStatus::Good);
    const Value v = rig.frames.DecodeValue(item);
    QCOMPARE(v.isNumber(), isNumber);
    QCOMPARE(v.isText(), !isNumber);
    QCOMPARE(v.asText(), text);
}

void TstFrames::aProbeAcceptsOnlyAWholeAnswerWithAck_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("read answer") << hex("01 0D 01 00 06 57 1F 07 1E 77 1F 96 1E 06") << true;
    QTest::newRow("after noise and a stray SOH")
        << hex("FF 01 30 01 0D 01 00 06 57 1F 07 1E 77 1F 96 1E 06") << true;
    QTest::newRow("shortest answer with ACK") << hex("01 05 01 00 06 F3") << true;
    QTest::newRow("the request echoed back") << hex("01 09 01 00 02 77 1F 00 1E 3F") << false;
    QTest::newRow("refused") << hex("01 0D 01 00 15 57 1F 07 1E 77 1F 96 1E F7") << false;
    QTest::newRow("wrong check byte") << hex("01 0D 01 00 06 57 1F 07 1E 77 1F 96 1E 07") << false;
    QTest::newRow("not whole yet") << hex("01 0D 01 00 06 57 1F 07 1E 77") << false;
    QTest::newRow("check byte where ACK would be") << hex("01 04 00 F3 06") << false;
    QByteArray tooLong = hex("01 62 01 00 06");
    tooLong.append(QByteArray(93, 'a'));
    tooLong.append(char(0x59)); // 1 + 0x62 + 1 + 6 + 93 * 0x61 + 0x59 = 0 modulo 256
    QTest::newRow("LEN 98 does not fit") << tooLong << false;
}

void TstFrames::aProbeAcceptsOnlyAWholeAnswerWithAck()
{
    QFETCH(QByteArray, received);
    QFETCH(bool, accepted);
    QCOMPARE(Frames::HoldsAcceptedAnswer(received), accepted);
}

QTEST_GUILESS_MAIN(TstFrames)
#include "tst_frames.moc"
