#include "settings/SettingsFiles.h"

#include "base/Dialogs.h"
#include "base/Globals.h"
#include "base/TextFiles.h"
#include "base/TextHelpers.h"
#include "settings/SettingsTable.h"
#include "settings/SettingsView.h"

#include <QFile>

#include <array>
#include <cmath>
#include <optional>

// Reading works on a staging copy: the file is read whole and every value converted
// before anything in the table or on the screen changes, so a file that fails at any
// point leaves the program exactly as it was.
//
// A line without "->" stores the value of the most recent earlier line that had one
// (the empty text when there was none); the converter tool has always read its files
// that way. Item numbers come from the first four characters of a line only.

namespace {

const QString MessageTitle = QStringLiteral("Kestrum by Brivane");
const QString ReadError = QStringLiteral("Error reading setup-file");
const QString WriteError = QStringLiteral("Error writing settings-file");
const QString Separator = QStringLiteral("    ->");

QString DefaultFilePathOf(const QString &programFolder)
{
    return programFolder + QStringLiteral("/default.set");
}

} // namespace

void SettingsFileLines::take(QByteArrayView bytes)
{
    ++m_lineNumber;
    if (bytes.isEmpty())
        return;
    const QString line = QString::fromLatin1(bytes);
    const qsizetype arrow = line.indexOf(QLatin1String("->"));
    if (arrow >= 0)
        m_lastValue = line.mid(arrow + 2);
    const std::optional<qint16> item = Value::number(TextToNumber(line.left(4))).asInt16();
    if (item && *item >= 0 && *item < FileItemCount) {
        m_texts[*item] = m_lastValue;
        m_lines[*item] = m_lineNumber;
    }
}

TextLinesEnd SettingsFileLines::takeAll(QIODevice &file)
{
    return ReadTextFileLines(file, [this](QByteArrayView line) {
        take(line);
        return true;
    });
}

// A number that does not fit in a floating-point number (the reader gives infinity
// for it) fails the whole file.
std::optional<FileValues> SettingsFileLines::values(int *tooLarge) const
{
    FileValues values;
    for (int item = 0; item < FileItemCount; ++item) {
        if (IsNumberItem(item)) {
            const double number = TextToNumber(m_texts[item]);
            if (!std::isfinite(number)) {
                if (tooLarge)
                    *tooLarge = item;
                return std::nullopt;
            }
            values[item] = Value::number(number);
        } else {
            values[item] = Value::text(m_texts[item]);
        }
    }
    return values;
}

namespace {

// The value part of a line. Numbers go through the 16-bit form the converter keeps;
// one that has no such form (outside -32768..32767) is written as 0, the value the
// screen makes of it as well, so the line always holds a number the reader takes.
QString ValueText(int item, const Value &value)
{
    if (IsNumberItem(item)) {
        const std::optional<qint16> n = Value::number(TextToNumber(value.asText())).asInt16();
        return NumToText(n.value_or(0));
    }
    // An LF would end the line early and turn the rest of the text into a line of its
    // own (read as a line for item 0), so it is written as a blank.
    QString text = value.asText();
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

SettingsFiles::SettingsFiles(Globals &globals, SettingsTable &table, SettingsView &view,
                             Dialogs &dialogs)
    : m_globals(globals), m_table(table), m_view(view), m_dialogs(dialogs)
{
}

QString SettingsFiles::defaultFilePath() const
{
    return DefaultFilePathOf(m_globals.ProgramFolder);
}

FileValues DefaultSetOf(const QString &programFolder)
{
    SettingsFileLines lines;
    QFile file(DefaultFilePathOf(programFolder));
    if (file.open(QIODevice::ReadOnly))
        lines.takeAll(file);
    return lines.values().value_or(*SettingsFileLines().values());
}

bool SettingsFiles::ReadDefaultFile()
{
    return readFile(defaultFilePath(), FileKind::Default);
}

bool SettingsFiles::ReadSettingsFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    return readFile(path, FileKind::User);
}

bool SettingsFiles::WriteDefaultFile()
{
    return writeFile(defaultFilePath());
}

bool SettingsFiles::WriteSettingsFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    return writeFile(path);
}

// A user file that cannot be opened, read or applied shows the error and changes
// nothing. The default file is the program's own: missing or unreadable, it gives
// every item 0 or "" without a message; read only in part (the device failed, or a
// line is far too long), the lines before the failure count. A default file whose
// values cannot be applied shows the error too and then also gives every item 0 or
// "", so the program always starts from a defined table rather than the -1 of a
// fresh start.
bool SettingsFiles::readFile(const QString &path, FileKind kind)
{
    SettingsFileLines lines;
    bool complete = false;

    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const TextLinesEnd end = lines.takeAll(file);
        file.close();
        complete = end == TextLinesEnd::EndOfFile;
        if (!complete && kind == FileKind::User) {
            m_dialogs.messageBox(MessageTitle, ReadError, Dialogs::Icon::Critical);
            return false;
        }
    } else if (kind == FileKind::User) {
        m_dialogs.messageBox(MessageTitle, ReadError, Dialogs::Icon::Critical);
        return false;
    }

    std::optional<FileValues> values = lines.values();
    if (!values) {
        m_dialogs.messageBox(MessageTitle, ReadError, Dialogs::Icon::Critical);
        if (kind == FileKind::User)
            return false;
        complete = false;
        values = SettingsFileLines().values();
    }
    ApplyFileValues(*values);
    return complete;
}

void SettingsFiles::ApplyFileValues(const FileValues &values)
{
    for (int item = 0; item < FileItemCount; ++item)
        m_table.FileValue[item] = values[item];
    m_table.ForgetUnitValues();
    m_table.FileToSettings();
    m_view.SettingsToControls();
}

bool SettingsFiles::writeFile(const QString &path)
{
    m_view.ControlsToSettings();
    m_table.SettingsToFile();

    const QByteArray bytes = SettingsFileBytes(m_table.FileValue);

    // An interrupted or failed save leaves the old file whole.
    const bool written = WriteFileWhole(path, bytes);
    if (!written) {
        m_dialogs.messageBox(MessageTitle, WriteError + QLatin1String("\r\n") + path,
                             Dialogs::Icon::Critical);
    }
    return written;
}

QByteArray SettingsFileBytes(const std::array<Value, ItemSlots> &values)
{
    QString content;
    for (int item = 0; item < FileItemCount; ++item) {
        content += NumToText(item);
        content += Separator;
        content += ValueText(item, values[item]);
        content += QLatin1String("\r\n");
    }
    // Characters outside Latin-1 (possible only from typing) are written as "?".
    return content.toLatin1();
}
