#include "app/SettingsFileCheck.h"

#include "base/TextFiles.h"
#include "base/TextHelpers.h"
#include "protocol/Frames.h"
#include "screen/Catalogue.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

// Every check reads the file with the reader the window uses (SettingsFileLines), so
// a file that is taken gives exactly the values the window would put on its screen;
// the checks only decide whether those values are what the file's writer meant.

namespace {

// How a refused line is quoted: on one line, and not at any length.
QString Quoted(const QString &text)
{
    constexpr int Shown = 40;
    const QString escaped = EscapeControlChars(text);
    return QLatin1Char('"') +
           (escaped.size() > Shown ? escaped.left(Shown) + QStringLiteral("...") : escaped) +
           QLatin1Char('"');
}

// The name a user knows a setting by: its legend without the colon, else its number.
QString SettingName(int item)
{
    QString legend = LegendOf(item);
    if (legend.endsWith(QLatin1Char(':')))
        legend.chop(1);
    return legend.isEmpty() ? QStringLiteral("setting %1").arg(item) : legend;
}

CheckedSettingsFile Refused(const QString &text, bool lenientTakesIt)
{
    CheckedSettingsFile result;
    result.refusal = text;
    result.lenientTakesIt = lenientTakesIt;
    return result;
}

CheckedSettingsFile CannotRead(const QString &path, const QString &why)
{
    return Refused(QStringLiteral("cannot read the settings file \"%1\": %2").arg(path, why),
                   false);
}

// Reads every line into the reader; for the strict checks also looks at each line.
// A refusal of the lines themselves is put into *refusal.
TextLinesEnd ReadLines(QIODevice &device, FileCheck check, const QString &name,
                       SettingsFileLines &lines, CheckedSettingsFile *refusal)
{
    // What a program-written line looks like: the number where the reader looks for
    // it, blanks, the arrow.
    static const QRegularExpression form(QStringLiteral("^ *(\\d+) *->"));
    int number = 0;
    int formed = 0;
    int nulLine = 0;
    int badLine = 0;
    QString badText;
    const TextLinesEnd end = ReadTextFileLines(device, [&](QByteArrayView bytes) {
        ++number;
        lines.take(bytes);
        if (check == FileCheck::Lenient || bytes.isEmpty())
            return true;
        if (nulLine == 0 && bytes.contains('\0'))
            nulLine = number;
        const QString line = QString::fromLatin1(bytes);
        const QRegularExpressionMatch match = form.match(line);
        // The reader takes the number from the first four characters only.
        const double taken = TextToNumber(line.left(4));
        if (match.hasMatch() && match.captured(1).toDouble() == taken)
            ++formed;
        else if (badLine == 0) {
            badLine = number;
            badText = line;
        }
        return true;
    });
    if (end != TextLinesEnd::EndOfFile || check == FileCheck::Lenient)
        return end;
    if (nulLine > 0)
        *refusal = Refused(
            QStringLiteral("%1: line %2: a NUL byte, so no text file").arg(name).arg(nulLine),
            true);
    else if (formed == 0)
        *refusal =
            Refused(QStringLiteral("%1: no line of the form NUMBER    ->VALUE, so no settings file")
                        .arg(name),
                    true);
    else if (check == FileCheck::Sendable && badLine > 0)
        *refusal =
            Refused(QStringLiteral("%1: line %2: %3 is no line of the form NUMBER    ->VALUE")
                        .arg(name)
                        .arg(badLine)
                        .arg(Quoted(badText)),
                    true);
    return end;
}

// The values of the lines, or why they cannot be taken.
CheckedSettingsFile Finish(const SettingsFileLines &lines, const QString &name, FileCheck check)
{
    int tooLarge = -1;
    const std::optional<FileValues> values = lines.values(&tooLarge);
    if (!values)
        return Refused(QStringLiteral("%1: line %2: %3 is too large a number")
                           .arg(name)
                           .arg(lines.lineOf(tooLarge))
                           .arg(Quoted(lines.valueText(tooLarge).trimmed())),
                       false);
    if (check == FileCheck::Sendable) {
        for (int item = 0; item < FileItemCount; ++item) {
            if (!IsBulkItem(item))
                continue;
            if (lines.lineOf(item) == 0)
                return Refused(QStringLiteral("%1: no line for setting %2 (%3)")
                                   .arg(name)
                                   .arg(item)
                                   .arg(SettingName(item)),
                               true);
            const QString why = RefusedValue(item, lines.valueText(item));
            if (!why.isEmpty())
                return Refused(
                    QStringLiteral("%1: line %2: %3").arg(name).arg(lines.lineOf(item)).arg(why),
                    true);
        }
    }
    CheckedSettingsFile result;
    result.values = *values;
    return result;
}

} // namespace

