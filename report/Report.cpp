#include "report/Report.h"

#include "base/TextFiles.h"
#include "base/TextHelpers.h"
#include "report/PdfArchive.h"
#include "screen/Catalogue.h"
#include "screen/OfferedPages.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFileInfo>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <memory>

namespace {

const QString Heading = QStringLiteral("Configuration report");

// The document's title: the heading, and the user's title line after it.
QString ReportTitle(const ReportInput &input)
{
    return input.title.isEmpty() ? Heading : Heading + QStringLiteral(": ") + input.title;
}

QString Escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString Plural(int count, const QString &one, const QString &many)
{
    return QString::number(count) + QLatin1Char(' ') + (count == 1 ? one : many);
}

// What a row says beside its value: "*" when it differs from the default set, and
// the converter's value when the screen shows another.
struct Row
{
    int item;
    QString value;
    bool differsFromDefault;
    std::optional<QString> onConverter;
};

QString CellRow(const QStringList &cells, const QString &rowClass = QString())
{
    QString html = rowClass.isEmpty() ? QStringLiteral("<tr>")
                                      : QStringLiteral("<tr class=\"%1\">").arg(rowClass);
    for (const QString &cell : cells)
        html += QStringLiteral("<td>") + cell + QStringLiteral("</td>");
    return html + QStringLiteral("</tr>\n");
}

// A section of the report: a table under a title (and any lines below it), with
// the names of its columns and its rows.
struct Section
{
    QString title;
    QString under;
    QStringList columns; // no header row when all are empty
    QList<int> widths;   // per cent
    QStringList rows;
    QString tableClass;
    bool keepTogether = false; // on one page, never split
};

// Rows [from, to) of a section as one table; its head again when a page goes on
// with the section.
QString SectionHtml(const Section &section, qsizetype from, qsizetype to, bool spacer)
{
    // An empty paragraph keeps the sections apart.
    QString html = spacer ? QStringLiteral("<p>&#160;</p>\n") : QString();
    html += QStringLiteral("<table class=\"%1\" width=\"100%\" cellspacing=\"0\" "
                           "cellpadding=\"4\">\n<thead>\n")
                .arg(section.tableClass);
    html += QStringLiteral("<tr><td class=\"title\" colspan=\"%1\"><b class=\"title\">%2</b>%3"
                           "</td></tr>\n")
                .arg(section.columns.size())
                .arg(section.title + (from > 0 ? QStringLiteral(" (continued)") : QString()),
                     section.under.isEmpty() || from > 0 ? QString()
                                                         : QStringLiteral("<br/>") + section.under);
    if (!section.columns.join(QString()).isEmpty()) {
        html += QStringLiteral("<tr>");
        for (int i = 0; i < section.columns.size(); ++i)
            html += QStringLiteral("<th width=\"%1%\">%2</th>")
                        .arg(section.widths.at(i))
                        .arg(section.columns.at(i));
        html += QStringLiteral("</tr>\n");
    }
    html += QStringLiteral("</thead>\n<tbody>\n");
    for (qsizetype row = from; row < to; ++row)
        html += section.rows.at(row);
    return html + QStringLiteral("</tbody>\n</table>\n");
}

// The report's parts: the lines at its top and its sections.
struct Parts
{
    QString title;
    QString top;
    QList<Section> sections;
};

QString DocumentHtml(const QString &title, const QString &body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                          "<title>") +
           Escaped(title) +
           QStringLiteral(
               "</title>\n<style>\n"
               "body { font-family: 'DejaVu Sans', Arial, sans-serif; font-size: 9pt; }\n"
               "h1 { font-size: 17pt; margin-bottom: 4pt; }\n"
               "table.settings { border-collapse: collapse; }\n"
               "table.settings th, table.settings td { border: 1px solid #808080; }\n"
               "table.settings td.title { border-style: none; padding-left: 0; }\n"
               "b.title { font-size: 12pt; }\n"
               "th { background-color: #e6e6e6; text-align: left; }\n"
               "td { vertical-align: top; }\n"
               "tr.differs td { font-weight: bold; }\n"
               "span.text { white-space: pre-wrap; }\n"
               "p { margin-top: 2pt; margin-bottom: 2pt; }\n"
               "</style>\n</head>\n<body>\n") +
           body + QStringLiteral("</body>\n</html>\n");
}

} // namespace

