// What keeping a snapshot of a converter's settings costs once the history is full:
// 1,000 snapshots present (and the first one), each new one differs from the newest,
// so every keep lists the folder, reads the newest, writes one file and removes the
// oldest beyond the limit. Prints the median and the slowest time per snapshot.
//
//     history_cost [SNAPSHOTS]     (default 200)

#include "base/Globals.h"
#include "settings/SettingsHistory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 200;

    QTemporaryDir folder;
    Globals globals;
    globals.ProgramFolder = folder.path();
    SettingsHistory history(globals);
    FileValues values = *SettingsFileLines().values();
    for (int item = 150; item < FileItemCount; ++item)
        values[item] = Value::text(QStringLiteral("A text of the default file, item %1").arg(item));
    QDateTime when(QDate(2026, 12, 7), QTime(10, 0, 0));
    const auto keep = [&](int n) {
        values[10] = Value::number(n % 2);
        when = when.addSecs(60);
        return history.keep(values, QStringLiteral("Com1"), Snapshot::Event::Read, when);
    };
    for (int n = 0; n <= SettingsHistory::KeptSnapshots; ++n) {
        if (!keep(n).error.isEmpty())
            return 2;
    }

    QList<double> times;
    for (int n = 0; n < runs; ++n) {
        QElapsedTimer timer;
        timer.start();
        const SettingsHistory::Kept kept = keep(n + 1);
        times.append(timer.nsecsElapsed() / 1e6);
        if (kept.path.isEmpty()) {
            fprintf(stderr, "history_cost: %s\n", qPrintable(kept.error));
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    printf("one snapshot with %lld in the history: median %.2f ms, slowest %.2f ms over %d "
           "snapshots\n",
           static_cast<long long>(history.snapshots().size()), times.at(times.size() / 2),
           times.last(), runs);
    return 0;
}
