#include "serial/QtSerialBackend.h"

#include "serial/PortMap.h"

#include <QMetaObject>

#include <poll.h>

namespace {

// True when the device behind the descriptor has hung up or failed: the other
// end of a pseudo-terminal closed, an adapter pulled.
bool hungUp(int descriptor)
{
    pollfd fd{descriptor, POLLIN, 0};
    if (::poll(&fd, 1, 0) < 0)
        return false;
    return (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

QtSerialBackend::QtSerialBackend()
{
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) { handleError(error); });
    QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] {
        if (onBytesArrived)
            onBytesArrived();
    });
}

QtSerialBackend::~QtSerialBackend()
{
    // The port's own close at destruction must not reach handleError, whose
    // members are gone by then.
    QObject::disconnect(&m_port, nullptr, nullptr, nullptr);
    m_port.close();
    m_lock.release();
}

bool QtSerialBackend::open(const QString &device, const LineSettings &settings)
{
    // A loss noticed but not yet handled is finished first, so the port is free.
    finishLoss();
    // Changing the settings of the open port would retune the line under it.
    if (m_port.isOpen())
        return refuse(OpenFailure::Other, QStringLiteral("Device is already open"));

    switch (m_lock.claim(device, m_lockFolder)) {
    case DeviceLock::Claim::Taken:
        break;
    case DeviceLock::Claim::Busy:
        return refuse(OpenFailure::Busy, m_lock.error());
    case DeviceLock::Claim::NoPermission:
        return refuse(OpenFailure::NoPermission, m_lock.error());
    case DeviceLock::Claim::Failed:
        return refuse(OpenFailure::Other, m_lock.error());
    }

    // By its real name, so that QSerialPort's own lock file is named after the
    // device as the other programs name theirs.
    m_port.setPortName(m_lock.realDevice());
    m_port.setBaudRate(settings.baudRate);
    m_port.setDataBits(settings.dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8);
    m_port.setParity(settings.parity == 'E'   ? QSerialPort::EvenParity
                     : settings.parity == 'O' ? QSerialPort::OddParity
                                              : QSerialPort::NoParity);
    m_port.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);

    // QSerialPort puts the line in raw mode: every byte value, NUL included, passes
    // unchanged and no character ends the input.
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_lock.release();
        // QSerialPort says "permission" both for another program's lock (or the
        // device's exclusive mode) and for a device the user may not open; only
        // the second is a matter of the user's rights.
        if (m_port.error() != QSerialPort::PermissionError)
            return refuse(OpenFailure::Other, m_port.errorString());
        return refuse(LacksPermission(device) ? OpenFailure::NoPermission : OpenFailure::Busy,
                      m_port.errorString());
    }
    m_lock.writeLockFile();
    m_openFailure = OpenFailure::None;
    // A pseudo-terminal or a three-wire adapter has no modem lines; failing to
    // switch RTS off there is no reason to refuse the port.
    m_port.setRequestToSend(false);
    m_port.clearError();
    m_error.clear();
    return true;
}

bool QtSerialBackend::refuse(OpenFailure failure, const QString &error)
{
    m_openFailure = failure;
    m_error = error;
    return false;
}

bool QtSerialBackend::close()
{
    if (m_lossPending) {
        finishLoss();
        return true;
    }
    if (!m_port.isOpen())
        return true;
    closePort();
    if (m_port.error() != QSerialPort::NoError) {
        m_error = m_port.errorString();
        return false;
    }
    return true;
}

bool QtSerialBackend::isOpen() const
{
    return m_port.isOpen() && !m_lossPending;
}

bool QtSerialBackend::writeByte(unsigned char byte)
{
    if (!isOpen())
        return false;
    const char c = static_cast<char>(byte);
    if (m_port.write(&c, 1) != 1) {
        m_error = m_port.errorString();
        return false;
    }
    // QSerialPort otherwise hands the byte to the device only when the event loop
    // runs next; the converter should see it now.
    m_port.flush();
    return true;
}

qint64 QtSerialBackend::bytesAvailable()
{
    return isOpen() ? m_port.bytesAvailable() : 0;
}

int QtSerialBackend::readByte()
{
    if (!isOpen())
        return -1;
    char c = 0;
    if (m_port.read(&c, 1) != 1)
        return -1;
    return static_cast<unsigned char>(c);
}

void QtSerialBackend::clearInput()
{
    if (isOpen())
        m_port.clear(QSerialPort::Input);
}

void QtSerialBackend::handleError(QSerialPort::SerialPortError error)
{
    // Errors while opening belong to open(); "unsupported" comes from the modem
    // lines of a pseudo-terminal and leaves the port usable.
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        break;
    default:
        return;
    }
    if (!m_port.isOpen() || m_lossPending || m_closing)
        return;

    // The device is gone (an adapter pulled, the other end of a pseudo-terminal
    // closed). QSerialPort keeps reporting this as long as the port is open, many
    // times a second, so the port is closed on the first report. The close waits
    // for the event loop: this runs inside QSerialPort's own notification.
    m_lossPending = true;
    // A hung-up line reads as end of file, which QSerialPort reports with whatever
    // the last system error happened to be; name the real cause instead.
    m_lossText = hungUp(m_port.handle()) ? QStringLiteral("Device disconnected (line hung up)")
                                         : m_port.errorString();
    QMetaObject::invokeMethod(
        &m_port, [this] { finishLoss(); }, Qt::QueuedConnection);
}

void QtSerialBackend::finishLoss()
{
    if (!m_lossPending)
        return;
    // Restoring the line settings of a vanished device fails; that says nothing new.
    closePort();
    m_port.clearError();
    m_lossPending = false;
    m_error = m_lossText;
    if (onPortLost)
        onPortLost(m_lossText);
}

void QtSerialBackend::closePort()
{
    // QSerialPort reports failures of its close through errorOccurred too; they
    // belong to this close, not to a device that went away.
    m_closing = true;
    m_port.clearError();
    m_port.close();
    m_closing = false;
    m_lock.release();
}
