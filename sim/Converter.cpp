#include "sim/Converter.h"

namespace {

constexpr char SOH = 0x01;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr char US = 0x1F;
constexpr char RS = 0x1E;
constexpr int MinRequestLen = 6; // header and one command byte

// Printable form of line bytes for the report: Latin-1 text, control bytes as <XX>.
QString printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            text += QStringLiteral("<%1>").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        else
            text += QChar(char16_t(b));
    }
    return text;
}

QString hexDump(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

Converter::Converter(UnitState &state, FaultList &faults) : m_state(state), m_faults(faults) {}

QByteArray Converter::withCheckByte(QByteArray frame)
{
    unsigned sum = 0;
    for (const char c : frame)
        sum += static_cast<unsigned char>(c);
    frame.append(char((256 - sum % 256) % 256));
    return frame;
}

QByteArray Converter::answer(int status, const QByteArray &data)
{
    QByteArray frame;
    frame.append(SOH);
    frame.append(char((5 + data.size()) & 0xFF));
    frame.append(char(0x01));
    frame.append(char(0x00));
    frame.append(char(status));
    frame.append(data);
    return withCheckByte(frame);
}

void Converter::receive(const QByteArray &bytes, qint64 nowMs)
{
    if (!m_pending.isEmpty() && nowMs - m_lastByteMs > PartialTimeoutMs) {
        if (report)
            report(QStringLiteral("dropped incomplete frame: %1").arg(hexDump(m_pending)));
        m_pending.clear();
    }
    m_lastByteMs = nowMs;
    m_pending.append(bytes);
    parse();
}

void Converter::parse()
{
    for (;;) {
        const int soh = m_pending.indexOf(SOH);
        if (soh < 0) {
            if (!m_pending.isEmpty() && report)
                report(QStringLiteral("ignored bytes: %1").arg(hexDump(m_pending)));
            m_pending.clear();
            return;
        }
        if (soh > 0) {
            if (report)
                report(QStringLiteral("ignored bytes: %1").arg(hexDump(m_pending.left(soh))));
            m_pending.remove(0, soh);
        }
        if (m_pending.size() < 2)
            return;
        const int len = static_cast<unsigned char>(m_pending.at(1));
        if (len == 1) {
            // SOH 01 can only start the wake-up sequence.
            if (m_pending.size() < 4)
                return;
            if (m_pending.at(2) == char(0x80) && m_pending.at(3) == char(0x7F)) {
                m_pending.remove(0, 4);
                if (report)
                    report(QStringLiteral("wake-up"));
                continue;
            }
        }
        if (len < MinRequestLen) {
            m_pending.remove(0, 1);
            continue;
        }
        if (m_pending.size() < len + 1)
            return;
        const QByteArray frame = m_pending.left(len + 1);
        m_pending.remove(0, len + 1);
        handleFrame(frame);
    }
}

void Converter::handleFrame(const QByteArray &frame)
{
    unsigned sum = 0;
    for (const char c : frame)
        sum += static_cast<unsigned char>(c);
    if (sum % 256 != 0) {
        if (report)
            report(QStringLiteral("bad check byte: %1").arg(hexDump(frame)));
        return;
    }
    if (frame.at(2) != 0x01 || frame.at(3) != 0x00 || frame.at(4) != 0x02) {
        if (report)
            report(QStringLiteral("bad header: %1").arg(hexDump(frame)));
        return;
    }
    const QByteArray data = frame.mid(5, frame.size() - 6);
    const char command = data.at(0);
    if (command == 'w' && data.size() == 4 && data.at(1) == US && data.at(3) == RS) {
        handleRead(static_cast<unsigned char>(data.at(2)));
    } else if (command == 'W') {
        handleWrite(data);
    } else if (command == 'R' && data.size() == 1) {
        if (report)
            report(QStringLiteral("restart"));
        answerWith(data, -1, false, false, "Dunvale unit restarted\r\n");
    } else if (command == '2' && data.size() == 1) {
        const int position = m_bufPos;
        m_bufPos = (m_bufPos + 1) % 10;
        if (report)
            report(QStringLiteral("buffer position %1").arg(position));
        QByteArray reply("2");
        reply.append(US);
        reply.append(char('0' + position));
        reply.append(RS);
        answerWith(reply, -1, false, false);
    } else if (command == 'A') {
        handleCall(data);
    } else {
        if (report)
            report(QStringLiteral("unknown request: %1").arg(hexDump(frame)));
        answerWith(data.left(1), -1, true, false);
    }
}

QByteArray Converter::readAnswerData(int item) const
{
    // The layout of the write request for the same item.
    QByteArray data("W");
    data.append(US);
    data.append(char(item));
    data.append(RS);
    data.append('w');
    data.append(US);
    if (UnitState::isHexDigitItem(item)) {
        data.append(QByteArray::number(m_state.number(item), 16).toUpper().left(1));
    } else if (UnitState::isChar(item)) {
        data.append(char(m_state.number(item)));
    } else if (UnitState::isInt(item)) {
        data.append(char(m_state.number(item) & 0xFF));
        data.append(char((m_state.number(item) >> 8) & 0xFF));
    } else {
        data.append(m_state.text(item));
    }
    data.append(RS);
    return data;
}

void Converter::handleRead(int item)
{
    if (report)
        report(QStringLiteral("read item %1").arg(item));
    if (!UnitState::exists(item)) {
        answerWith(QByteArray("w"), item, true, true);
        return;
    }
    answerWith(readAnswerData(item), item, false, true);
}

void Converter::handleWrite(const QByteArray &data)
{
    // "W" US n RS "w" US value RS
    const bool shaped = data.size() >= 7 && data.at(1) == US && data.at(3) == RS &&
                        data.at(4) == 'w' && data.at(5) == US && data.endsWith(RS);
    const int item = shaped ? static_cast<unsigned char>(data.at(2)) : -1;
    const QByteArray value = shaped ? data.mid(6, data.size() - 7) : QByteArray();
    QString why;
    if (!shaped)
        why = QStringLiteral("not a write record");
    else if (!UnitState::exists(item))
        why = QStringLiteral("no item %1").arg(item);
    else if (UnitState::isChar(item) && value.size() != 1)
        why = QStringLiteral("CHAR item %1 needs one value byte").arg(item);
    else if (UnitState::isInt(item) && value.size() != 2)
        why = QStringLiteral("INT item %1 needs two value bytes").arg(item);
    else if (UnitState::isText(item) && value.size() > UnitState::MaxTextLength)
        why = QStringLiteral("text of item %1 too long").arg(item);
    else if (UnitState::isHexDigitItem(item) && hexDigitValue(value.at(0)) < 0)
        why = QStringLiteral("item %1 needs a hexadecimal digit").arg(item);
    if (!why.isEmpty()) {
        if (report)
            report(QStringLiteral("refused write: %1: %2").arg(why, hexDump(data)));
        answerWith(data, item, true, false);
        return;
    }

    const std::vector<Fault> faults = m_faults.take(item, true);
    const Fault *storeOther = nullptr;
    bool refuse = false;
    for (const Fault &f : faults) {
        if (f.mode == Fault::Mode::StoreOther)
            storeOther = &f;
        refuse = refuse || f.mode == Fault::Mode::NakWrite;
    }
    if (refuse) {
        answerWith(data, item, true, false, {}, &faults);
        return;
    }
    int number = 0;
    if (UnitState::isHexDigitItem(item))
        number = hexDigitValue(value.at(0));
    else if (UnitState::isChar(item))
        number = static_cast<unsigned char>(value.at(0));
    else if (UnitState::isInt(item))
        number =
            static_cast<unsigned char>(value.at(0)) + 256 * static_cast<unsigned char>(value.at(1));
    if (UnitState::isText(item))
        m_state.setText(item, storeOther ? value + "+" : value);
    else if (storeOther)
        m_state.setNumber(item, storeOther->arg >= 0
                                    ? storeOther->arg
                                    : (number + 1) % (UnitState::isHexDigitItem(item) ? 16
                                                      : UnitState::isChar(item)       ? 256
                                                                                      : 65536));
    else
        m_state.setNumber(item, number);
    if (report)
        report(QStringLiteral("write item %1 = %2")
                   .arg(item)
                   .arg(UnitState::isText(item) ? printable(m_state.text(item))
                                                : m_state.display(item)));
    answerWith(data, item, false, false, {}, &faults);
}

void Converter::handleCall(const QByteArray &data)
{
    // Records "id" US value RS, the first one "A" with the buffer position and one
    // "1" with the pager address.
    QStringList records;
    bool wellFormed = data.endsWith(RS);
    bool hasAddress = false;
    const QList<QByteArray> parts = data.left(data.size() - 1).split(RS);
    for (const QByteArray &record : parts) {
        const int us = record.indexOf(US);
        if (us <= 0) {
            wellFormed = false;
            break;
        }
        const QByteArray id = record.left(us);
        if (id == "1")
            hasAddress = true;
        records << printable(id) + QLatin1Char('=') + printable(record.mid(us + 1));
    }
    wellFormed = wellFormed && hasAddress && data.startsWith(QByteArray("A") + US);
    if (!wellFormed) {
        if (report)
            report(QStringLiteral("refused call: %1").arg(hexDump(data)));
        answerWith(data.left(1), -1, true, false);
        return;
    }
    if (report)
        report(QStringLiteral("call ") + records.join(QLatin1Char(' ')));
    answerWith(data.left(1), -1, false, false);
}

void Converter::answerWith(QByteArray data, int item, bool refused, bool isReadAnswer,
                           const QByteArray &afterwards, const std::vector<Fault> *takenFaults)
{
    const std::vector<Fault> faults = takenFaults ? *takenFaults : m_faults.take(item);
    int delayMs = 0;
    bool silent = false, checksum = false, stopAfterLen = false, tooLong = false, noise = false;
    for (const Fault &f : faults) {
        if (report)
            report(QStringLiteral("fault: ") + f.describe());
        switch (f.mode) {
        case Fault::Mode::Silent:
            silent = true;
            break;
        case Fault::Mode::Nak:
            refused = true;
            break;
        case Fault::Mode::Checksum:
            checksum = true;
            break;
        case Fault::Mode::StopAfterLen:
            stopAfterLen = true;
            break;
        case Fault::Mode::TooLong:
            tooLong = true;
            break;
        case Fault::Mode::OtherItem:
            if (item >= 0) {
                const int other = f.arg >= 0 ? f.arg : (item + 1) % 256;
                // A read answer carries the other item's value; any other answer only
                // its number.
                if (isReadAnswer && UnitState::exists(other))
                    data = readAnswerData(other);
                else if (data.size() > 2)
                    data[2] = char(other);
            }
            break;
        case Fault::Mode::Noise:
            noise = true;
            break;
        case Fault::Mode::Delay:
            delayMs += f.arg;
            break;
        case Fault::Mode::StoreOther:
            break; // the write stored the other value already
        case Fault::Mode::NakWrite:
            break; // the write was refused already
        }
    }
    if (silent)
        return;
    if (tooLong && data.size() < 120) {
        // Padding after the value keeps the start of the answer readable.
        data.append(QByteArray(120 - data.size(), 'x'));
    }
    QByteArray frame = answer(refused ? NAK : ACK, data);
    if (checksum)
        frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
    if (stopAfterLen)
        frame = frame.left(2);
    if (noise)
        frame.prepend(QByteArray("\xFF\x00noise\x80\x06\x15", 10));
    if (send) {
        send(frame, delayMs);
        if (!afterwards.isEmpty() && !refused && !stopAfterLen)
            send(afterwards, delayMs + RestartGreetingDelayMs);
    }
}
