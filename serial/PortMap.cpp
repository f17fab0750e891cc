#include "serial/PortMap.h"

#include "serial/NetworkAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSerialPortInfo>
#include <QSet>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

struct PortRange
{
    int first; // first port number of the range
    const char *devicePrefix;
};

// Ten ports per range; the last digit of the device counts from 0.
constexpr PortRange FixedPorts[] = {
    {1, "/dev/ttyUSB"},
    {11, "/dev/ttyACM"},
    {21, "/dev/ttyS"},
};
constexpr int PortsPerRange = 10;

// The address a plain file ports/comN holds, or "" when it holds none. Only its
// first line counts, and only a short one.
QString addressInFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString line = QString::fromUtf8(file.readLine(512)).trimmed();
    return NetworkAddress::looksLikeAddress(line) ? line : QString();
}

QString canonical(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

} // namespace

QString FixedDeviceForPort(int portNumber)
{
    for (const PortRange &range : FixedPorts) {
        if (portNumber >= range.first && portNumber < range.first + PortsPerRange)
            return QLatin1String(range.devicePrefix) + QString::number(portNumber - range.first);
    }
    return QString();
}

QString DeviceForPort(int portNumber, const QString &programFolder)
{
    if (portNumber < 1)
        return QString();

    // A link ports/comN in the program folder names the device for that number,
    // so any device (a pseudo-terminal, a by-id path) can stand in for a port.
    // A dangling link still wins: opening it then fails with the device's own
    // error instead of silently opening some other port.
    if (!programFolder.isEmpty()) {
        const QString link =
            programFolder + QStringLiteral("/ports/com") + QString::number(portNumber);
        const QFileInfo info(link);
        if (info.isSymLink())
            return info.symLinkTarget();
        if (info.isFile()) {
            if (const QString address = addressInFile(link); !address.isEmpty())
                return address;
        }
        if (info.exists())
            return link;
    }
    return FixedDeviceForPort(portNumber);
}

bool LacksPermission(const QString &device)
{
    const QByteArray path = QFile::encodeName(device);
    return QFileInfo::exists(device) && ::access(path.constData(), R_OK | W_OK) != 0;
}

bool SearchLeavesAlone(const QString &systemPath, const QString &sysTtyFolder)
{
    const QString name = QFileInfo(systemPath).fileName();
    if (name.startsWith(QLatin1String("rfcomm")))
        return true;
    if (!name.startsWith(QLatin1String("ttyS")))
        return false;
    QFile type(sysTtyFolder + QLatin1Char('/') + name + QStringLiteral("/type"));
    return type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0";
}

QString PortDevice::summary() const
{
    QStringList known;
    for (const QString &text : {description, manufacturer})
        if (!text.isEmpty())
            known << text;
    if (!serialNumber.isEmpty())
        known << QStringLiteral("serial ") + serialNumber;
    if (known.isEmpty())
        known << QStringLiteral("no description from the system");
    return systemPath + QStringLiteral(" \u2014 ") + known.join(QStringLiteral(", "));
}

PortMap::PortMap(const QString &programFolder, PortSources sources)
    : m_folder(programFolder), m_sources(std::move(sources))
{
}

QString PortMap::linkPath(int portNumber) const
{
    return m_folder + QStringLiteral("/ports/com") + QString::number(portNumber);
}

bool PortMap::isLink(int portNumber) const
{
    // As for the mapping: a plain file named like the link counts too, and so
    // does a link that leads nowhere.
    const QFileInfo info(linkPath(portNumber));
    return !m_folder.isEmpty() && (info.isSymLink() || info.exists());
}

