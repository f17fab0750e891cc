#include "report/ReportSources.h"

#include "base/FixedAnswerDialogs.h"
#include "base/Globals.h"
#include "settings/SettingsFiles.h"
#include "settings/SettingsView.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {

// Reading a file for a report touches no screen and asks nothing; a box the reader
// would show means the file could not be taken.
class QuietView : public SettingsView
{
public:
    void SettingsToControls() override {}
    void ControlsToSettings() override {}
};

struct Reader
{
    Globals globals;
    SettingsTable table;
    QuietView view;
    FixedAnswerDialogs dialogs{false};
    SettingsFiles files{globals, table, view, dialogs};
};

} // namespace

std::optional<ReportSource> LoadReportFile(const QString &path, QString *error)
{
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the settings file \"%1\": %2")
                     .arg(path, info.exists() ? QStringLiteral("not readable")
                                              : QStringLiteral("no such file"));
        return std::nullopt;
    }
    ReportSource source;
    source.fileBytes = file.readAll();
    const bool readWhole = file.error() == QFile::NoError;
    file.close();
    Reader reader;
    if (!readWhole || !reader.files.ReadSettingsFile(path)) {
        *error = QStringLiteral("cannot read the settings file \"%1\"").arg(path);
        return std::nullopt;
    }
    source.values = reader.table.FileValue;
    for (int item = 0; item < FileItemCount; ++item)
        source.known[item] = true;
    source.name = info.fileName();
    source.attachmentName = info.fileName();
    source.modified = info.lastModified();
    source.description =
        QStringLiteral("Settings file %1, modified %2, SHA-256 %3")
            .arg(info.fileName(),
                 source.modified.toString(QStringLiteral("yyyy-MM-dd 'at' HH:mm:ss")),
                 QString::fromLatin1(
                     QCryptographicHash::hash(source.fileBytes, QCryptographicHash::Sha256)
                         .toHex()));
    return source;
}

ReportValues LoadDefaultSet(const QString &programFolder)
{
    Reader reader;
    reader.globals.ProgramFolder = programFolder;
    reader.files.ReadDefaultFile();
    return reader.table.FileValue;
}

ReportSource SourceFromValues(const QString &description, const QString &name,
                              const ReportValues &values, const std::array<bool, ItemSlots> &known,
                              const QString &attachmentName, const QDateTime &taken)
{
    ReportSource source;
    source.description = description;
    source.name = name;
    source.values = values;
    source.known = known;
    source.fileBytes = SettingsFileBytes(values);
    source.attachmentName = attachmentName;
    source.modified = taken;
    return source;
}