QString ValueInWords(int item, const Value &value)
{
    if (!IsNumberItem(item))
        return QLatin1Char('"') + value.asText() + QLatin1Char('"');
    if (const std::optional<QString> choice = ChoiceTextOf(item, value))
        return *choice;
    const std::optional<qint16> number = value.asInt16();
    const QString digits = number ? NumToText(*number) : value.asText();
    const CatalogueItem *entry = CatalogueEntry(item);
    if (!entry || entry->list == ChoiceList::None || !number)
        return digits;
    if (*number == -1)
        return QStringLiteral("(no choice)");
    return digits + QStringLiteral(" (no such choice)");
}

namespace {

Parts ReportParts(const ReportInput &input)
{
    Parts parts;
    parts.title = ReportTitle(input);
    QList<QPair<const OfferedPage *, QList<Row>>> pages;
    int fromDefault = 0;
    int fromConverter = 0;
    for (const OfferedPage &page : OfferedPages()) {
        QList<Row> rows;
        for (int item : page.items) {
            Row row{item, ValueInWords(item, input.source.values[item]),
                    input.source.values[item] != input.defaults[item], std::nullopt};
            if (input.unitValues && (*input.unitValues)[item] &&
                *(*input.unitValues)[item] != input.source.values[item]) {
                row.onConverter = ValueInWords(item, *(*input.unitValues)[item]);
                ++fromConverter;
            }
            fromDefault += row.differsFromDefault ? 1 : 0;
            rows.append(row);
        }
        pages.append({&page, rows});
    }

    QString &html = parts.top;
    html += QStringLiteral("<h1>%1</h1>\n").arg(Heading);
    if (!input.title.isEmpty())
        html += QStringLiteral("<p><b>%1</b></p>\n").arg(Escaped(input.title));
    html += QStringLiteral("<p>Made on %1 by %2</p>\n")
                .arg(input.made.toString(QStringLiteral("yyyy-MM-dd 'at' HH:mm:ss")),
                     Escaped(input.program));
    html += QStringLiteral("<p><b>Source:</b> %1</p>\n").arg(Escaped(input.source.description));
    html += QStringLiteral("<p><b>%1 from the default set</b>%2</p>\n")
                .arg(Plural(fromDefault, QStringLiteral("setting differs"),
                            QStringLiteral("settings differ")),
                     fromDefault > 0 ? QStringLiteral(" (marked *)") : QString());
    if (input.unitValues)
        html += QStringLiteral("<p><b>%1 from the converter</b>%2</p>\n")
                    .arg(Plural(fromConverter, QStringLiteral("setting differs"),
                                QStringLiteral("settings differ")),
                         fromConverter > 0
                             ? QStringLiteral(" (the converter's value under the screen's)")
                             : QString());

    for (const auto &[page, rows] : pages) {
        QString caption = Escaped(page->caption);
        QString frame = page->frameCaption.trimmed();
        if (frame.endsWith(QLatin1Char(':')))
            frame.chop(1);
        if (!frame.isEmpty())
            caption += QStringLiteral(": ") + Escaped(frame);
        QStringList body;
        for (const Row &row : rows) {
            QString value =
                QStringLiteral("<span class=\"text\">%1</span>").arg(Escaped(row.value));
            if (row.onConverter)
                value += QStringLiteral("<br/>on the converter: ") + Escaped(*row.onConverter);
            body.append(CellRow({QString::number(row.item), Escaped(LegendOf(row.item)), value,
                                 row.differsFromDefault ? QStringLiteral("*") : QString()},
                                row.differsFromDefault ? QStringLiteral("differs") : QString()));
        }
        parts.sections.append({caption,
                               QString(),
                               {QStringLiteral("Item"), QStringLiteral("Setting"),
                                QStringLiteral("Value"), QStringLiteral("Note")},
                               {7, 38, 45, 10},
                               body,
                               QStringLiteral("settings")});
    }

    if (input.compare) {
        const ReportSource &other = *input.compare;
        QStringList rows;
        int count = 0;
        for (int item = 0; item < FileItemCount; ++item) {
            if (!input.source.known[item] || !other.known[item] ||
                input.source.values[item] == other.values[item])
                continue;
            ++count;
            rows.append(CellRow({QString::number(item), Escaped(LegendOf(item)),
                                 QStringLiteral("<span class=\"text\">%1</span>")
                                     .arg(Escaped(ValueInWords(item, input.source.values[item]))),
                                 QStringLiteral("<span class=\"text\">%1</span>")
                                     .arg(Escaped(ValueInWords(item, other.values[item])))}));
        }
        if (count == 0)
            rows.append(
                CellRow({QString(), QStringLiteral("No setting differs."), QString(), QString()}));
        parts.sections.append({QStringLiteral("Differences from %1").arg(Escaped(other.name)),
                               Escaped(other.description) + QStringLiteral("<br/>") +
                                   Plural(count, QStringLiteral("setting differs"),
                                          QStringLiteral("settings differ")) +
                                   QLatin1Char('.'),
                               {QStringLiteral("Item"), QStringLiteral("Setting"),
                                QStringLiteral("This report"), Escaped(other.name)},
                               {6, 34, 30, 30},
                               rows,
                               QStringLiteral("settings")});
    }

    const QString line = QStringLiteral("______________________________________");
    parts.sections.append(
        {QStringLiteral("Signed"),
         QString(),
         {QString(), QString()},
         {15, 85},
         {CellRow({QStringLiteral("Name:"), line}), CellRow({QStringLiteral("Date:"), line}),
          CellRow({QStringLiteral("Signature:"), line})},
         QStringLiteral("sign"),
         true});
    return parts;
}

// The width of the pages and the text a page's layout is measured with.
struct Pager
{
    QPagedPaintDevice &device;
    QFont font;
    qreal width;
    qreal height;

