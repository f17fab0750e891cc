#include "sim/SerialLine.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Answers nobody reads are dropped beyond this, so a program that never reads
// cannot make the simulator grow without bound.
constexpr int MaxQueued = 64 * 1024;

QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

bool makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace

SerialLine::~SerialLine()
{
    delete m_readNotifier;
    delete m_writeNotifier;
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

bool SerialLine::openPty(QString *error)
{
    m_fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_fd < 0 || grantpt(m_fd) != 0 || unlockpt(m_fd) != 0) {
        *error = errnoText("cannot create a pseudo-terminal");
        return false;
    }
    const char *name = ptsname(m_fd);
    if (!name) {
        *error = errnoText("cannot name the pseudo-terminal");
        return false;
    }
    m_path = QString::fromLocal8Bit(name);
    m_slaveFd = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slaveFd < 0 || !makeRaw(m_slaveFd)) {
        *error = errnoText("cannot set up the pseudo-terminal");
        return false;
    }
    start();
    return true;
}

bool SerialLine::openDevice(const QString &path, QString *error)
{
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        *error = errnoText(qPrintable(QStringLiteral("cannot open %1").arg(path)));
        return false;
    }
    if (isatty(m_fd) && !makeRaw(m_fd)) {
        *error = errnoText(qPrintable(QStringLiteral("cannot set up %1").arg(path)));
        return false;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    start();
    return true;
}

void SerialLine::start()
{
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SerialLine::readAvailable);
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SerialLine::flush);
}

void SerialLine::readAvailable()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            Q_EMIT received(QByteArray(buffer, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        // End of file or a device that went away: nothing more will come.
        m_readNotifier->setEnabled(false);
        Q_EMIT failed(n == 0 ? QStringLiteral("the line was closed") : errnoText("read failed"));
        return;
    }
}

void SerialLine::write(const QByteArray &bytes)
{
    if (m_fd < 0)
        return;
    const int room = MaxQueued - int(m_out.size());
    m_out.append(bytes.left(std::max(room, 0)));
    flush();
}

void SerialLine::flush()
{
    while (!m_out.isEmpty()) {
        const ssize_t n = ::write(m_fd, m_out.constData(), size_t(m_out.size()));
        if (n > 0) {
            m_out.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            // The other side cannot take anything; what is queued is lost.
            m_out.clear();
        }
        break;
    }
    m_writeNotifier->setEnabled(!m_out.isEmpty());
}
