#pragma once

#include <QString>
#include <functional>

// Line settings applied when a port is opened.
struct LineSettings
{
    int baudRate = 9600;
    char parity = 'N'; // 'N', 'E' or 'O'
    int dataBits = 8;
    int stopBits = 1;

    bool operator==(const LineSettings &) const = default;
};

// The byte-level port under Datacom. QtSerialBackend talks to a real device,
// NetworkSerialBackend to a serial device server, PortBackend to either by the name
// it opens; MemorySerialBackend keeps everything in memory for tests and fuzzing.
// None of the calls may block.
class SerialBackend
{
public:
    // Why the last open failed, as far as the user can act on it.
    enum class OpenFailure {
        None,
        Busy,         // another program holds the device (its lock, or the device's own)
        NoPermission, // the user may not open the device
        NoConnection, // a network server could not be reached or refused the serial line
        Pending,      // still connecting: onOpenFinished follows
        Other
    };

    virtual ~SerialBackend() = default;

    // Opens the device with flow control off and RTS off; false with errorString()
    // set when the device cannot be opened. Failing to switch RTS on a device
    // without modem lines does not fail the open. An open that needs time (a
    // network connection) returns false with lastOpenFailure() Pending and ends
    // later in onOpenFinished.
    virtual bool open(const QString &device, const LineSettings &settings) = 0;
    // True while an open is still under way; close() gives it up.
    virtual bool isOpening() const { return false; }
    // False with errorString() set when closing failed.
    virtual bool close() = 0;
    virtual bool isOpen() const = 0;
    // False when the byte could not be handed to the port.
    virtual bool writeByte(unsigned char byte) = 0;
    virtual qint64 bytesAvailable() = 0;
    // The next received byte 0..255, or -1 when none is waiting.
    virtual int readByte() = 0;
    // Drops everything received and not yet read.
    virtual void clearInput() = 0;
    virtual QString errorString() const = 0;
    // Set by every open: None after a success.
    OpenFailure lastOpenFailure() const { return m_openFailure; }

    // Called once when the device behind an open port went away; the backend has
    // closed the port already.
    std::function<void(const QString &error)> onPortLost;
    // Called when received bytes are waiting (a backend that cannot tell never calls
    // it); a program that lets its engine sleep wakes it here.
    std::function<void()> onBytesArrived;
    // Called when an open that was Pending has ended: the port is open now, or
    // lastOpenFailure() and errorString() say why not.
    std::function<void()> onOpenFinished;

protected:
    OpenFailure m_openFailure = OpenFailure::None;
};