    std::unique_ptr<QTextDocument> layOut(const QString &html) const
    {
        auto document = std::make_unique<QTextDocument>();
        document->documentLayout()->setPaintDevice(&device);
        document->setDefaultFont(font);
        document->setHtml(html);
        document->setTextWidth(width);
        return document;
    }
};

} // namespace

QString ReportHtml(const ReportInput &input)
{
    const Parts parts = ReportParts(input);
    QString body = parts.top;
    for (const Section &section : parts.sections)
        body += SectionHtml(section, 0, section.rows.size(), true);
    return DocumentHtml(parts.title, body);
}

QLocale PaperLocale()
{
    for (const char *variable : {"LC_ALL", "LC_PAPER", "LANG"}) {
        const QString name = QString::fromLocal8Bit(qgetenv(variable));
        if (!name.isEmpty())
            return QLocale(name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0));
    }
    return QLocale::system();
}

QPageSize PageSizeFor(const QLocale &locale)
{
    // The territories whose paper is Letter; everywhere else A4.
    static const QList<QLocale::Territory> letter = {
        QLocale::UnitedStates, QLocale::Canada,   QLocale::Mexico,      QLocale::Belize,
        QLocale::Chile,        QLocale::Colombia, QLocale::CostaRica,   QLocale::Guatemala,
        QLocale::Nicaragua,    QLocale::Panama,   QLocale::Philippines, QLocale::PuertoRico,
        QLocale::ElSalvador,   QLocale::Venezuela};
    return QPageSize(letter.contains(locale.territory()) ? QPageSize::Letter : QPageSize::A4);
}

QPageLayout ReportPageLayout(const QLocale &locale)
{
    return QPageLayout(PageSizeFor(locale), QPageLayout::Portrait, QMarginsF(14, 14, 14, 12),
                       QPageLayout::Millimeter);
}

