#include "report/ReportSources.h"

#include "settings/SettingsFiles.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

ReportValues AsReportValues(const FileValues &values)
{
    ReportValues all;
    std::copy(values.begin(), values.end(), all.begin());
    return all;
}

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
    // The bytes the report carries are the ones it shows, read by the rules of
    // "Read from file".
    QBuffer bytes(&source.fileBytes);
    bytes.open(QIODevice::ReadOnly);
    SettingsFileLines lines;
    const bool complete = readWhole && lines.takeAll(bytes) == TextLinesEnd::EndOfFile;
    const std::optional<FileValues> values = complete ? lines.values() : std::nullopt;
    if (!values) {
        *error = QStringLiteral("cannot read the settings file \"%1\"").arg(path);
        return std::nullopt;
    }
    source.values = AsReportValues(*values);
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
    return AsReportValues(DefaultSetOf(programFolder));
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
