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

namespace {

const QString Heading = QStringLiteral("Configuration report");

QString Escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// The legend without its trailing blanks and colon; "" for an item without one.
QString LegendOf(int item)
{
    const CatalogueItem *entry = CatalogueEntry(item);
    return entry ? entry->legend.trimmed() : QString();
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

// A section of the report: one table whose head holds the section's title (and
// any lines under it) and the column names. The layout repeats the head on every
// page the table runs onto and never cuts a row in two, so no title stands apart
// from its rows and no line is cut at the foot of a page.
QString Section(const QString &title, const QString &under, const QStringList &columns,
                const QList<int> &widths, const QString &rows, const QString &tableClass)
{
    // An empty paragraph keeps the sections apart.
    QString html = QStringLiteral("<p>&#160;</p>\n<table class=\"%1\" width=\"100%\" "
                                  "cellspacing=\"0\" cellpadding=\"4\">\n<thead>\n")
                       .arg(tableClass);
    html += QStringLiteral("<tr><td class=\"title\" colspan=\"%1\"><b class=\"title\">%2</b>%3"
                           "</td></tr>\n")
                .arg(columns.size())
                .arg(title, under.isEmpty() ? QString() : QStringLiteral("<br/>") + under);
    if (tableClass == QLatin1String("settings")) {
        html += QStringLiteral("<tr>");
        for (int i = 0; i < columns.size(); ++i)
            html +=
                QStringLiteral("<th width=\"%1%\">%2</th>").arg(widths.at(i)).arg(columns.at(i));
        html += QStringLiteral("</tr>\n");
    }
    return html + QStringLiteral("</thead>\n<tbody>\n") + rows +
           QStringLiteral("</tbody>\n</table>\n");
}

} // namespace

QString ValueInWords(int item, const Value &value)
{
    if (!IsNumberItem(item))
        return QLatin1Char('"') + value.asText() + QLatin1Char('"');
    const std::optional<qint16> number = value.asInt16();
    const QString digits = number ? NumToText(*number) : value.asText();
    const CatalogueItem *entry = CatalogueEntry(item);
    if (!entry || entry->list == ChoiceList::None || !number)
        return digits;
    const QStringList choices = ChoiceEntries(entry->list);
    if (*number == -1)
        return QStringLiteral("(no choice)");
    if (*number < 0 || *number >= choices.size())
        return digits + QStringLiteral(" (no such choice)");
    return choices.at(*number);
}

QString ReportHtml(const ReportInput &input)
{
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

    QString html = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>");
    html += Escaped(input.title.isEmpty() ? Heading : Heading + QStringLiteral(": ") + input.title);
    html +=
        QStringLiteral("</title>\n<style>\n"
                       "body { font-family: 'DejaVu Sans', Arial, sans-serif; font-size: 10pt; }\n"
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
                       "</style>\n</head>\n<body>\n");
    html += QStringLiteral("<h1>%1</h1>\n").arg(Heading);
    if (!input.title.isEmpty())
        html += QStringLiteral("<p><b>%1</b></p>\n").arg(Escaped(input.title));
    html += QStringLiteral("<p>Made on %1 by %2</p>\n")
                .arg(input.made.toString(QStringLiteral("yyyy-MM-dd 'at' HH:mm:ss")),
                     Escaped(input.program));
    html += QStringLiteral("<p>Source: %1</p>\n").arg(Escaped(input.source.description));
    html += QStringLiteral("<p><b>%1 from the default set</b>%2</p>\n")
                .arg(Plural(fromDefault, QStringLiteral("setting differs"),
                            QStringLiteral("settings differ")),
                     fromDefault > 0 ? QStringLiteral(" (marked *)") : QString());
    if (input.unitValues)
        html += QStringLiteral("<p><b>%1 from the converter</b>%2</p>\n")
                    .arg(Plural(fromConverter, QStringLiteral("setting differs"),
                                QStringLiteral("settings differ")),
                         fromConverter > 0 ? QStringLiteral(" (its value under Note)") : QString());

    for (const auto &[page, rows] : pages) {
        QString caption = Escaped(page->caption);
        QString frame = page->frameCaption.trimmed();
        if (frame.endsWith(QLatin1Char(':')))
            frame.chop(1);
        if (!frame.isEmpty())
            caption += QStringLiteral(": ") + Escaped(frame);
        QString body;
        for (const Row &row : rows) {
            QString note = row.differsFromDefault ? QStringLiteral("*") : QString();
            if (row.onConverter)
                note += (note.isEmpty() ? QString() : QStringLiteral(" ")) +
                        QStringLiteral("on the converter: ") + Escaped(*row.onConverter);
            body += CellRow(
                {QString::number(row.item), Escaped(LegendOf(row.item)),
                 QStringLiteral("<span class=\"text\">%1</span>").arg(Escaped(row.value)), note},
                row.differsFromDefault ? QStringLiteral("differs") : QString());
        }
        html += Section(caption, QString(),
                        {QStringLiteral("Item"), QStringLiteral("Setting"), QStringLiteral("Value"),
                         QStringLiteral("Note")},
                        {8, 40, 40, 12}, body, QStringLiteral("settings"));
    }

    if (input.compare) {
        const ReportSource &other = *input.compare;
        QString rows;
        int count = 0;
        for (int item = 0; item < FileItemCount; ++item) {
            if (!input.source.known[item] || !other.known[item] ||
                input.source.values[item] == other.values[item])
                continue;
            ++count;
            rows += CellRow({QString::number(item), Escaped(LegendOf(item)),
                             QStringLiteral("<span class=\"text\">%1</span>")
                                 .arg(Escaped(ValueInWords(item, input.source.values[item]))),
                             QStringLiteral("<span class=\"text\">%1</span>")
                                 .arg(Escaped(ValueInWords(item, other.values[item])))});
        }
        if (count == 0)
            rows =
                CellRow({QString(), QStringLiteral("No setting differs."), QString(), QString()});
        html += Section(QStringLiteral("Differences from %1").arg(Escaped(other.name)),
                        Escaped(other.description) + QStringLiteral("<br/>") +
                            Plural(count, QStringLiteral("setting differs"),
                                   QStringLiteral("settings differ")) +
                            QLatin1Char('.'),
                        {QStringLiteral("Item"), QStringLiteral("Setting"),
                         QStringLiteral("This report"), Escaped(other.name)},
                        {8, 32, 30, 30}, rows, QStringLiteral("settings"));
    }

    const QString line = QStringLiteral("______________________________________");
    html += Section(QStringLiteral("Signed"), QString(), {QString(), QString()}, {15, 85},
                    CellRow({QStringLiteral("Name:"), line}) +
                        CellRow({QStringLiteral("Date:"), line}) +
                        CellRow({QStringLiteral("Signature:"), line}),
                    QStringLiteral("sign"));
    html += QStringLiteral("</body>\n</html>\n");
    return html;
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

int PaintReport(const QString &html, QPagedPaintDevice &device)
{
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&device);
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    // Shaping would join "fi" into one glyph, and the PDF's text would then no
    // longer hold the letters a search looks for.
    font.setStyleStrategy(QFont::PreferNoShaping);
    document.setDefaultFont(font);
    document.setHtml(html);

    const QFontMetricsF metrics(font, &device);
    const qreal footer = metrics.height() * 2;
    const QSizeF page(device.width(), device.height() - footer);
    document.setPageSize(page);
    const int pages = document.pageCount();
    for (int index = 0; index < pages; ++index) {
        if (index > 0)
            device.newPage();
        const QRectF area(0, index * page.height(), page.width(), page.height());
        painter.save();
        painter.translate(0, -area.top());
        painter.setClipRect(area);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = area;
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        painter.setFont(font);
        painter.drawText(QRectF(0, page.height(), page.width(), footer),
                         Qt::AlignRight | Qt::AlignBottom,
                         QStringLiteral("Page %1 of %2").arg(index + 1).arg(pages));
    }
    painter.end();
    return pages;
}

bool WriteReport(const ReportInput &input, const QString &path, const QLocale &locale,
                 QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString html = ReportHtml(input);
    QByteArray bytes;
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm")) {
        bytes = html.toUtf8();
    } else if (suffix == QLatin1String("pdf")) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&buffer);
            writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
            writer.setTitle(input.title.isEmpty() ? Heading
                                                  : Heading + QStringLiteral(": ") + input.title);
            writer.setCreator(input.program);
            writer.setPageLayout(QPageLayout(PageSizeFor(locale), QPageLayout::Portrait,
                                             QMarginsF(18, 15, 18, 12), QPageLayout::Millimeter));
            if (PaintReport(html, writer) == 0) {
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
