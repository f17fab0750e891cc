#pragma once

// The faults of the line that every way of driving the program must survive: the
// same rows run through kestrum-cli (tst_faults_cli_e2e) and through the window
// program (tst_faults_window_e2e), both against kestrum-sim over a real
// pseudo-terminal. Each row names the simulator's faults, the series it hits, how the
// series must end and how often each report must appear.

#include "support/SimProcess.h"

#include <QFile>
#include <QList>
#include <QMap>
#include <QPair>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtTest>

namespace FaultMatrix {

// The items of "Read all" and "Write all", in the order the engine serves them.
inline const QList<int> BulkItems = {0,  5,  7,  10, 11, 12, 13, 14, 15, 16, 17, 20, 21, 22,
                                     23, 24, 25, 26, 27, 30, 31, 32, 33, 34, 35, 36, 37};

// How a series ends.
enum class Outcome {
    Success,   // the success line, every bulk item confirmed
    Abort,     // three counted failures, then the abort message
    AbortLater // the same on item 13: the six items before it are confirmed
};

using Counts = QList<QPair<QString, int>>; // a report and how often it must appear

inline const QString ReadAllDone = QStringLiteral("Reading of all settings was successfull.");
inline const QString WriteAllDone = QStringLiteral("Programming of all settings was successfull.");
inline const QString ReadAborted =
    QStringLiteral("ERROR reading settings from the converter.\r\nReading is aborted!");
inline const QString WriteAborted =
    QStringLiteral("ERROR writing setting in the Converter.\r\nProgramming is aborted!");

// The rows, for a _data() function. Columns: faults (the simulator's --fault
// arguments), work ("read-all" or "write-all"), outcome, counts. Reports are counted
// in the progress text with its line ends as LF.
inline void addRows()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QString>("work");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<Counts>("counts");

    const QString timeoutSoh = QStringLiteral(" ERROR timeout wo SOH. ");
    const QString checksum = QStringLiteral(" ERROR checksum. ");
    QTest::newRow("silent converter: three time-outs abort the read-all")
        << QStringList{"silent"} << "read-all" << Outcome::Abort
        << Counts{{timeoutSoh, 3}, {QStringLiteral(" OK\n"), 0}};
    QTest::newRow("refusals: three NAKs abort the write-all")
        << QStringList{"nak"} << "write-all" << Outcome::Abort
        << Counts{{QStringLiteral(" -> program ERROR NACK."), 3},
                  {QStringLiteral(" -> Saved.\n"), 0}};
    QTest::newRow("wrong check bytes are read again")
        << QStringList{"checksum item 10 x2", "checksum item 25 x1"} << "read-all"
        << Outcome::Success << Counts{{checksum, 3}, {QStringLiteral(" OK\n"), 27}};
    QTest::newRow("a wrong check byte on a write is written again")
        << QStringList{"checksum item 11 x1"} << "write-all" << Outcome::Success
        << Counts{{QStringLiteral(" -> ERROR checksum."), 1}, {QStringLiteral(" -> Saved.\n"), 27}};
    // The data phase has its own time-out: a stalled answer counts as a wrong one.
    QTest::newRow("an answer that stops after LEN ends after 3 s")
        << QStringList{"stop-after-len item 12 x1"} << "read-all" << Outcome::Success
        << Counts{{checksum, 1}, {QStringLiteral(" OK\n"), 27}};
    QTest::newRow("answers of 99 bytes and more are read again")
        << QStringList{"too-long item 13 x2"} << "read-all" << Outcome::Success
        << Counts{{QStringLiteral(" ERROR too long info. "), 2}, {QStringLiteral(" OK\n"), 27}};
    QTest::newRow("an item always answered too long aborts the series")
        << QStringList{"too-long item 13"} << "read-all" << Outcome::AbortLater
        << Counts{{QStringLiteral(" ERROR too long info. "), 3}, {timeoutSoh, 0}, {checksum, 0}};
    // Asked for 11, told about 20: the value goes to 20, whose job is then done, and
    // 11 is asked again.
    QTest::newRow("an answer about another item is stored under that item")
        << QStringList{"other-item=20:11x1"} << "read-all" << Outcome::Success
        << Counts{{QStringLiteral("Reading setting 11  "), 2},
                  {QStringLiteral("Reading setting 20  "), 0},
                  {QStringLiteral(" OK\n"), 27}};
    QTest::newRow("noise before SOH is skipped")
        << QStringList{"noise"} << "read-all" << Outcome::Success
        << Counts{{QStringLiteral(" OK\n"), 27}, {checksum, 0}, {timeoutSoh, 0}};
    QTest::newRow("an answer just under 3 s late is taken")
        << QStringList{"delay 2600 item 10 x1"} << "read-all" << Outcome::Success
        << Counts{{timeoutSoh, 0}, {QStringLiteral(" OK\n"), 27}};
    // The late answer still arrives afterwards, while a later request waits, and is
    // taken as an answer about item 10; so how often 11 is read depends on when it
    // lands.
    QTest::newRow("an answer just over 3 s late times out, the repeat succeeds")
        << QStringList{"delay 3400 item 10 x1"} << "read-all" << Outcome::Success
        << Counts{{timeoutSoh, 1}, {QStringLiteral("Reading setting 10  "), 2}};
}

// Lines "N    ->VALUE" of a settings file by item number.
inline QMap<int, QString> fileValues(const QString &path)
{
    QMap<int, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const int arrow = int(line.indexOf("    ->"));
        if (arrow > 0)
            values.insert(line.left(arrow).toInt(), QString::fromLatin1(line.mid(arrow + 6)));
    }
    return values;
}

// What the simulated converter holds now, through its "save" command.
inline QMap<int, QString> simValues(SimProcess &sim, const QString &scratchFile)
{
    QFile::remove(scratchFile);
    if (!sim.sendCommand(QStringLiteral("save ") + scratchFile))
        return {};
    return fileValues(scratchFile);
}

// A settings file for "Write all": what the converter holds, with five bulk items
// moved to other entries of their lists, so the writes change the converter.
inline bool writeAllFile(SimProcess &sim, const QString &path)
{
    QFile::remove(path);
    if (!sim.sendCommand(QStringLiteral("save ") + path))
        return false;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QString text = QString::fromLatin1(in.readAll());
    in.close();
    const QMap<int, QString> changes = {{0, "2"}, {10, "1"}, {13, "2"}, {21, "0"}, {36, "1"}};
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        const QRegularExpression line(QStringLiteral("(?m)^%1    ->[^\\r]*\\r$").arg(it.key()));
        if (!text.contains(line))
            return false;
        text.replace(line, QStringLiteral("%1    ->%2\r").arg(it.key()).arg(it.value()));
    }
    QFile out(path);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           out.write(text.toLatin1()) == text.size();
}

} // namespace FaultMatrix

Q_DECLARE_METATYPE(FaultMatrix::Outcome)
Q_DECLARE_METATYPE(FaultMatrix::Counts)
