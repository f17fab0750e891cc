#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <functional>

class QIODevice;

// How reading the lines of a text file ended.
enum class TextLinesEnd {
    EndOfFile,   // every line was handed over
    ReadError,   // the device failed; the lines before the failure were handed over
    LineTooLong, // a line grew past the cap; the lines before it were handed over
    Stopped      // the handler asked to stop
};

// No line of the program's files comes near this; a longer one means the file is
// not one of them (or is an endless device), and reading it whole would only use
// up memory.
constexpr qint64 MaxTextLineBytes = 32 * 1024 * 1024;

// Hands every line of the device to onLine, without its line end, in the order of
// the file. A line ends at LF; one CR at the end of a line belongs to the line end,
// so files with CR LF and with LF alone read the same, and a CR anywhere else stays
// in the line. The last line needs no LF. onLine returns false to stop.
// Runs in time linear in the size of the file and keeps at most one line in memory.
TextLinesEnd ReadTextFileLines(QIODevice &device,
                               const std::function<bool(QByteArrayView line)> &onLine,
                               qint64 maxLineBytes = MaxTextLineBytes);

// Replaces the whole file with bytes in one step: they go to a temporary file beside
// it, which takes the file's place only when every byte reached it. On any failure
// the old file stays as it was and no temporary file is left. False on failure, with
// the system's reason in *error when given.
bool WriteFileWhole(const QString &path, const QByteArray &bytes, QString *error = nullptr);
