#include "protocol/Frames.h"

#include "base/TextHelpers.h"
#include "serial/Datacom.h"

// Theory of operation
//
// A request is SOH LEN 01 00 02 data check. LEN counts the bytes from SOH up to the
// last data byte; the check byte makes the 8-bit sum of the whole frame zero. The
// header and data go through SendFrameByte so that a byte the port refuses is left
// out of the running sum as well; the check byte goes to the port directly.
//
// An answer is taken in three phases, each driven by one engine tick: SOH (one
// byte per tick, anything else dropped), LEN (one byte per tick) and data (all
// that has arrived). The buffer holds 101 slots; a slot that was never received
// keeps -1. Decoding reads only fixed slots and treats a slot that never arrived
// as "no value", so a short or broken answer can never be read past its end.

namespace {

constexpr int HeaderLength = 5; // SOH LEN 01 00 02
constexpr int MaxLen = 255;     // LEN is one byte
constexpr int TooLongCount = 98;
static_assert(MaxTextLength + 13 == TooLongCount, "the echo of a text write must fit an answer");

bool isChar(int item)
{
    return item >= 0 && item <= 99;
}
bool isInt(int item)
{
    return item >= 100 && item <= 149;
}

// The largest choice index the converter may report for a bulk CHAR item; -1 for
// items whose read answer is not decoded.
int decodeLimit(int item)
{
    switch (item) {
    case 0:
        return 3;
    case 5:
    case 17:
    case 27:
    case 37:
        return 9;
    case 7:
        return 150;
    case 10:
    case 20:
    case 30:
        return 4;
    case 11:
    case 12:
    case 16:
    case 21:
    case 22:
    case 31:
    case 32:
        return 1;
    case 13:
    case 14:
    case 23:
    case 24:
    case 33:
    case 34:
        return 2;
    case 15:
    case 25:
    case 35:
        return 60;
    case 26:
    case 36:
        return 5;
    default:
        return -1;
    }
}

// A setting value as the 16-bit number the converter stores: the value as text,
// read as a number, rounded. No value when it does not fit 16 bits.
std::optional<qint16> numberOf(const Value &value)
{
    return Value::number(TextToNumber(value.asText())).asInt16();
}

} // namespace

Frames::Frames(Datacom &datacom) : m_datacom(datacom)
{
    AnswerBuffer.fill(-1);
}

void Frames::AddToChecksum(int byte)
{
    int sum = FrameChecksum + (byte & 0xFF);
    if (sum >= 256)
        sum -= 256;
    FrameChecksum = qint16(sum);
}

int Frames::SendFrameByte(int byte)
{
    if (m_datacom.SendComByte(byte) < 0)
        return -1;
    AddToChecksum(byte);
    return 0;
}

void Frames::SendWakeUp()
{
    // Not a request: no ClearComInput, and whatever the converter says back is
    // dropped by the next request's ClearComInput.
    m_datacom.SendComByte(SOH);
    m_datacom.SendComByte(0x01);
    FrameChecksum = 1;
    SendFrameByte(0x80);
    m_datacom.SendComByte(0x7F);
    if (setDelayTicks)
        setDelayTicks(10);
}

QByteArray Frames::requestFrame(const QByteArray &data)
{
    const int len = HeaderLength + int(data.size());
    // Callers keep their frames within one LEN byte; a longer one is never put on
    // the line with a wrapped length.
    if (len > MaxLen)
        return QByteArray();
    QByteArray frame;
    frame.append(char(SOH));
    frame.append(char(len));
    frame.append(char(0x01));
    frame.append(char(0x00));
    frame.append(char(0x02));
    frame.append(data);
    int sum = 0;
    for (const char c : frame)
        sum += static_cast<unsigned char>(c);
    frame.append(char((256 - sum % 256) % 256));
    return frame;
}

void Frames::sendFrame(const QByteArray &data)
{
    const QByteArray frame = requestFrame(data);
    if (frame.isEmpty())
        return;
    m_datacom.ClearComInput();
    FrameChecksum = 0;
    for (qsizetype i = 0; i + 1 < frame.size(); ++i)
        SendFrameByte(static_cast<unsigned char>(frame.at(i)));
    // The check byte covers what the port took: a refused byte is out of the sum.
    m_datacom.SendComByte(FrameChecksum == 0 ? 0 : 256 - FrameChecksum);
}

QByteArray Frames::readRequestData(int item)
{
    const int n = UnitItemNumber(item);
    // The item number travels as one byte.
    if (n < 0 || n > 255)
        return QByteArray();
    QByteArray data;
    data.append('w');
    data.append(char(US));
    data.append(char(n));
    data.append(char(RS));
    return data;
}

int Frames::SendReadRequest(int item)
{
    const QByteArray data = readRequestData(item);
    if (data.isEmpty())
        return -1;
    sendFrame(data);
    return 1;
}

QByteArray Frames::WakeUpSequence()
{
    return QByteArrayLiteral("\x01\x01\x80\x7F");
}

QByteArray Frames::ReadRequestFrame(int item)
{
    const QByteArray data = readRequestData(item);
    return data.isEmpty() ? QByteArray() : requestFrame(data);
}

