#include "base/MessageLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

// Appends one line to the file and closes it again, so no handle stays open between
// lines. False when the file cannot be opened or the line not written whole. The line
// goes out in one unbuffered write; when the disk takes only part of it, the part is
// cut off again, so the next line never glues onto a fragment.
bool appendLine(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    const qint64 before = file.size();
    const bool written = file.write(bytes) == bytes.size() && file.error() == QFileDevice::NoError;
    if (!written) {
        *error = file.error() == QFileDevice::NoError ? QStringLiteral("the line was cut short")
                                                      : file.errorString();
        file.resize(before);
    }
    file.close();
    return written;
}

} // namespace

MessageLog::MessageLog(Globals &globals, const Clock &clock) : m_globals(globals), m_clock(clock) {}

QString MessageLog::logFilePath(const QDateTime &when) const
{
    return m_globals.ProgramFolder + QStringLiteral("/Log/") +
           when.toString(QStringLiteral("ddMMyyyy")) + QStringLiteral(".log");
}

void MessageLog::WriteLog(const QString &text)
{
    // Date and time are read once, so a line written on the stroke of midnight carries
    // the time of the day whose file it goes to.
    const QDateTime now = m_clock.now();
    const QString line = now.toString(QStringLiteral("HH:mm:ss")) + u' ' + text;
    if (m_globals.LogfileMode == 0)
        return;

    AddMessageLine(line);

    // Without a program folder there is no place for the log; the line is still shown.
    // Filing failures never reach the caller: the line stays in the message window.
    if (!m_globals.ProgramFolder.isEmpty()) {
        const QString path = logFilePath(now);
        const QByteArray bytes = line.toLatin1() + "\r\n";
        QString error;
        bool filed = appendLine(path, bytes, &error);
        if (!filed) {
            // The folder may have gone since the last line (or never existed): make it
            // and try once more. A file that is missing is created by the append itself.
            const QString folder = QFileInfo(path).absolutePath();
            if (!QFileInfo(folder).isDir() && QDir().mkpath(folder))
                filed = appendLine(path, bytes, &error);
        }
        if (!filed && onLogFailed)
            onLogFailed(path + QStringLiteral(": ") + error);
    }

    if (onLine)
        onLine(line);
}

void MessageLog::AddMessageLine(const QString &line)
{
    if (MessageLineCount < LineSlots) {
        MessageLines[MessageLineCount++] = line;
        return;
    }
    std::move(MessageLines.begin() + 1, MessageLines.end(), MessageLines.begin());
    MessageLines[LineSlots - 1] = line;
}

void MessageLog::ClearMessageLines()
{
    MessageLines.fill(QString());
    MessageLineCount = 0;
}
