#pragma once

#include "serial/DeviceLock.h"
#include "serial/SerialBackend.h"

#include <QSerialPort>

// A real serial device through QSerialPort. Received bytes reach the port's buffer
// while the event loop runs (the engine polls from a timer tick, so they arrive
// between ticks); nothing here waits.
//
// A device another program holds (its lock file, its flock, its exclusive mode) is
// not opened: the open fails as "busy" and nothing reaches the device. While the
// port is open this program holds the device the same ways.
class QtSerialBackend : public SerialBackend
{
public:
    QtSerialBackend();
    ~QtSerialBackend() override;

    // Where lock files are looked for and written; tests give a folder of their own.
    void setLockFolder(const QString &folder) { m_lockFolder = folder; }

    bool open(const QString &device, const LineSettings &settings) override;
    bool close() override;
    bool isOpen() const override;
    bool writeByte(unsigned char byte) override;
    qint64 bytesAvailable() override;
    int readByte() override;
    void clearInput() override;
    QString errorString() const override { return m_error; }

private:
    // Fails an open with its reason.
    bool refuse(OpenFailure failure, const QString &error);
    void handleError(QSerialPort::SerialPortError error);
    void finishLoss();
    void closePort();

    QSerialPort m_port;
    DeviceLock m_lock;
    QString m_lockFolder = DeviceLock::SystemFolder();
    QString m_error;
    // Set from the first error that says the device is gone until the port is
    // closed for it; the port counts as closed from that moment on.
    bool m_lossPending = false;
    QString m_lossText;
    bool m_closing = false;
};
