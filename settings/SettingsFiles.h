#pragma once

#include "base/TextFiles.h"
#include "settings/SettingsTable.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>

struct Globals;
class SettingsView;
class Dialogs;

// The values of items 0..249 as a settings file gives them.
using FileValues = std::array<Value, FileItemCount>;

// The reading rules of settings files, applied one line at a time: the value text
// each item gets and the line it came from.
class SettingsFileLines
{
public:
    // The next line of the file, without its line end.
    void take(QByteArrayView line);
    // Every line of an open file, up to its end or a failure; says which ended it.
    TextLinesEnd takeAll(QIODevice &file);

    const QString &valueText(int item) const { return m_texts[item]; }
    // The number (from 1) of the last line that gave the item its value; 0 when no
    // line named it.
    int lineOf(int item) const { return m_lines[item]; }

    // Items 0..149 as numbers, 150..249 as texts. None when a number does not fit a
    // floating-point number; *tooLarge then names the first such item.
    std::optional<FileValues> values(int *tooLarge = nullptr) const;

private:
    std::array<QString, FileItemCount> m_texts;
    std::array<int, FileItemCount> m_lines{};
    QString m_lastValue;
    int m_lineNumber = 0;
};

// The default settings file and user settings files (module LeesIniFile): one line
// per item 0..249, "<item>    -><value>", CR LF, Latin-1.
class SettingsFiles
{
public:
    SettingsFiles(Globals &globals, SettingsTable &table, SettingsView &view, Dialogs &dialogs);

    QString defaultFilePath() const;

    // The results tell the command-line tool whether the file was read or written;
    // the window ignores them, as every failure is already handled here.
    bool ReadDefaultFile();
    bool WriteDefaultFile();
    bool ReadSettingsFile(const QString &path);
    bool WriteSettingsFile(const QString &path);
    // The last steps of reading, for values already read: the converter's values
    // are forgotten, the table and the screen take the file's values.
    void ApplyFileValues(const FileValues &values);

private:
    enum class FileKind { Default, User };
    bool readFile(const QString &path, FileKind kind);
    bool writeFile(const QString &path);

    Globals &m_globals;
    SettingsTable &m_table;
    SettingsView &m_view;
    Dialogs &m_dialogs;
};

// The bytes of a settings file holding the values of items 0..249, as the save
// writes them.
// The default set of a program folder as the start-up takes it, without a word to
// the user: the default file's values, the lines read before a failure counting;
// every item 0 or "" when there is no such file or its values cannot be used.
FileValues DefaultSetOf(const QString &programFolder);

QByteArray SettingsFileBytes(const std::array<Value, ItemSlots> &values);
