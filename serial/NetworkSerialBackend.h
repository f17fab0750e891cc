#pragma once

#include "serial/SerialBackend.h"

#include <memory>

class NetworkLink;

// A converter behind a serial device server on the network, reached at an address
// "tcp://HOST:PORT" (raw: every byte passes as it is) or "rfc2217://HOST:PORT"
// (Telnet with the serial-port option: the line is set to the given settings and
// every confirmation awaited). The program only ever connects; it never listens.
//
// Opening never waits: open() starts the connection and returns false with
// lastOpenFailure() Pending; the port counts as not open until the connection (at
// most ConnectMs) and, for RFC 2217, the negotiation (at most NegotiateMs more)
// have succeeded. Then onOpenFinished is called, with isOpen() true, or false and
// errorString() naming the cause in words (refused, unreachable, name not found,
// time-out, what the server refused).
//
// A port closed and opened again at once, before the event loop runs (as every
// request of the engine does), keeps its connection, as a serial line stays where
// it is: no server is asked to drop and make the connection again for each request.
// Only the address and the settings must be the same; the connection may pass from
// one port object to another (the converter search takes over the program's
// connection this way). Once the event loop runs, a closed port's connection ends.
class NetworkSerialBackend : public SerialBackend
{
public:
    static constexpr int ConnectMs = 3000;
    static constexpr int NegotiateMs = 3000;

    NetworkSerialBackend();
    ~NetworkSerialBackend() override;

    bool open(const QString &device, const LineSettings &settings) override;
    bool close() override;
    bool isOpen() const override;
    bool isOpening() const override;
    bool writeByte(unsigned char byte) override;
    qint64 bytesAvailable() override;
    int readByte() override;
    void clearInput() override;
    QString errorString() const override { return m_error; }

private:
    void attach();
    void retire();

    std::unique_ptr<NetworkLink> m_link;
    QString m_error;
};