int PaintReport(const ReportInput &input, QPagedPaintDevice &device)
{
    // The pages are made here, row by row, rather than by the text layout, which
    // cuts a row whose cells hold more than one line at the foot of a page and puts
    // a paragraph after a table on the wrong page. Each page is a document of its
    // own: on the first the lines at the top, then as many rows as fit, each
    // section's title and column names above its rows on every page it runs onto.
    QFont font(QStringLiteral("DejaVu Sans"), 9);
    // Shaping would join "fi" into one glyph, and the PDF's text would then no
    // longer hold the letters a search looks for.
    font.setStyleStrategy(QFont::PreferNoShaping);
    const qreal footer = QFontMetricsF(font, &device).height() * 2;
    const Pager pager{device, font, qreal(device.width()), device.height() - footer};
    const Parts parts = ReportParts(input);

    // Every row as (section, row), in order.
    QList<QPair<int, qsizetype>> rows;
    for (int section = 0; section < parts.sections.size(); ++section) {
        for (qsizetype row = 0; row < parts.sections.at(section).rows.size(); ++row)
            rows.append({section, row});
    }
    const auto pageHtml = [&](qsizetype from, qsizetype to) {
        QString body = from == 0 ? parts.top : QString();
        for (qsizetype at = from; at < to;) {
            const int section = rows.at(at).first;
            qsizetype end = at;
            while (end < to && rows.at(end).first == section)
                ++end;
            body += SectionHtml(parts.sections.at(section), rows.at(at).second,
                                rows.at(end - 1).second + 1, at > from || from == 0);
            at = end;
        }
        return DocumentHtml(parts.title, body);
    };
    const auto fits = [&](qsizetype from, qsizetype to) {
        return pager.layOut(pageHtml(from, to))->size().height() <= pager.height;
    };

    // Where each row ends, and how high each section's head is, in the whole report
    // laid out in one piece: from these, how many rows a page takes. The page is then
    // laid out to check, and gives up rows at its end until they fit.
    const auto whole = pager.layOut(pageHtml(0, rows.size()));
    QList<qreal> rowTop(rows.size() + 1, 0);
    QList<qreal> rowBottom(rows.size(), 0);
    QList<qreal> headHeight(parts.sections.size(), 0);
    const QList<QTextFrame *> tables = whole->rootFrame()->childFrames();
    if (tables.size() == parts.sections.size()) {
        QAbstractTextDocumentLayout *layout = whole->documentLayout();
        qsizetype at = 0;
        for (int section = 0; section < tables.size(); ++section) {
            auto *table = qobject_cast<QTextTable *>(tables.at(section));
            const int headRows =
                table ? table->rows() - int(parts.sections.at(section).rows.size()) : 0;
            if (!table || headRows < 1)
                break;
            const auto top = [&](int row) {
                return layout
                    ->blockBoundingRect(table->cellAt(row, 0).firstCursorPosition().block())
                    .top();
            };
            const QRectF box = layout->frameBoundingRect(table);
            headHeight[section] = top(headRows) - box.top();
            for (int row = headRows; row < table->rows(); ++row, ++at) {
                rowTop[at] = top(row);
                rowBottom[at] = row + 1 < table->rows() ? top(row + 1) : box.bottom();
            }
        }
    }
    QList<qsizetype> starts;
    for (qsizetype from = 0; from < rows.size();) {
        starts.append(from);
        const qreal origin = from == 0 ? 0 : rowTop[from] - headHeight[rows.at(from).first];
        qsizetype to = from + 1;
        while (to < rows.size() && rowBottom[to] - origin <= pager.height)
            ++to;
        while (to > from + 1 && !fits(from, to))
            --to;
        // A section kept together goes to the next page whole.
        if (to < rows.size() && rows.at(to).first == rows.at(to - 1).first &&
            parts.sections.at(rows.at(to).first).keepTogether && to - rows.at(to).second > from)
            to -= rows.at(to).second;
        from = to;
    }
    starts.append(rows.size());

    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    const int pages = int(starts.size()) - 1;
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            device.newPage();
        const auto document = pager.layOut(pageHtml(starts.at(page), starts.at(page + 1)));
        document->drawContents(&painter);
        painter.setFont(font);
        painter.drawText(QRectF(0, pager.height, pager.width, footer),
                         Qt::AlignRight | Qt::AlignBottom,
                         QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages));
    }
    painter.end();
    return pages;
}

bool WriteReport(const ReportInput &input, const QString &path, const QLocale &locale,
                 QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    QByteArray bytes;
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm")) {
        bytes = ReportHtml(input).toUtf8();
    } else if (suffix == QLatin1String("pdf")) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&buffer);
            writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
            writer.setTitle(ReportTitle(input));
            writer.setCreator(input.program);
            writer.setPageLayout(ReportPageLayout(locale));
            if (PaintReport(input, writer) == 0) {
                *error = QStringLiteral("the report could not be laid out");
                return false;
            }
        }
        buffer.close();
        const std::optional<QByteArray> archival = AttachToArchivalPdf(
            bytes, {input.source.attachmentName, input.source.fileBytes,
                    input.source.modified.isValid() ? input.source.modified : input.made,
                    "text/plain", QStringLiteral("The settings file this report shows")});
        if (!archival) {
            *error = QStringLiteral("the PDF writer's output cannot carry the settings file");
            return false;
        }
        bytes = *archival;
    } else {
        *error = QStringLiteral("the report's file name must end in .pdf or .html");
        return false;
    }
    if (!WriteFileWhole(path, bytes)) {
        *error = QStringLiteral("cannot write the report \"%1\"").arg(path);
        return false;
    }
    return true;
}
