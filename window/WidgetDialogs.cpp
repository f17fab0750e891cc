#include "window/WidgetDialogs.h"

#include "window/ChangesDialog.h"
#include "window/HistoryDialog.h"

#include "report/Report.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>

void WidgetDialogs::messageBox(const QString &title, const QString &text, Icon icon)
{
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, title,
                    text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool WidgetDialogs::confirmChanges(const QList<PlannedChange> &changes)
{
    ChangesDialog dialog(changes, m_parent);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<int>
WidgetDialogs::chooseSnapshot(const QList<SnapshotRow> &rows,
                              const std::function<QList<PlannedChange>(int row)> &differences)
{
    HistoryDialog dialog(rows, differences, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

bool WidgetDialogs::question(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                    m_parent);
    box.setDefaultButton(QMessageBox::Ok);
    // Closing the box or pressing Escape answers Cancel.
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

QString WidgetDialogs::openFileName(const QString &presetName, const QString &folder,
                                    const QString &filter)
{
    return fileName(false, presetName, folder, filter);
}

QString WidgetDialogs::saveFileName(const QString &presetName, const QString &folder,
                                    const QString &filter)
{
    return fileName(true, presetName, folder, filter);
}

QString WidgetDialogs::fileName(bool save, const QString &presetName, const QString &folder,
                                const QString &filter)
{
    QFileDialog dialog(m_parent, QString(), folder, qtFilter(filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save)
        dialog.setDefaultSuffix(defaultSuffix(filter));
    dialog.selectFile(presetName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

std::optional<QString> WidgetDialogs::textLine(const QString &title, const QString &label,
                                               const QString &text)
{
    bool ok = false;
    const QString answer =
        QInputDialog::getText(m_parent, title, label, QLineEdit::Normal, text, &ok);
    return ok ? std::optional<QString>(answer) : std::nullopt;
}

void WidgetDialogs::printPreview(const std::function<void(QPagedPaintDevice &device)> &paint)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(ReportPageLayout(PaperLocale()));
    QPrintPreviewDialog dialog(&printer, m_parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                     [&paint](QPrinter *target) { paint(*target); });
    dialog.exec();
}

void WidgetDialogs::beep()
{
    QApplication::beep();
}

QString WidgetDialogs::qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        const QString pattern = parts.at(i + 1).trimmed();
        // Qt reads the patterns from the parentheses of the description.
        if (description.contains(QLatin1Char('(')))
            filters.append(description);
        else
            filters.append(description + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    if (filters.isEmpty() && !filter.trimmed().isEmpty())
        filters.append(filter.trimmed());
    return filters.join(QStringLiteral(";;"));
}

QString WidgetDialogs::defaultSuffix(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    if (parts.size() < 2)
        return QString();
    static const QRegularExpression extension(QStringLiteral("^\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = extension.match(parts.at(1).trimmed());
    return match.hasMatch() ? match.captured(1) : QString();
}
