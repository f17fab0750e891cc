#pragma once

#include "serial/SerialBackend.h"

#include <QByteArray>
#include <QStringList>

// A port that lives in memory: what the program writes collects in `sent`, what the
// "converter" says is queued with feed(). For tests, fuzzing and benchmarks.
class MemorySerialBackend : public SerialBackend
{
public:
    bool open(const QString &device, const LineSettings &settings) override;
    bool close() override;
    bool isOpen() const override { return m_open; }
    bool writeByte(unsigned char byte) override;
    qint64 bytesAvailable() override { return m_input.size(); }
    int readByte() override;
    void clearInput() override;
    QString errorString() const override { return m_error; }

    // Bytes the converter sends; they wait until read or cleared.
    void feed(const QByteArray &bytes)
    {
        m_input.append(bytes);
        if (onBytesArrived && !bytes.isEmpty())
            onBytesArrived();
    }
    QByteArray takeSent();

    QByteArray sent;           // everything written since the last takeSent()
    QStringList openedDevices; // every device opened, in order
    LineSettings lastSettings;
    bool failNextOpen = false;  // the next open fails with "No such file or directory"
    bool denyNextOpen = false;  // the next open fails with "Permission denied"
    bool heldElsewhere = false; // opens fail as for a device another program holds
    bool failWrites = false;    // writes are refused
    bool failClose = false;     // close fails with "Input/output error", the port stays open
    int clearCount = 0;         // how often the input was cleared

    // Called after each byte written: a scripted converter can answer here.
    std::function<void(unsigned char byte)> onWrite;

private:
    bool m_open = false;
    QByteArray m_input;
    QString m_error;
};
