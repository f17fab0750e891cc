#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// A file that a PDF carries inside it.
struct PdfAttachment
{
    QString name;
    QByteArray bytes;
    QDateTime modified;
    QByteArray mimeType; // "text/plain"
    QString description;
};

// QPdfWriter makes PDF/A-1b, and PDF/A-1 allows no embedded file at all. PDF/A-3
// allows one when it is an associated file: its /Filespec dictionary names its
// relationship to the document and is listed in the catalogue's /AF, and the
// embedded stream names its type and date. This appends to the PDF/A-1b document
// `pdf` an incremental update that embeds the attachment so, as the source of the
// document, and declares the document PDF/A-3b in its metadata. Everything the
// writer put there stays as it was. No value when the document is not laid out as
// QPdfWriter writes it (a trailer, a catalogue with its metadata, the PDF/A-1
// identification).
std::optional<QByteArray> AttachToArchivalPdf(const QByteArray &pdf,
                                              const PdfAttachment &attachment);
