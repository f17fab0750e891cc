#include "window/ChangesDialog.h"

#include "base/Maker.h"
#include "screen/OfferedPages.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The page of the main window a setting is on: the two ESPA inputs have the same
// legends, only their page tells them apart. Only settings on those pages are ever
// compared; any other counts as general.
QString GroupOf(int item)
{
    for (const OfferedPage &page : OfferedPages()) {
        if (page.items.contains(item))
            return page.caption;
    }
    return QStringLiteral("General settings");
}

} // namespace

void FillChangesTable(QTableWidget *table, const QList<PlannedChange> &changes,
                      const QString &unitHeading, const QString &wantedHeading)
{
    table->clear();
    table->setColumnCount(5);
    table->setRowCount(int(changes.size()));
    table->setHorizontalHeaderLabels({QStringLiteral("Item"), QStringLiteral("Group"),
                                      QStringLiteral("Setting"), unitHeading, wantedHeading});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int row = 0; row < changes.size(); ++row) {
        const PlannedChange &change = changes[row];
        const QStringList cells = {QString::number(change.item), GroupOf(change.item),
                                   change.legend, change.unitText, change.wantedText};
        for (int column = 0; column < cells.size(); ++column)
            table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
}

ChangesDialog::ChangesDialog(const QList<PlannedChange> &changes, QWidget *parent)
    : QDialog(parent), m_table(new QTableWidget(int(changes.size()), 5, this))
{
    setObjectName(QStringLiteral("frmChanges"));
    setWindowTitle(TitleBrivane);
    setModal(true);

    auto *intro = new QLabel(QStringLiteral("These settings differ from what the unit holds:"));
    m_table->setObjectName(QStringLiteral("TableChanges"));
    FillChangesTable(m_table, changes, QStringLiteral("On the unit"), QStringLiteral("New value"));

    auto *buttons = new QDialogButtonBox;
    QPushButton *write = buttons->addButton(
        changes.size() == 1 ? QStringLiteral("Write 1 change")
                            : QStringLiteral("Write %1 changes").arg(changes.size()),
        QDialogButtonBox::AcceptRole);
    write->setObjectName(QStringLiteral("CmdWriteChanges"));
    QPushButton *cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CmdCancelChanges"));
    // As in the program's questions, the action asked for is the default and Escape
    // cancels.
    write->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    int width = 0;
    for (int column = 0; column < m_table->columnCount(); ++column)
        width += m_table->columnWidth(column);
    resize(qMin(width + 60, 900), qMin(160 + 30 * int(changes.size()), 600));
}
