#pragma once

#include "sim/Faults.h"
#include "sim/UnitState.h"

#include <QByteArray>
#include <QString>
#include <functional>

// The converter's side of the configuration link, without any I/O: bytes from
// the line go in through receive(), answers come out through `send` (with the
// delay in milliseconds before they go on the line) and a report line for every
// event through `report`.
//
// Frames are SOH LEN 01 00 02 data check, LEN counting SOH up to the last data
// byte and the check byte making the sum of all bytes 0. Bytes before a SOH are
// dropped; a frame whose LEN cannot be a request is dropped from its SOH on and
// the search for a SOH restarts at the next byte; a frame whose sum is wrong or
// whose header is not 01 00 02 is dropped whole and not answered. A frame that
// stays incomplete for longer than PartialTimeoutMs is forgotten, so one lost byte
// never swallows the next request. The wake-up bytes 01 01 80 7F are taken
// silently.
class Converter
{
public:
    static constexpr int PartialTimeoutMs = 250;
    static constexpr int RestartGreetingDelayMs = 300;

    explicit Converter(UnitState &state, FaultList &faults);

    void receive(const QByteArray &bytes, qint64 nowMs);

    std::function<void(const QByteArray &bytes, int delayMs)> send;
    std::function<void(const QString &line)> report;

    // For the frames this converter builds: the check byte of SOH..last data byte.
    static QByteArray withCheckByte(QByteArray frame);

private:
    void parse();
    void handleFrame(const QByteArray &frame);
    void handleRead(int item);
    void handleWrite(const QByteArray &data);
    void handleCall(const QByteArray &data);
    // A frame SOH LEN 01 00 <status> data check.
    static QByteArray answer(int status, const QByteArray &data);
    QByteArray readAnswerData(int item) const;
    // The faults of the request are taken here unless the caller took them already.
    void answerWith(QByteArray data, int item, bool refused, bool isReadAnswer,
                    const QByteArray &afterwards = {},
                    const std::vector<Fault> *takenFaults = nullptr);

    UnitState &m_state;
    FaultList &m_faults;
    QByteArray m_pending;
    qint64 m_lastByteMs = 0;
    int m_bufPos = 0;
};
