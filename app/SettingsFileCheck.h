#pragma once

#include "settings/SettingsFiles.h"

#include <QByteArray>
#include <QString>

// How closely a settings file is looked at before a tool without a window uses it.
// The window reads any file and shows it, so a person sees what would be written;
// a script has nobody to look, so it takes only a file that says what it means.
enum class FileCheck {
    Lenient,  // as the window reads it: any file that can be read
    Readable, // a text file of NUMBER    ->VALUE lines, at most 1 MiB
    Sendable  // and a line for every bulk setting whose value the window sends as it
              // stands, so a write never puts another value into the converter
};

struct CheckedSettingsFile
{
    bool taken() const { return refusal.isEmpty(); }

    // Why the file is refused, naming it and where it can the line:
    // "unit-42.cfg: line 11: 99 is no choice of ESPA out serial speed (0..4)".
    QString refusal;
    // True when the window would read the refused file all the same.
    bool lenientTakesIt = false;
    // The values as the window reads the file, when it is taken.
    FileValues values;
};

// Reads and checks the settings file at path; refusals name it as written there.
CheckedSettingsFile CheckSettingsFile(const QString &path, FileCheck check);
// The same for the bytes of a file, named `name` in a refusal.
CheckedSettingsFile CheckSettingsBytes(const QByteArray &bytes, const QString &name,
                                       FileCheck check);

// Why the window would not send the value text as it stands for item ("99 is no choice
// of ESPA out serial speed (0..4)"); "" when it would.
QString RefusedValue(int item, const QString &valueText);

// The largest file taken by the Readable and Sendable checks.
constexpr qint64 MaxSettingsFileBytes = 1024 * 1024;
