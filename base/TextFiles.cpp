#include "base/TextFiles.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QSaveFile>

TextLinesEnd ReadTextFileLines(QIODevice &device,
                               const std::function<bool(QByteArrayView line)> &onLine,
                               qint64 maxLineBytes)
{
    // Hands one line over, its line end already cut at the LF.
    auto deliver = [&](QByteArrayView line) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > maxLineBytes)
            return TextLinesEnd::LineTooLong;
        return onLine(line) ? TextLinesEnd::EndOfFile : TextLinesEnd::Stopped;
    };

    constexpr qint64 ChunkBytes = 64 * 1024;
    QByteArray chunk(ChunkBytes, Qt::Uninitialized);
    QByteArray pending; // the start of a line that runs on into the next chunk

    while (true) {
        const qint64 got = device.read(chunk.data(), ChunkBytes);
        if (got < 0)
            return TextLinesEnd::ReadError;
        if (got == 0)
            break;

        const QByteArrayView data(chunk.constData(), got);
        qsizetype start = 0;
        while (start < data.size()) {
            const qsizetype lf = data.indexOf('\n', start);
            const QByteArrayView piece = data.sliced(start, (lf < 0 ? data.size() : lf) - start);
            // The cap plus one byte for a CR that may still turn out to be the line end.
            if (pending.size() + piece.size() > maxLineBytes + 1)
                return TextLinesEnd::LineTooLong;
            if (lf < 0) {
                pending.append(piece);
                break;
            }
            TextLinesEnd end;
            if (pending.isEmpty()) {
                end = deliver(piece);
            } else {
                pending.append(piece);
                end = deliver(pending);
                pending.clear();
            }
            if (end != TextLinesEnd::EndOfFile)
                return end;
            start = lf + 1;
        }
    }

    if (!pending.isEmpty())
        return deliver(pending);
    return TextLinesEnd::EndOfFile;
}

bool WriteFileWhole(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    const auto failed = [&] {
        if (error)
            *error = file.errorString();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();
    // A write that stops part-way (a full disk, a file-size limit) can come back as a
    // short count without an error, and commit() does not notice a failed flush of the
    // last buffered bytes either. Both are checked here, or a cut-off file would take
    // the old one's place.
    if (file.write(bytes) != bytes.size() || !file.flush() ||
        file.error() != QFileDevice::NoError) {
        failed();
        // A write cut short by a full disk or a size limit often comes without a
        // reason of its own.
        if (error &&
            (file.error() == QFileDevice::NoError || file.errorString() == QFile().errorString()))
            *error = QStringLiteral("not every byte could be written; the disk may be full");
        file.cancelWriting();
        return false;
    }
    return file.commit() || failed();
}
