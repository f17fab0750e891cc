#include "settings/SettingsHistory.h"

#include "base/Globals.h"
#include "base/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString TimeFormat = QStringLiteral("yyyyMMdd-HHmmss");

// A snapshot is a few kilobytes; anything much larger in the folder is no snapshot.
constexpr qint64 MaxSnapshotBytes = 1024 * 1024;

const QRegularExpression &SnapshotName()
{
    static const QRegularExpression name(
        QStringLiteral("^\\d{8}-\\d{6}-(.+)-(read|written)\\.cfg$"));
    return name;
}

QString FileName(const QDateTime &when, const QString &port, Snapshot::Event event)
{
    return when.toString(TimeFormat) + QLatin1Char('-') + port + QLatin1Char('-') +
           SnapshotEventName(event) + QStringLiteral(".cfg");
}

} // namespace

QString SnapshotPortName(const QString &port)
{
    static const QRegularExpression number(QStringLiteral("^(?:com)?(\\d+)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = number.match(port); m.hasMatch())
        return QStringLiteral("com") + m.captured(1);
    QString name;
    const qsizetype scheme = port.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        // host:port, the host perhaps an IPv6 address in brackets.
        name = port.mid(scheme + 3);
        const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
        if (colon > name.lastIndexOf(QLatin1Char(']')))
            name[colon] = QLatin1Char('-');
        name.remove(QLatin1Char('['));
        name.remove(QLatin1Char(']'));
    } else {
        name = QFileInfo(port).fileName();
    }
    for (QChar &c : name) {
        const bool safe = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                          (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                          c == QLatin1Char('.') || c == QLatin1Char('-');
        if (!safe)
            c = QLatin1Char('_');
    }
    // No hidden file, and no name that is no name.
    if (name.startsWith(QLatin1Char('.')) || name.isEmpty())
        name.prepend(QLatin1Char('_'));
    return name;
}

QString SnapshotPortLabel(const QString &portName)
{
    static const QRegularExpression number(QStringLiteral("^com\\d+$"));
    if (number.match(portName).hasMatch())
        return QStringLiteral("Com") + portName.mid(3);
    return portName;
}

QString SnapshotEventName(Snapshot::Event event)
{
    return event == Snapshot::Event::Read ? QStringLiteral("read") : QStringLiteral("written");
}

int BulkDifferences(const FileValues &a, const FileValues &b)
{
    int count = 0;
    for (int item = 0; item < FileItemCount; ++item) {
        // The bulk items are all numbers.
        if (IsBulkItem(item) && a[item].asInt16() != b[item].asInt16())
            ++count;
    }
    return count;
}

SettingsHistory::SettingsHistory(const Globals &globals) : m_globals(globals) {}

QString SettingsHistory::folder() const
{
    return m_globals.ProgramFolder + QStringLiteral("/history");
}

QList<Snapshot> SettingsHistory::snapshots() const
{
    QList<Snapshot> list;
    const QDir dir(folder());
    const QStringList names =
        dir.entryList({QStringLiteral("*.cfg")}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = SnapshotName().match(name);
        if (!m.hasMatch())
            continue;
        Snapshot snapshot;
        // Read by hand: QDateTime::fromString would take most of the time of a keep
        // with a full history.
        const auto number = [&](int from, int digits) { return name.mid(from, digits).toInt(); };
        snapshot.taken = QDateTime(QDate(number(0, 4), number(4, 2), number(6, 2)),
                                   QTime(number(9, 2), number(11, 2), number(13, 2)));
        if (!snapshot.taken.isValid())
            continue;
        snapshot.path = dir.filePath(name);
        snapshot.port = m.captured(1);
        snapshot.event = m.captured(2) == QLatin1String("read") ? Snapshot::Event::Read
                                                                : Snapshot::Event::Written;
        list.append(snapshot);
    }
    return list;
}

std::optional<FileValues> SettingsHistory::valuesOf(const QString &path)
{
    QFile file(path);
    if (file.size() > MaxSnapshotBytes || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    SettingsFileLines lines;
    if (lines.takeAll(file) != TextLinesEnd::EndOfFile)
        return std::nullopt;
    return lines.values();
}

QList<SettingsHistory::Listed> SettingsHistory::listing() const
{
    QList<Listed> list;
    for (const Snapshot &snapshot : snapshots())
        list.append({snapshot, valuesOf(snapshot.path), std::nullopt, QStringLiteral("-")});
    for (qsizetype i = 0; i + 1 < list.size(); ++i) {
        Listed &entry = list[i];
        if (entry.values && list[i + 1].values)
            entry.changes = BulkDifferences(*entry.values, *list[i + 1].values);
        entry.changesText = entry.changes ? QString::number(*entry.changes) : QStringLiteral("?");
    }
    return list;
}

SettingsHistory::Kept SettingsHistory::keep(const FileValues &values, const QString &port,
                                            Snapshot::Event event, const QDateTime &when)
{
    const QString portName = SnapshotPortName(port);
    const QList<Snapshot> present = snapshots();
    for (const Snapshot &snapshot : present) {
        if (snapshot.port != portName)
            continue;
        const std::optional<FileValues> newest = valuesOf(snapshot.path);
        if (newest && BulkDifferences(*newest, values) == 0)
            return {};
        break;
    }

    if (!QDir().mkpath(folder()))
        return {QString(), QStringLiteral("cannot make the folder %1").arg(folder())};
    // Two snapshots of a port within one second: the later one takes the next free
    // second, so that the order of the names stays the order they were taken in.
    const QDir dir(folder());
    QDateTime at = when;
    QString path = dir.filePath(FileName(at, portName, event));
    while (QFileInfo::exists(path)) {
        at = at.addSecs(1);
        path = dir.filePath(FileName(at, portName, event));
    }
    std::array<Value, ItemSlots> all;
    std::copy(values.begin(), values.end(), all.begin());
    QString error;
    if (!WriteFileWhole(path, SettingsFileBytes(all), &error))
        return {QString(), path + QStringLiteral(": ") + error};
    // The first snapshot ever taken stays; of the others, the newest keptSnapshots
    // (the one just written among them).
    for (qsizetype i = std::max(keptSnapshots - 1, 0); i < present.size() - 1; ++i)
        QFile::remove(present[i].path);
    return {path, QString()};
}
