#pragma once

#include "settings/SettingsFiles.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

struct Globals;

// One full set of a converter's settings kept in the history: a settings file whose
// bulk items are what the converter held, named
//     YYYYMMDD-HHMMSS-PORT-EVENT.cfg
// so that a listing in name order is in time order.
struct Snapshot
{
    enum class Event { Read, Written };

    QString path;
    QDateTime taken; // to the second, as the name says
    QString port;    // as in the name: "com3", "ttyUSB0", "10.0.0.7-4001"
    Event event = Event::Read;

    // "2026-12-07 14:02:31"
    QString takenText() const { return taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }
};

// The name a port has in a snapshot's file name: "com3" for the port Com3 (given as
// "Com3"), a device's base name, a network address's host and port; whatever a file
// name cannot hold becomes "_".
QString SnapshotPortName(const QString &port);
// A port of a snapshot as the user names it: "Com3" for "com3", else as it stands.
QString SnapshotPortLabel(const QString &portName);
QString SnapshotEventName(Snapshot::Event event);

// How many of the bulk items differ between two sets of values, compared as the
// frames would carry them to the converter.
int BulkDifferences(const FileValues &a, const FileValues &b);

// The history of every converter's settings, in the folder history/ of the program
// folder: a snapshot each time the program learnt the whole set of bulk settings a
// converter holds. Writing it never stops the work it records: a failure is only
// reported back.
class SettingsHistory
{
public:
    // Besides the first snapshot ever taken, which is never removed.
    static constexpr int KeptSnapshots = 1000;

    explicit SettingsHistory(const Globals &globals);

    QString folder() const;
    // Every snapshot, newest first.
    QList<Snapshot> snapshots() const;
    // The values of a snapshot; none when it cannot be read.
    static std::optional<FileValues> valuesOf(const QString &path);

    struct Listed
    {
        Snapshot snapshot;
        std::optional<FileValues> values;
        // How many bulk settings differ from the snapshot before it; none for the
        // oldest and where either cannot be read.
        std::optional<int> changes;
        // The same as the history lists it: "-" for the oldest, "?" where unknown.
        QString changesText;
    };
    // Every snapshot with its values, newest first.
    QList<Listed> listing() const;

    struct Kept
    {
        QString path;  // the snapshot written; "" when none was
        QString error; // why none could be written; "" when it was, or not needed
    };
    // Keeps values as a snapshot of port, unless its bulk items equal those of the
    // newest snapshot of the same port; then removes the oldest ones beyond the
    // first and the newest keptSnapshots.
    Kept keep(const FileValues &values, const QString &port, Snapshot::Event event,
              const QDateTime &when);

    int keptSnapshots = KeptSnapshots;

private:
    const Globals &m_globals;
};
