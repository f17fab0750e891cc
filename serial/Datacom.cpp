#include "serial/Datacom.h"

#include "base/TextHelpers.h"
#include "serial/NetworkAddress.h"
#include "serial/PortMap.h"

namespace {

// The line-setting code tables. A code not listed takes the last entry's
// fallback, so every caller's codes (4, 0, 1, 0) give 9600,N,8,1.
struct SpeedCode
{
    int code;
    int baudRate;
};
constexpr SpeedCode SpeedCodes[] = {{0, 300}, {1, 1200}, {2, 2400}, {3, 4800}, {5, 19200}};
constexpr int DefaultBaudRate = 9600;

int baudRateForCode(int speed)
{
    for (const SpeedCode &entry : SpeedCodes) {
        if (entry.code == speed)
            return entry.baudRate;
    }
    return DefaultBaudRate;
}

char parityForCode(int parity)
{
    switch (parity) {
    case 1:
        return 'E';
    case 2:
        return 'O';
    default:
        return 'N';
    }
}

LineSettings lineSettingsForCodes(int speed, int parity, int dataBits, int stopBits)
{
    LineSettings settings;
    settings.baudRate = baudRateForCode(speed);
    settings.parity = parityForCode(parity);
    settings.dataBits = dataBits == 0 ? 7 : 8;
    settings.stopBits = stopBits == 1 ? 2 : 1;
    return settings;
}

// A number as it appears after "Com:" and "ComPort: ": with the sign position,
// which is a blank for the port numbers 1 and up.
QString signedNumber(qint64 value)
{
    return value < 0 ? NumToText(value) : QLatin1Char(' ') + NumToText(value);
}

} // namespace

Datacom::Datacom(Globals &globals, MessageLog &log, SerialBackend &backend, PortCaption &caption)
    : m_globals(globals), m_log(log), m_backend(backend), m_caption(caption)
{
    // The backend has closed the port already; from here on it is a closed port
    // like any other, and the next request re-opens it.
    m_backend.onPortLost = [this](const QString &error) {
        m_log.WriteLog(QStringLiteral("Error on comport: ") + error);
    };
    m_backend.onOpenFinished = [this] { finishPendingOpen(); };
}

Datacom::~Datacom()
{
    // The backend may outlive this object (the program owns it); it must not call
    // back into a log that is gone.
    m_backend.onPortLost = nullptr;
    m_backend.onOpenFinished = nullptr;
}

LineSettings Datacom::LineSettingsFor(int speed, int parity, int dataBits, int stopBits)
{
    return lineSettingsForCodes(speed, parity, dataBits, stopBits);
}

QString Datacom::SettingsText(int speed, int parity, int dataBits, int stopBits)
{
    const LineSettings settings = lineSettingsForCodes(speed, parity, dataBits, stopBits);
    return QString::number(settings.baudRate) + QLatin1Char(',') + QLatin1Char(settings.parity) +
           QLatin1Char(',') + QString::number(settings.dataBits) + QLatin1Char(',') +
           QString::number(settings.stopBits);
}

int Datacom::OpenComPort(int portIndex, int speed, int parity, int dataBits, int stopBits,
                         int handshake)
{
    Q_UNUSED(handshake); // flow control is always off
    const int portNumber = portIndex + 1;
    // With a device override the path stands where the port number would.
    const QString portName = m_deviceOverride.isEmpty() ? NumToText(portNumber) : m_deviceOverride;
    const QString portLabel =
        m_deviceOverride.isEmpty() ? signedNumber(portNumber) : QLatin1Char(' ') + m_deviceOverride;

    const QString device = m_deviceOverride.isEmpty()
                               ? DeviceForPort(portNumber, m_globals.ProgramFolder)
                               : m_deviceOverride;
    const PendingOpen open{portLabel, portName, SettingsText(speed, parity, dataBits, stopBits),
                           device};
    m_pendingOpen.reset();
    if (device.isEmpty()) {
        reportOpenFailure(open, QStringLiteral("no device for Com") + NumToText(portNumber));
        return -1;
    }
    if (!m_backend.open(device, lineSettingsForCodes(speed, parity, dataBits, stopBits))) {
        // A connection under way: the port is not open yet, and its end is reported
        // when it comes.
        if (m_backend.lastOpenFailure() == SerialBackend::OpenFailure::Pending)
            m_pendingOpen = open;
        else
            reportOpenFailure(open, m_backend.errorString());
        return -1;
    }
    reportOpened(open);
    return 0;
}

void Datacom::finishPendingOpen()
{
    if (!m_pendingOpen)
        return;
    const PendingOpen open = *m_pendingOpen;
    m_pendingOpen.reset();
    if (m_backend.isOpen())
        reportOpened(open);
    else
        reportOpenFailure(open, m_backend.errorString());
}

void Datacom::reportOpened(const PendingOpen &open)
{
    m_log.WriteLog(QStringLiteral("Com:") + open.portLabel + QStringLiteral(" opened with: ") +
                   open.settingsText);
    m_caption.setPortCaption(QStringLiteral("Serial Port: ") + open.portName + QLatin1Char(' ') +
                             open.settingsText);
    if (onOpened)
        onOpened();
}

void Datacom::reportOpenFailure(const PendingOpen &open, const QString &error)
{
    // A number that leads to a network address names it, so the user sees which
    // server failed; an address given in place of the number is named already.
    const bool named = open.portName == open.device;
    const QString where = NetworkAddress::looksLikeAddress(open.device) && !named
                              ? QStringLiteral(" (") + open.device + QLatin1Char(')')
                              : QString();
    m_log.WriteLog(QStringLiteral("Error opening ComPort: ") + open.portLabel +
                   QStringLiteral("Error: ") + error + where);
}

void Datacom::CloseComPort()
{
    // A connection still under way is given up: its end would open a port no one
    // waits for any more.
    if (m_pendingOpen || m_backend.isOpening()) {
        m_pendingOpen.reset();
        m_backend.close();
    }
    // Closing a port that is not open is no failure: there is nothing to undo.
    if (!m_backend.isOpen() || m_backend.close())
        m_log.WriteLog(QStringLiteral("Comport closed by software."));
    else
        m_log.WriteLog(QStringLiteral("Error closing comport: ") + m_backend.errorString());
}

int Datacom::SendComByte(int byte)
{
    if (byte < 0 || byte > 255)
        return -1;
    // The lamp shows the attempt, whether or not the port takes the byte.
    m_globals.TxActivity = true;
    return m_backend.writeByte(static_cast<unsigned char>(byte)) ? 0 : -1;
}

int Datacom::ReadComByte()
{
    if (m_backend.bytesAvailable() < 1)
        return -1;
    m_globals.RxActivity = true;
    return m_backend.readByte();
}

void Datacom::ClearComInput()
{
    m_backend.clearInput();
}

int Datacom::IsComPortOpen()
{
    return m_backend.isOpen() ? 1 : -1;
}
