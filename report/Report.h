#pragma once

#include "base/Value.h"
#include "settings/SettingsTable.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

class QLocale;
class QPageLayout;
class QPageSize;
class QPagedPaintDevice;

using ReportValues = std::array<Value, ItemSlots>;

// Where the values of a report came from: a settings file, the converter or the
// window's screen. Every source can be written as a settings file, which the PDF
// carries.
struct ReportSource
{
    QString description; // one line: "Read from the converter on Com1 (...) at 14:02:31"
    QString name;        // short, for "Differences from NAME": "unit-42.cfg", "the converter"
    ReportValues values;
    // The items the source holds a value for: all of a file, the bulk items of the
    // converter.
    std::array<bool, ItemSlots> known{};
    QByteArray fileBytes;   // the settings file, byte for byte
    QString attachmentName; // the name the PDF gives it
    QDateTime modified;     // when the settings file was last changed
};

struct ReportInput
{
    QString title;   // the user's title line (site, converter); may be empty
    QDateTime made;  // when the report was made
    QString program; // name and version of the program that made it
    ReportSource source;
    ReportValues defaults; // the default set, against which rows are marked
    // The converter's values where they are known (the screen as the source).
    std::optional<std::array<std::optional<Value>, ItemSlots>> unitValues;
    std::optional<ReportSource> compare; // a second source: "Differences from ..."
};

// The value of a setting in words: the choice's text, the number, the text in
// quotes with its blanks kept.
QString ValueInWords(int item, const Value &value);

// The report as one self-contained, well-formed HTML document.
QString ReportHtml(const ReportInput &input);

// The locale whose paper the user uses: LC_ALL, LC_PAPER or LANG, as the C library
// takes them; else the system's.
QLocale PaperLocale();

// The paper of the user's territory: Letter where that is the custom, A4 elsewhere.
QPageSize PageSizeFor(const QLocale &locale);

// A4 or Letter by the locale, upright, with the report's margins.
QPageLayout ReportPageLayout(const QLocale &locale);

// Lays the report out on the device's pages, with "Page N of M" at the foot of
// each; gives the number of pages, 0 when nothing could be painted.
int PaintReport(const ReportInput &input, QPagedPaintDevice &device);

// Writes the report as PDF (archival, with the source's settings file attached) or
// as HTML, by the suffix of path; on A4 or Letter by the locale. False, with the
// reason in *error, when the file cannot be written; an existing file stays as it
// was then.
bool WriteReport(const ReportInput &input, const QString &path, const QLocale &locale,
                 QString *error);
