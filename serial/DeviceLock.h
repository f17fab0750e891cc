#pragma once

#include <QString>

// The claims programs put on a serial device, and this program's own while it
// holds one. Another program holds a device when it has
// - a lock file LCK..NAME in the lock folder that names a live process (minicom, cu,
//   picocom and lockdev write the process number as "%10d\n"; QSerialPort as the
//   first line of its own lock file), NAME being the device's real name below /dev
//   with "/" written as "_" ("LCK..ttyUSB0", "LCK..pts_3");
// - an flock() on the device (picocom, pyserial's exclusive mode);
// - the device in exclusive mode (TIOCEXCL, as QSerialPort opens it).
// A device is always judged by its real name, so a link or a /dev/serial/by-id name
// cannot hide the lock of the device behind it.
class DeviceLock
{
public:
    enum class Claim {
        Taken,        // no one else holds the device; this object holds its flock now
        Busy,         // another program holds it; the device was not touched further
        NoPermission, // the user may not open the device
        Failed        // the device cannot be opened (missing, gone, ...)
    };

    // Where lock files of serial devices live: /var/lock (on Debian a link to
    // /run/lock), the folder QSerialPort takes its own lock in; /run/lock when there
    // is no /var/lock.
    static QString SystemFolder();
    // "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3: the name
    // QSerialPort gives its lock, and the other programs' for devices right in /dev.
    static QString LockFileName(const QString &realDevice);

    DeviceLock() = default;
    ~DeviceLock() { release(); }
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

    // Checks the device named by `device` (a link is followed) against the lock
    // files in `folder` before opening anything, then opens it without sending and
    // checks its exclusive mode and flock. Taken: this object holds the device's
    // flock until release(). A lock file whose process is gone is removed; no other
    // is ever touched.
    Claim claim(const QString &device, const QString &folder);
    // Once the port itself is open: the lock file names this process. QSerialPort
    // made one under the same name when it uses the same folder; that one is turned
    // into the common form in place (QSerialPort removes it when it closes), else
    // one is made. A folder that cannot be written leaves the flock alone to show it.
    void writeLockFile();
    // Removes the lock file (only while it is still the one this object wrote) and
    // lets go of the device. Call after the port itself is closed.
    void release();

    QString realDevice() const { return m_realDevice; }
    // Why the last claim was not Taken.
    QString error() const { return m_error; }

private:
    Claim busy(const QString &why);

    QString m_realDevice;
    QString m_lockPath;
    QString m_error;
    int m_deviceFd = -1;
    int m_lockFd = -1;
};
