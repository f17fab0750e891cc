#include "app/ConverterFinder.h"

#include "app/Kestrum.h"

#include <algorithm>

namespace {

// "Com3 (/dev/ttyUSB2)", or the path alone for a device without a number; what is
// in brackets is the device itself with every link followed.
QString deviceLabel(const PortDevice &device, const QString &note = QString())
{
    const QString inside =
        note.isEmpty() ? device.systemPath : device.systemPath + QStringLiteral(", ") + note;
    if (device.portNumber == 0)
        return note.isEmpty() ? device.systemPath
                              : device.systemPath + QStringLiteral(" (") + note + QLatin1Char(')');
    return QStringLiteral("Com%1 (%2)").arg(device.portNumber).arg(inside);
}

} // namespace

ConverterFinder::ConverterFinder(const Kestrum &app)
    : m_map(app.portMap()), m_sysTtyFolder(app.portSources.sysTtyFolder),
      m_named(app.searchDevices), m_search(app.probePorts, Kestrum::ConverterLineSettings())
{
}

QList<PortDevice> ConverterFinder::devicesToTry() const
{
    const QList<PortDevice> present = m_map.presentDevices();
    QList<PortDevice> devices;
    if (m_named.isEmpty()) {
        // What a link names the user has named; the rest may not be a place to
        // send anything.
        for (const PortDevice &d : present) {
            if (d.linked || !SearchLeavesAlone(d.systemPath, m_sysTtyFolder))
                devices.append(d);
        }
        return devices;
    }
    // Only the named devices, in the same order: with a number in number order,
    // then the others in path order.
    QList<PortDevice> others;
    for (const QString &path : m_named) {
        const PortDevice named = m_map.describe(path);
        const auto same = [&named](const PortDevice &d) {
            return d.systemPath == named.systemPath;
        };
        if (std::any_of(devices.begin(), devices.end(), same) ||
            std::any_of(others.begin(), others.end(), same))
            continue;
        // A device no number reaches keeps the name the user gave it.
        const auto it = std::find_if(present.begin(), present.end(), same);
        if (it != present.end() && it->portNumber > 0)
            devices.append(*it);
        else
            others.append(named);
    }
    const auto byNumber = [](const PortDevice &a, const PortDevice &b) {
        return a.portNumber < b.portNumber;
    };
    const auto byPath = [](const PortDevice &a, const PortDevice &b) {
        return a.device < b.device;
    };
    std::sort(devices.begin(), devices.end(), byNumber);
    std::sort(others.begin(), others.end(), byPath);
    return devices + others;
}

void ConverterFinder::start()
{
    m_devices = devicesToTry();
    QStringList paths;
    // Each device is opened by the path its number opens, as the program would
    // open it, so another program's lock on that path is seen.
    for (const PortDevice &device : m_devices)
        paths << device.device;
    m_search.start(paths);
}

void ConverterFinder::tick()
{
    m_search.tick();
}

void ConverterFinder::stop()
{
    m_search.stop();
}

QList<ConverterFinder::Tried> ConverterFinder::tried() const
{
    QList<Tried> list;
    const std::vector<ConverterSearch::Probe> &probes = m_search.probes();
    for (qsizetype i = 0; i < m_devices.size() && size_t(i) < probes.size(); ++i)
        list.append({m_devices.at(i), probes[size_t(i)].outcome});
    return list;
}

std::optional<ConverterFinder::Found> ConverterFinder::found() const
{
    // The list runs in number order and puts the devices without a number last.
    for (const Tried &t : tried()) {
        if (t.outcome != Outcome::Converter)
            continue;
        Found f;
        f.device = t.device;
        f.portNumber = t.device.portNumber;
        if (f.portNumber == 0) {
            f.portNumber = m_map.freeNumber();
            f.needsLink = f.portNumber != 0;
        }
        return f;
    }
    return std::nullopt;
}

QString ConverterFinder::progressText() const
{
    QStringList trying;
    for (const Tried &t : tried()) {
        if (t.outcome == Outcome::Trying)
            trying << deviceLabel(t.device);
    }
    return trying.isEmpty() ? QString()
                            : QStringLiteral("Trying ") + trying.join(QStringLiteral(", "));
}

QString ConverterFinder::resultText() const
{
    if (const std::optional<Found> f = found()) {
        if (f->portNumber == 0)
            return QStringLiteral("Converter found on %1, but every Com number is taken")
                .arg(f->device.systemPath);
        const QString text = QStringLiteral("Converter found on Com%1 (%2)")
                                 .arg(f->portNumber)
                                 .arg(f->device.systemPath);
        if (!f->needsLink)
            return text;
        return text + QStringLiteral("; Save links ports/com%1 to it").arg(f->portNumber);
    }
    QStringList labels;
    for (const Tried &t : tried()) {
        const bool plain = t.outcome == Outcome::NoAnswer || t.outcome == Outcome::Trying;
        labels << deviceLabel(t.device, plain ? QString() : outcomeWord(t.outcome));
    }
    return QStringLiteral("No converter answered. Tried: ") +
           (labels.isEmpty() ? QStringLiteral("no serial device is present")
                             : labels.join(QStringLiteral(", ")));
}

QStringList ConverterFinder::detectLines() const
{
    QStringList lines;
    for (const Tried &t : tried()) {
        const PortDevice &d = t.device;
        const QString number =
            d.portNumber ? QStringLiteral("Com%1").arg(d.portNumber) : QStringLiteral("-");
        const QString description = d.description.isEmpty() ? QStringLiteral("-") : d.description;
        lines << number + QLatin1Char('\t') + d.device + QLatin1Char('\t') + description +
                     QLatin1Char('\t') + outcomeWord(t.outcome);
    }
    return lines;
}

bool ConverterFinder::linkFound(const Found &found, QString *error) const
{
    if (!found.needsLink)
        return true;
    return m_map.writeLink(found.portNumber, found.device.device, error);
}

QString ConverterFinder::outcomeWord(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Converter:
        return QStringLiteral("converter");
    case Outcome::NoPermission:
        return QStringLiteral("no permission");
    case Outcome::Busy:
        return QStringLiteral("busy");
    case Outcome::NoConnection:
        return QStringLiteral("no connection");
    case Outcome::NoAnswer:
    case Outcome::Trying:
        break;
    }
    return QStringLiteral("no answer");
}
