#pragma once

#include "base/Value.h"

#include <QByteArray>
#include <array>
#include <functional>

class Datacom;

// Frame bytes.
constexpr int SOH = 0x01;
constexpr int ACK = 0x06;
constexpr int US = 0x1F;
constexpr int RS = 0x1E;

// The longest text a write can carry. The converter echoes a write in its answer, and
// an answer of more than 98 bytes is never taken: 13 frame bytes leave 85 characters.
constexpr int MaxTextLength = 85;

// Where an answer stands after one tick of its data phase.
enum class AnswerStatus {
    Receiving,     // more bytes are needed
    Good,          // complete, sum 0
    ChecksumError, // complete, sum not 0
    TooLong        // more than 98 bytes
};

// Requests, the wake-up sequence and the answer buffer (the frame part of module
// Interface). Every request is SOH LEN 01 00 02 data check; the converter answers
// each with one frame of the same shape.
class Frames
{
public:
    explicit Frames(Datacom &datacom);

    qint16 FrameChecksum = 0;
    std::array<qint16, 101> AnswerBuffer{};
    qint16 AnswerLength = 0;
    qint16 AnswerCount = 0;

    // Called by SendWakeUp with 10: the engine's DelayTicks.
    std::function<void(int ticks)> setDelayTicks;

    void AddToChecksum(int byte);
    int SendFrameByte(int byte);
    void SendWakeUp();
    // 1 when sent, -1 when the converter has no such item.
    int SendReadRequest(int item);
    // 1 sent; -1 refused (nothing sent); 0 item outside 0..249 (nothing sent).
    int SendWriteRequest(int item, const Value &value);
    // The frames of the restart, the buffer-position query and the test call.
    void SendRestart();
    void SendBufPosQuery();
    void SendCall(const QByteArray &callText);

    static int UnitItemNumber(int item) { return item; }

    // Whole frames for a caller that writes to a port of its own (the converter
    // search probes many devices at once, none of them the program's port).
    static QByteArray WakeUpSequence();
    // The read request of item; empty when the converter has no such item.
    static QByteArray ReadRequestFrame(int item);
    // True when the bytes hold a whole answer that the converter accepted: SOH, a
    // LEN that fits the answer buffer, the check byte that makes the sum 0 and ACK
    // at offset 4. Bytes before an SOH (noise, an echo) are passed over.
    static bool HoldsAcceptedAnswer(const QByteArray &bytes);

    // Reception, one engine tick at a time.
    void StartAnswer();         // slots 0..99 := -1, AnswerCount := 0
    bool ReceiveSoh();          // reads at most one byte; true when it was SOH
    bool ReceiveLen();          // reads at most one byte; true when one arrived
    AnswerStatus ReceiveData(); // takes all that has arrived

    // Slot 7 of a read answer: the item it is about (-1 when not received).
    int AnswerItem() const { return AnswerBuffer[7]; }
    // The value of a read answer for item as text, or the number -1 when the item
    // cannot be decoded.
    Value DecodeValue(int item) const;

private:
    static QByteArray readRequestData(int item);
    static QByteArray requestFrame(const QByteArray &data);
    void sendFrame(const QByteArray &data);
    Datacom &m_datacom;
};