QString RefusedValue(int item, const QString &valueText)
{
    const ItemKind kind = KindOfItem(item);
    if (kind == ItemKind::Tekst || kind == ItemKind::TekstNoControl) {
        if (valueText.size() > MaxTextLength)
            return QStringLiteral("a text of %1 characters is too long for %2 (at most %3)")
                .arg(valueText.size())
                .arg(SettingName(item))
                .arg(MaxTextLength);
        return QString();
    }
    if (!IsNumberItem(item))
        return QString();

    // What the converter stores: a choice among the item's list, a byte, a number.
    int high = 32767;
    QString what = QStringLiteral("number");
    if (kind == ItemKind::Char || kind == ItemKind::CharNoControl) {
        const CatalogueItem *entry = CatalogueEntry(item);
        const int entries =
            entry && entry->list != ChoiceList::None ? int(ChoiceEntries(entry->list).size()) : 0;
        // A stored index at the item's limit or above is shown, and sent, as the
        // first choice.
        const int limit = ChoiceLimit(item);
        high = entries == 0 ? 255 : (limit >= 0 ? std::min(limit, entries) : entries) - 1;
        what = entries == 0 ? QStringLiteral("value") : QStringLiteral("choice");
    }
    // The window rounds halves to the even neighbour; a text with anything but a
    // number in it would be sent as another number than it says.
    const std::optional<qint16> sent = Value::text(valueText).asInt16();
    if (sent && *sent >= 0 && *sent <= high)
        return QString();
    const QString shown = WholeTextAsNumber(valueText) ? valueText.trimmed() : Quoted(valueText);
    return QStringLiteral("%1 is no %2 of %3 (0..%4)")
        .arg(shown, what, SettingName(item))
        .arg(high);
}

CheckedSettingsFile CheckSettingsBytes(const QByteArray &bytes, const QString &name,
                                       FileCheck check)
{
    if (check != FileCheck::Lenient && bytes.size() > MaxSettingsFileBytes)
        return Refused(QStringLiteral("%1: larger than 1 MiB, so no settings file").arg(name),
                       true);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    SettingsFileLines lines;
    CheckedSettingsFile refusal;
    const TextLinesEnd end = ReadLines(buffer, check, name, lines, &refusal);
    if (end == TextLinesEnd::LineTooLong)
        return CannotRead(name, QStringLiteral("a line is far too long"));
    if (!refusal.taken())
        return refusal;
    return Finish(lines, name, check);
}

CheckedSettingsFile CheckSettingsFile(const QString &path, FileCheck check)
{
    const QFileInfo info(path);
    if (!info.exists())
        return CannotRead(path, QStringLiteral("no such file"));
    if (!info.isFile() || !info.isReadable())
        return CannotRead(path, QStringLiteral("not readable"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return CannotRead(path, file.errorString());

    if (check != FileCheck::Lenient) {
        // One byte past the limit tells a file that is too large.
        const QByteArray bytes = file.read(MaxSettingsFileBytes + 1);
        if (file.error() != QFileDevice::NoError)
            return CannotRead(path, file.errorString());
        return CheckSettingsBytes(bytes, path, check);
    }
    // As the window reads it, line by line and at any size.
    SettingsFileLines lines;
    CheckedSettingsFile refusal;
    switch (ReadLines(file, check, path, lines, &refusal)) {
    case TextLinesEnd::EndOfFile:
    case TextLinesEnd::Stopped:
        break;
    case TextLinesEnd::ReadError:
        return CannotRead(path, file.errorString());
    case TextLinesEnd::LineTooLong:
        return CannotRead(path, QStringLiteral("a line is far too long"));
    }
    return Finish(lines, path, check);
}
