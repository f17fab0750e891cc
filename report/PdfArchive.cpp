#include "report/PdfArchive.h"

#include <QCryptographicHash>
#include <QMap>
#include <QRegularExpression>

#include <cctype>

namespace {

// The body of object `number`, between "obj" and "endobj"; empty when not found.
QByteArray ObjectBody(const QByteArray &pdf, int number)
{
    const QByteArray head = '\n' + QByteArray::number(number) + " 0 obj";
    const qsizetype start = pdf.lastIndexOf(head);
    if (start < 0)
        return QByteArray();
    const qsizetype from = start + head.size();
    const qsizetype end = pdf.indexOf("endobj", from);
    return end < 0 ? QByteArray() : pdf.mid(from, end - from);
}

std::optional<QByteArray> Captured(const QByteArray &text, const char *pattern, int group = 1)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QLatin1String(pattern)).match(QString::fromLatin1(text));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(group).toLatin1();
}

// A literal string of printable ASCII; other characters become "_".
QByteArray AsciiString(const QString &text)
{
    QByteArray out = "(";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '(' || u == ')' || u == '\\')
            out += '\\';
        out += (u >= 0x20 && u < 0x7F) ? char(u) : '_';
    }
    return out + ')';
}

// A text string in UTF-16BE with its byte order mark, as hexadecimal digits.
QByteArray UnicodeString(const QString &text)
{
    QByteArray bytes("\xFE\xFF", 2);
    for (const QChar c : text) {
        bytes += char(c.unicode() >> 8);
        bytes += char(c.unicode() & 0xFF);
    }
    return '<' + bytes.toHex().toUpper() + '>';
}

// "text/plain" as a PDF name: "/text#2Fplain".
QByteArray MimeName(const QByteArray &mime)
{
    QByteArray out = "/";
    for (const char c : mime) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '+')
            out += c;
        else
            out += '#' + QByteArray::number(static_cast<unsigned char>(c), 16)
                             .rightJustified(2, '0')
                             .toUpper();
    }
    return out;
}

} // namespace

std::optional<QByteArray> AttachToArchivalPdf(const QByteArray &pdf,
                                              const PdfAttachment &attachment)
{
    const qsizetype startxref = pdf.lastIndexOf("startxref");
    const qsizetype trailerAt = pdf.lastIndexOf("trailer", startxref);
    if (startxref < 0 || trailerAt < 0)
        return std::nullopt;
    const QByteArray trailer = pdf.mid(trailerAt, startxref - trailerAt);
    const auto size = Captured(trailer, "/Size\\s+(\\d+)");
    const auto root = Captured(trailer, "/Root\\s+(\\d+)\\s+0\\s+R");
    const auto info = Captured(trailer, "/Info\\s+(\\d+)\\s+0\\s+R");
    const auto id = Captured(trailer, "/ID\\s*(\\[[^\\]]*\\])");
    const auto previous = Captured(pdf.mid(startxref), "startxref\\s+(\\d+)");
    if (!size || !root || !info || !id || !previous)
        return std::nullopt;

    const QByteArray catalogBody = ObjectBody(pdf, root->toInt());
    const qsizetype open = catalogBody.indexOf("<<");
    const qsizetype close = catalogBody.lastIndexOf(">>");
    const auto metadata = Captured(catalogBody, "/Metadata\\s+(\\d+)\\s+0\\s+R");
    if (open < 0 || close < open || !metadata || catalogBody.contains("/Names") ||
        catalogBody.contains("/AF"))
        return std::nullopt;

    // The metadata stream names the PDF/A part; its length stays the same.
    const QByteArray metadataBody = ObjectBody(pdf, metadata->toInt());
    const auto length = Captured(metadataBody, "/Length\\s+(\\d+)");
    const qsizetype streamAt = metadataBody.indexOf("stream\n");
    if (!length || streamAt < 0)
        return std::nullopt;
    QByteArray xmp = metadataBody.mid(streamAt + 7, length->toInt());
    const QByteArray partOne = "pdfaid:part=\"1\"";
    if (xmp.size() != length->toInt() || xmp.count(partOne) != 1)
        return std::nullopt;
    xmp.replace(partOne, "pdfaid:part=\"3\"");

    const int firstNew = size->toInt();
    const QByteArray fileRef = QByteArray::number(firstNew + 1) + " 0 R";
    const QByteArray streamRef = QByteArray::number(firstNew) + " 0 R";
    const QByteArray date =
        "(D:" + attachment.modified.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() +
        "Z)";

    QByteArray out = pdf;
    if (!out.endsWith('\n'))
        out += '\n';
    QMap<int, qint64> offsets;
    const auto addObject = [&](int number, const QByteArray &body) {
        offsets.insert(number, out.size());
        out += QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    const auto stream = [](const QByteArray &dictionary, const QByteArray &data) {
        return "<<\n" + dictionary + "/Length " + QByteArray::number(data.size()) +
               "\n>>\nstream\n" + data + "\nendstream";
    };

    addObject(metadata->toInt(), stream("/Type /Metadata /Subtype /XML\n", xmp));
    addObject(root->toInt(), catalogBody.mid(open, close - open) + "/Version /1.7\n" +
                                 "/Names << /EmbeddedFiles << /Names [" +
                                 UnicodeString(attachment.name) + ' ' + fileRef + "] >> >>\n/AF [" +
                                 fileRef + "]\n>>");
    addObject(firstNew,
              stream("/Type /EmbeddedFile /Subtype " + MimeName(attachment.mimeType) +
                         "\n/Params << /Size " + QByteArray::number(attachment.bytes.size()) +
                         " /ModDate " + date + " /CheckSum <" +
                         QCryptographicHash::hash(attachment.bytes, QCryptographicHash::Md5)
                             .toHex()
                             .toUpper() +
                         "> >>\n",
                     attachment.bytes));
    addObject(firstNew + 1, "<<\n/Type /Filespec\n/F " + AsciiString(attachment.name) + "\n/UF " +
                                UnicodeString(attachment.name) + "\n/Desc " +
                                UnicodeString(attachment.description) +
                                "\n/AFRelationship /Source\n/EF << /F " + streamRef + " /UF " +
                                streamRef + " >>\n>>");

    // The cross-reference section of the update, one subsection per run of numbers.
    const qint64 xrefAt = out.size();
    out += "xref\n";
    for (auto it = offsets.cbegin(); it != offsets.cend();) {
        auto end = it;
        int count = 0;
        while (end != offsets.cend() && end.key() == it.key() + count) {
            ++end;
            ++count;
        }
        out += QByteArray::number(it.key()) + ' ' + QByteArray::number(count) + '\n';
        for (; it != end; ++it)
            out += QByteArray::number(it.value()).rightJustified(10, '0') + " 00000 n \n";
    }
    out += "trailer\n<<\n/Size " + QByteArray::number(firstNew + 2) + "\n/Info " + *info +
           " 0 R\n/Root " + *root + " 0 R\n/ID " + *id + "\n/Prev " + *previous +
           "\n>>\nstartxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";
    return out;
}