const QList<SystemPort> &PortMap::systemPorts() const
{
    // Asking the system takes a while; one map asks once.
    if (m_systemPorts)
        return *m_systemPorts;
    if (m_sources.systemPorts) {
        m_systemPorts = m_sources.systemPorts();
        return *m_systemPorts;
    }
    m_systemPorts.emplace();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        m_systemPorts->append(
            {info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
    return *m_systemPorts;
}

QString PortMap::byIdNameOf(const QString &systemPath) const
{
    const QDir folder(m_sources.byIdFolder);
    const QFileInfoList names =
        folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &name : names) {
        if (name.canonicalFilePath() == systemPath)
            return name.absoluteFilePath();
    }
    return QString();
}

PortDevice PortMap::describe(const QString &device) const
{
    PortDevice d;
    d.device = device;
    if (NetworkAddress::looksLikeAddress(device)) {
        d.network = true;
        d.present = true;
        d.systemPath = device;
        d.description = QStringLiteral("network serial server");
        return d;
    }
    d.present = !device.isEmpty() && QFileInfo::exists(device);
    d.systemPath = d.present ? canonical(device) : device;
    if (!d.present)
        return d;
    d.noPermission = LacksPermission(device);
    d.byIdName = byIdNameOf(d.systemPath);
    for (const SystemPort &port : systemPorts()) {
        if (canonical(port.path) == d.systemPath) {
            d.description = port.description;
            d.manufacturer = port.manufacturer;
            d.serialNumber = port.serialNumber;
            break;
        }
    }
    return d;
}

PortDevice PortMap::port(int portNumber) const
{
    PortDevice d = describe(DeviceForPort(portNumber, m_folder));
    d.portNumber = portNumber;
    d.linked = isLink(portNumber);
    return d;
}

QList<PortDevice> PortMap::presentDevices() const
{
    QList<PortDevice> numbered;
    QSet<QString> seen;
    // A link is how the user named a device; it beats the fixed table's number.
    for (const bool links : {true, false}) {
        for (int n = 1; n <= PortCount; ++n) {
            if (isLink(n) != links)
                continue;
            const PortDevice d = port(n);
            if (d.present && !seen.contains(d.systemPath)) {
                seen.insert(d.systemPath);
                numbered.append(d);
            }
        }
    }
    std::sort(numbered.begin(), numbered.end(),
              [](const PortDevice &a, const PortDevice &b) { return a.portNumber < b.portNumber; });

    QList<PortDevice> others;
    for (const SystemPort &port : systemPorts()) {
        const PortDevice d = describe(port.path);
        if (d.present && !seen.contains(d.systemPath)) {
            seen.insert(d.systemPath);
            others.append(d);
        }
    }
    std::sort(others.begin(), others.end(),
              [](const PortDevice &a, const PortDevice &b) { return a.device < b.device; });
    return numbered + others;
}

int PortMap::freeNumber() const
{
    for (int n = 1; n <= PortCount; ++n) {
        if (!isLink(n) && !QFileInfo::exists(FixedDeviceForPort(n)))
            return n;
    }
    return 0;
}

bool PortMap::writeLink(int portNumber, const QString &target, QString *error) const
{
    const auto failed = [error](const QString &what) {
        if (error)
            *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    };
    if (!QDir(m_folder).mkpath(QStringLiteral("ports")))
        return failed(QStringLiteral("cannot make the folder ") + m_folder +
                      QStringLiteral("/ports"));
    // A fresh link beside the old one, renamed over it: at every moment the number
    // leads either to the old device or to the new one. The fresh link's name is
    // this call's own, so two programs saving at once cannot take each other's.
    const QString link = linkPath(portNumber);
    if (NetworkAddress::looksLikeAddress(target))
        return writeAddress(link, target, error);
    const QByteArray targetName = QFile::encodeName(target);
    QByteArray fresh;
    for (;;) {
        fresh = QFile::encodeName(
            link + QStringLiteral(".%1-%2.new")
                       .arg(::getpid())
                       .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        if (::symlink(targetName.constData(), fresh.constData()) == 0)
            break;
        if (errno != EEXIST)
            return failed(QStringLiteral("cannot make the link ") + link);
    }
    if (::rename(fresh.constData(), QFile::encodeName(link).constData()) != 0) {
        const QString message = QStringLiteral("cannot replace the link ") + link;
        const int cause = errno;
        ::unlink(fresh.constData());
        errno = cause;
        return failed(message);
    }
    return true;
}

bool PortMap::writeAddress(const QString &link, const QString &address, QString *error) const
{
    // A new file beside the old entry, renamed over it: the entry (a link to a
    // device, or an older address) is replaced, never written through.
    QTemporaryFile file(link + QStringLiteral(".XXXXXX.new"));
    const QByteArray line = address.toUtf8() + '\n';
    const bool written = file.open() && file.write(line) == line.size() && file.flush() &&
                         ::fsync(file.handle()) == 0;
    if (!written) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(link, file.errorString());
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(link).constData()) != 0) {
        if (error)
            *error = QStringLiteral("cannot replace %1: %2")
                         .arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    file.setAutoRemove(false);
    return true;
}
