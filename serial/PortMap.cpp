#include "serial/PortMap.h"

#include <QFileInfo>

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

} // namespace

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
        if (info.exists())
            return link;
    }

    for (const PortRange &range : FixedPorts) {
        if (portNumber >= range.first && portNumber < range.first + PortsPerRange)
            return QLatin1String(range.devicePrefix) + QString::number(portNumber - range.first);
    }
    return QString();
}
