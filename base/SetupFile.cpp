#include "base/SetupFile.h"

#include "base/Globals.h"
#include "base/TextFiles.h"
#include "base/TextHelpers.h"
#include "base/Value.h"

#include <QFile>

#include <array>
#include <cmath>

namespace {

constexpr int EntrySlots = 299; // entries 0..298; higher numbers are skipped

QString SetupFilePath(const Globals &globals)
{
    return globals.ProgramFolder + QStringLiteral("/Kestrum.set");
}

// The leading number of an entry, rounded half to even. A missing or empty entry
// gives 0, and so does a number that does not fit in 16 bits: such a file was not
// written by the program, and 0 is what a missing entry gives as well.
qint16 EntryNumber(const QString &entry)
{
    return Value::number(TextToNumber(entry)).asInt16().value_or(0);
}

} // namespace

// Entries are keyed by the number in the first four characters of each line, so the
// order of the lines does not matter. A line without "->" stores the value of the
// most recent line that had one (the empty text when there was none). A negative
// entry number marks a damaged file: reading stops there and the entries before it
// stay in effect. Nothing is ever reported.
void ReadSetupFile(Globals &globals)
{
    std::array<QString, EntrySlots> entries;

    QFile file(SetupFilePath(globals));
    if (file.open(QIODevice::ReadOnly)) {
        QString lastValue;
        ReadTextFileLines(file, [&](QByteArrayView bytes) {
            if (bytes.isEmpty())
                return true;
            const QString record = QString::fromLatin1(bytes);
            const double number = std::nearbyint(TextToNumber(record.left(4)));
            if (!(number >= 0)) // negative, or no number at all
                return false;
            const qsizetype arrow = record.indexOf(QLatin1String("->"));
            if (arrow >= 0)
                lastValue = record.mid(arrow + 2);
            if (number < EntrySlots)
                entries[int(number)] = lastValue;
            return true;
        });
    }

    globals.ComPortIndex = EntryNumber(entries[0]);
    globals.LogfileMode = EntryNumber(entries[1]);
    globals.SetPath = entries[2];
    globals.UnitType = EntryNumber(entries[3]);
}

// Written whole through a temporary file, so a failed write leaves the old file as it
// was. The window stays silent about a failure: the values stay in effect for this run.
bool WriteSetupFile(const Globals &globals)
{
    // An LF in the folder text would start a line of its own and be read as another
    // entry; it is written as a blank.
    QString setPath = globals.SetPath;
    setPath.replace(QLatin1Char('\n'), QLatin1Char(' '));

    const QString content = QStringLiteral("0        Compoort ->") +
                            NumToText(globals.ComPortIndex) + QStringLiteral("\r\n") +
                            QStringLiteral("1      Logfile ->") + NumToText(globals.LogfileMode) +
                            QStringLiteral("\r\n") + QStringLiteral("2       SetPath ->") +
                            setPath + QStringLiteral("\r\n") +
                            QStringLiteral("3       UnitType ->") + NumToText(globals.UnitType) +
                            QStringLiteral("\r\n");
    return WriteFileWhole(SetupFilePath(globals), content.toLatin1());
}