bool Frames::HoldsAcceptedAnswer(const QByteArray &bytes)
{
    const auto byteAt = [&bytes](qsizetype i) { return static_cast<unsigned char>(bytes.at(i)); };
    for (qsizetype start = bytes.indexOf(char(SOH)); start >= 0 && start + 1 < bytes.size();
         start = bytes.indexOf(char(SOH), start + 1)) {
        const int len = byteAt(start + 1);
        // ACK sits at offset 4, among the bytes LEN counts; the whole answer must
        // fit the 98 bytes the engine takes in.
        if (len < HeaderLength || len + 1 > TooLongCount || start + len >= bytes.size())
            continue;
        int sum = 0;
        for (qsizetype i = start; i <= start + len; ++i)
            sum += byteAt(i);
        if (sum % 256 == 0 && byteAt(start + 4) == ACK)
            return true;
    }
    return false;
}

int Frames::SendWriteRequest(int item, const Value &value)
{
    if (item < 0 || item > 249)
        return 0;
    const int n = UnitItemNumber(item);
    if (n < 0 || n > 255)
        return -1;

    QByteArray data;
    data.append('W');
    data.append(char(US));
    data.append(char(n));
    data.append(char(RS));
    data.append('w');
    data.append(char(US));

    if (isChar(item)) {
        int v;
        if (item >= 40 && item <= 78) {
            // 16-step codes (bleep codes and the like) travel as one hexadecimal digit.
            const std::optional<qint16> code = value.asInt16();
            if (!code || *code >= 256)
                return -1;
            v = HexText(*code).at(0).unicode();
        } else {
            const std::optional<qint16> index = numberOf(value);
            if (!index)
                return -1;
            v = *index;
        }
        // A value that is no byte (a choice list with nothing selected holds -1)
        // would leave the frame one byte short; it is refused like any value the
        // converter cannot take.
        if (v < 0 || v > 255)
            return -1;
        data.append(char(v));
    } else if (isInt(item)) {
        const std::optional<qint16> number = numberOf(value);
        if (!number || *number < 0)
            return -1;
        data.append(char(*number & 0xFF));
        data.append(char((*number >> 8) & 0xFF));
    } else {
        const QString text = value.asText();
        if (text.size() > MaxTextLength)
            return -1;
        // Characters outside Latin-1 cannot be sent; they go as "?".
        data.append(text.toLatin1());
    }
    data.append(char(RS));
    sendFrame(data);
    return 1;
}

void Frames::SendRestart()
{
    sendFrame(QByteArrayLiteral("R"));
}

void Frames::SendBufPosQuery()
{
    sendFrame(QByteArrayLiteral("2"));
}

void Frames::SendCall(const QByteArray &callText)
{
    sendFrame(callText);
}

void Frames::StartAnswer()
{
    AnswerBuffer.fill(-1);
    AnswerCount = 0;
}

bool Frames::ReceiveSoh()
{
    const int byte = m_datacom.ReadComByte();
    if (byte != SOH)
        return false;
    FrameChecksum = 1;
    AnswerBuffer[0] = SOH;
    AnswerCount = 1;
    return true;
}

bool Frames::ReceiveLen()
{
    const int byte = m_datacom.ReadComByte();
    if (byte < 0)
        return false;
    AddToChecksum(byte);
    if (AnswerCount >= 0 && AnswerCount < int(AnswerBuffer.size()))
        AnswerBuffer[AnswerCount] = qint16(byte);
    AnswerLength = qint16(byte);
    ++AnswerCount;
    return true;
}

AnswerStatus Frames::ReceiveData()
{
    for (;;) {
        const int byte = m_datacom.ReadComByte();
        if (byte < 0)
            return AnswerStatus::Receiving;
        AddToChecksum(byte);
        if (AnswerCount >= 0 && AnswerCount < int(AnswerBuffer.size()))
            AnswerBuffer[AnswerCount] = qint16(byte);
        ++AnswerCount;
        if (AnswerCount > TooLongCount)
            return AnswerStatus::TooLong;
        if (AnswerCount > AnswerLength)
            return FrameChecksum == 0 ? AnswerStatus::Good : AnswerStatus::ChecksumError;
    }
}

Value Frames::DecodeValue(int item) const
{
    // A slot outside the buffer reads like one that never arrived.
    const auto slot = [this](int index) -> int {
        if (index < 0 || index >= int(AnswerBuffer.size()))
            return -1;
        return AnswerBuffer[index];
    };
    const Value notDecodable = Value::int16(-1);

    // Every value slot must have arrived: an answer that stops before its value is
    // as undecodable as an item the program does not read.
    const int limit = decodeLimit(item);
    if (limit >= 0) {
        const int v = slot(11);
        if (v < 0)
            return notDecodable;
        return Value::text(NumToText(v <= limit ? v : 0));
    }
    if (item >= 100 && item <= 148) {
        const int low = slot(11);
        const int high = slot(12);
        if (low < 0 || high < 0)
            return notDecodable;
        return Value::text(QLatin1Char(' ') + NumToText(high * 256 + low));
    }
    if (item >= 150 && item <= 248) {
        const int len = slot(1);
        if (len < 0)
            return notDecodable;
        QString text;
        for (int i = 11; i <= len - 2; ++i) {
            const int c = slot(i);
            if (c < 0)
                return notDecodable;
            text.append(QChar(char16_t(c)));
        }
        return Value::text(text);
    }
    return notDecodable;
}
