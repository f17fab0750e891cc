#include "serial/DeviceLock.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What a lock file says of its holder.
struct LockFile
{
    bool exists = false;
    qint64 pid = -1; // -1: no process number can be read from it
};

LockFile readLockFile(const QString &path)
{
    LockFile lock;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        lock.exists = QFileInfo::exists(path) || QFileInfo(path).isSymLink();
        return lock;
    }
    lock.exists = true;
    const QByteArray text = file.read(128);
    // Old programs write the number as four bytes in the machine's order, the rest
    // as text (with or without blanks before it), QSerialPort as its first line.
    const bool digits =
        !text.trimmed().isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= '0' && c <= '9') || c == ' ' || c == '\n';
        });
    if (text.size() == 4 && !digits) {
        qint32 pid = 0;
        std::memcpy(&pid, text.constData(), sizeof pid);
        lock.pid = pid;
    } else {
        bool ok = false;
        const qint64 pid = text.left(text.indexOf('\n')).trimmed().toLongLong(&ok);
        lock.pid = ok ? pid : -1;
    }
    if (lock.pid <= 0 || lock.pid > std::numeric_limits<qint32>::max())
        lock.pid = -1;
    return lock;
}

// A process that exists, whoever it belongs to.
bool isAlive(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace

QString DeviceLock::SystemFolder()
{
    return QFileInfo(QStringLiteral("/var/lock")).isDir() ? QStringLiteral("/var/lock")
                                                          : QStringLiteral("/run/lock");
}

QString DeviceLock::LockFileName(const QString &realDevice)
{
    QString name = realDevice;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

DeviceLock::Claim DeviceLock::busy(const QString &why)
{
    if (m_deviceFd >= 0)
        ::close(m_deviceFd);
    m_deviceFd = -1;
    m_error = why;
    return Claim::Busy;
}

DeviceLock::Claim DeviceLock::claim(const QString &device, const QString &folder)
{
    release();
    m_error.clear();
    const QString real = QFileInfo(device).canonicalFilePath();
    m_realDevice = real.isEmpty() ? device : real;

    // The lock files first, before the device is opened at all. Programs that name
    // the lock after the device's last part alone differ from ours only for devices
    // in a folder below /dev.
    QStringList names{LockFileName(m_realDevice)};
    const QString shortName = QStringLiteral("LCK..") + QFileInfo(m_realDevice).fileName();
    if (!names.contains(shortName))
        names << shortName;
    for (const QString &name : names) {
        const QString path = folder + QLatin1Char('/') + name;
        const LockFile lock = readLockFile(path);
        if (!lock.exists)
            continue;
        if (lock.pid < 0)
            return busy(QStringLiteral("%1 is in use: its lock file %2 holds no process number")
                            .arg(m_realDevice, path));
        if (isAlive(lock.pid))
            return busy(QStringLiteral("%1 is in use by process %2 (lock file %3)")
                            .arg(m_realDevice)
                            .arg(lock.pid)
                            .arg(path));
        // Its process is gone: the lock is stale, and anyone may remove it. One in
        // a folder this user may not write holds no one back either.
        QFile::remove(path);
    }
    m_lockPath = folder + QLatin1Char('/') + names.first();

    // Opening a terminal sends nothing; the device's own claims are seen only on an
    // open one.
    const QByteArray path = QFile::encodeName(m_realDevice);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EBUSY)
            return busy(QStringLiteral("%1 is in use by another program (it has the device to "
                                       "itself)")
                            .arg(m_realDevice));
        m_error = systemError(error);
        return error == EACCES || error == EPERM ? Claim::NoPermission : Claim::Failed;
    }
    m_deviceFd = fd;
    // The owner of an exclusive terminal keeps others out, except the superuser.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        return busy(QStringLiteral("%1 is in use by another program (it has the device to itself)")
                        .arg(m_realDevice));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return busy(QStringLiteral("%1 is in use by another program (it holds a lock on the "
                                   "device)")
                        .arg(m_realDevice));
    return Claim::Taken;
}

void DeviceLock::writeLockFile()
{
    if (m_deviceFd < 0 || m_lockFd >= 0)
        return;
    const QByteArray path = QFile::encodeName(m_lockPath);
    const QByteArray text = QByteArray::number(qint64(::getpid())).rightJustified(10, ' ') + '\n';
    int fd = -1;
    if (readLockFile(m_lockPath).pid == ::getpid()) {
        // QSerialPort's own, made by this open: rewritten over its first bytes, then
        // cut, so that at every moment it starts with this process's number.
        fd = ::open(path.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && (::pwrite(fd, text.constData(), size_t(text.size()), 0) != text.size() ||
                        ::ftruncate(fd, text.size()) != 0)) {
            ::close(fd);
            fd = -1;
        }
    } else {
        fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 && ::write(fd, text.constData(), size_t(text.size())) != text.size()) {
            ::close(fd);
            ::unlink(path.constData());
            fd = -1;
        }
    }
    m_lockFd = fd;
}

void DeviceLock::release()
{
    if (m_lockFd >= 0) {
        // Only the file this object wrote: a lock made since under the same name
        // belongs to someone else.
        const QByteArray path = QFile::encodeName(m_lockPath);
        struct stat mine = {}, there = {};
        if (::fstat(m_lockFd, &mine) == 0 && ::lstat(path.constData(), &there) == 0 &&
            mine.st_dev == there.st_dev && mine.st_ino == there.st_ino)
            ::unlink(path.constData());
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    if (m_deviceFd >= 0) {
        ::close(m_deviceFd);
        m_deviceFd = -1;
    }
}
