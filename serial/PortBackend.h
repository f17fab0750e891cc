#pragma once

#include "serial/NetworkSerialBackend.h"
#include "serial/QtSerialBackend.h"

// The program's port: each open goes to a serial device through QtSerialBackend, or,
// for a network address ("tcp://...", "rfc2217://..."), to a serial device server
// through NetworkSerialBackend. The lock files and flocks of serial devices are the
// devices' business only; an address has none.
class PortBackend : public SerialBackend
{
public:
    PortBackend();
    ~PortBackend() override;

    // Where lock files of serial devices are looked for and written.
    void setLockFolder(const QString &folder) { m_serial.setLockFolder(folder); }

    bool open(const QString &device, const LineSettings &settings) override;
    bool close() override { return m_active->close(); }
    bool isOpen() const override { return m_active->isOpen(); }
    bool isOpening() const override { return m_active->isOpening(); }
    bool writeByte(unsigned char byte) override { return m_active->writeByte(byte); }
    qint64 bytesAvailable() override { return m_active->bytesAvailable(); }
    int readByte() override { return m_active->readByte(); }
    void clearInput() override { m_active->clearInput(); }
    QString errorString() const override { return m_active->errorString(); }

private:
    void forward(SerialBackend &inner);

    QtSerialBackend m_serial;
    NetworkSerialBackend m_network;
    SerialBackend *m_active = &m_serial;
};
