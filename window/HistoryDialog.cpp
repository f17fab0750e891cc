#include "window/HistoryDialog.h"

#include "base/Maker.h"
#include "window/ChangesDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

HistoryDialog::HistoryDialog(const QList<SnapshotRow> &rows, Differences differences,
                             QWidget *parent)
    : QDialog(parent), m_differences(std::move(differences)),
      m_snapshots(new QTableWidget(int(rows.size()), 4, this)), m_differencesLabel(new QLabel),
      m_differencesTable(new QTableWidget(0, 5, this))
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(TitleBrivane);
    setModal(true);

    auto *intro = new QLabel(
        rows.isEmpty()
            ? QStringLiteral("No snapshots yet: one is kept whenever all settings have been read "
                             "from a converter or written to it.")
            : QStringLiteral("Snapshots of the converters' settings, newest first:"));
    intro->setWordWrap(true);
    m_snapshots->setObjectName(QStringLiteral("TableHistory"));
    m_snapshots->setHorizontalHeaderLabels({QStringLiteral("Date and time"), QStringLiteral("Port"),
                                            QStringLiteral("Read or written"),
                                            QStringLiteral("Settings changed")});
    m_snapshots->verticalHeader()->hide();
    m_snapshots->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_snapshots->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_snapshots->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int row = 0; row < rows.size(); ++row) {
        const SnapshotRow &r = rows[row];
        const QStringList cells = {r.taken, r.port, r.event, r.changes};
        for (int column = 0; column < cells.size(); ++column)
            m_snapshots->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    m_snapshots->resizeColumnsToContents();
    m_snapshots->horizontalHeader()->setStretchLastSection(true);

    m_differencesLabel->setObjectName(QStringLiteral("LblHistoryDifferences"));
    m_differencesTable->setObjectName(QStringLiteral("TableHistoryDifferences"));

    auto *buttons = new QDialogButtonBox;
    m_load = buttons->addButton(QStringLiteral("Load into screen"), QDialogButtonBox::AcceptRole);
    m_load->setObjectName(QStringLiteral("CmdLoadSnapshot"));
    QPushButton *close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("CmdCloseHistory"));
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_snapshots, &QTableWidget::itemSelectionChanged, this,
            &HistoryDialog::showDifferences);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_snapshots, 1);
    layout->addWidget(m_differencesLabel);
    layout->addWidget(m_differencesTable, 1);
    layout->addWidget(buttons);
    // Selecting the newest fills the differences; with none, they say what to do.
    if (rows.isEmpty())
        showDifferences();
    else
        m_snapshots->selectRow(0);
    resize(820, 560);
}

std::optional<int> HistoryDialog::chosen() const
{
    const QList<QTableWidgetSelectionRange> ranges = m_snapshots->selectedRanges();
    if (ranges.isEmpty())
        return std::nullopt;
    return ranges.first().topRow();
}

void HistoryDialog::showDifferences()
{
    const std::optional<int> row = chosen();
    m_load->setEnabled(row.has_value());
    const QList<PlannedChange> differences = row ? m_differences(*row) : QList<PlannedChange>();
    FillChangesTable(m_differencesTable, differences, QStringLiteral("Snapshot"),
                     QStringLiteral("On screen"));
    if (!row)
        m_differencesLabel->setText(QStringLiteral("Select a snapshot to compare it with the "
                                                   "screen."));
    else if (differences.isEmpty())
        m_differencesLabel->setText(QStringLiteral("The screen shows the settings of this "
                                                   "snapshot."));
    else
        m_differencesLabel->setText(
            differences.size() == 1
                ? QStringLiteral("1 setting differs from the screen:")
                : QStringLiteral("%1 settings differ from the screen:").arg(differences.size()));
}
