#pragma once

#include "settings/SettingsTable.h"

#include <QByteArray>
#include <QString>

#include <array>

struct Globals;
class SettingsTable;
class SettingsView;
class Dialogs;

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
QByteArray SettingsFileBytes(const std::array<Value, ItemSlots> &values);
