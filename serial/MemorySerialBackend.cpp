#include "serial/MemorySerialBackend.h"

bool MemorySerialBackend::open(const QString &device, const LineSettings &settings)
{
    if (failNextOpen) {
        failNextOpen = false;
        m_error = QStringLiteral("No such file or directory");
        m_openFailure = OpenFailure::Other;
        return false;
    }
    if (denyNextOpen) {
        denyNextOpen = false;
        m_error = QStringLiteral("Permission denied");
        m_openFailure = OpenFailure::NoPermission;
        return false;
    }
    if (m_open || heldElsewhere) {
        m_error = QStringLiteral("Permission error while locking the device");
        m_openFailure = OpenFailure::Busy;
        return false;
    }
    m_openFailure = OpenFailure::None;
    m_open = true;
    lastSettings = settings;
    openedDevices.append(device);
    return true;
}

bool MemorySerialBackend::close()
{
    if (failClose) {
        m_error = QStringLiteral("Input/output error");
        return false;
    }
    m_open = false;
    return true;
}

bool MemorySerialBackend::writeByte(unsigned char byte)
{
    if (!m_open || failWrites)
        return false;
    sent.append(char(byte));
    if (onWrite)
        onWrite(byte);
    return true;
}

int MemorySerialBackend::readByte()
{
    if (!m_open || m_input.isEmpty())
        return -1;
    const int byte = static_cast<unsigned char>(m_input.at(0));
    m_input.remove(0, 1);
    return byte;
}

void MemorySerialBackend::clearInput()
{
    ++clearCount;
    m_input.clear();
}

QByteArray MemorySerialBackend::takeSent()
{
    QByteArray bytes = sent;
    sent.clear();
    return bytes;
}
