#pragma once

#include "serial/MemorySerialBackend.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

// "01 0D 01" -> the three bytes.
inline QByteArray hexBytes(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

// Bytes as spaced upper-case hex, the form the expected frames are written in.
inline QString spacedHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// Appends the check byte that makes the sum of the whole frame 0 modulo 256. This is
// the converter's side of the protocol, kept apart from the program's frame code so
// that answers built with it do not depend on the code under test.
inline QByteArray withCheck(QByteArray frame)
{
    int sum = 0;
    for (const char c : frame)
        sum += static_cast<unsigned char>(c);
    frame.append(char((256 - sum % 256) % 256));
    return frame;
}

// A converter on the far side of a MemorySerialBackend: it cuts what the program
// writes into the wake-up sequence and frames (by their LEN byte), notes the tick on
// which each one was complete, and queues whatever `answer` returns for it.
class ScriptedConverter
{
public:
    struct Received
    {
        QByteArray bytes;
        int tick;
    };

    ScriptedConverter(MemorySerialBackend &port, const int &tick) : m_port(port), m_tick(tick)
    {
        m_port.onWrite = [this](unsigned char byte) { take(byte); };
    }

    // Gets each complete request frame (never the wake-up); returns the bytes to
    // send back, nothing for silence.
    std::function<QByteArray(const QByteArray &request)> answer;

    QList<Received> received;

    // The received frames and wake-ups as spaced hex.
    QStringList receivedHex() const
    {
        QStringList all;
        for (const Received &r : received)
            all.append(spacedHex(r.bytes));
        return all;
    }
    QList<int> receivedTicks() const
    {
        QList<int> all;
        for (const Received &r : received)
            all.append(r.tick);
        return all;
    }
    // Bytes written that do not (yet) form a frame.
    QByteArray pending() const { return m_pending; }

private:
    void take(unsigned char byte)
    {
        m_pending.append(char(byte));
        if (static_cast<unsigned char>(m_pending.at(0)) != 0x01) {
            // Not the start of a frame: kept as a stray byte of its own.
            received.append({m_pending, m_tick});
            m_pending.clear();
            return;
        }
        if (m_pending.size() < 2)
            return;
        const int len = static_cast<unsigned char>(m_pending.at(1));
        // LEN 1 is the wake-up sequence 01 01 80 7F; it is never answered.
        const int frameSize = len < 5 ? 4 : len + 1;
        if (m_pending.size() < frameSize)
            return;
        const QByteArray frame = m_pending;
        m_pending.clear();
        received.append({frame, m_tick});
        if (len >= 5 && answer) {
            const QByteArray reply = answer(frame);
            if (!reply.isEmpty())
                m_port.feed(reply);
        }
    }

    MemorySerialBackend &m_port;
    const int &m_tick;
    QByteArray m_pending;
};
