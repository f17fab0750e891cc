#pragma once

#include "base/Dialogs.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QTableWidget;

// "History...": the snapshots of the converters' settings, newest first (date and
// time, port, read or written, how many settings differ from the snapshot before it).
// Selecting one lists where it differs from the screen; "Load into screen" accepts
// with that snapshot chosen, "Close" rejects.
class HistoryDialog : public QDialog
{
public:
    using Differences = std::function<QList<PlannedChange>(int row)>;

    HistoryDialog(const QList<SnapshotRow> &rows, Differences differences, QWidget *parent);

    // The selected row; none while no row is selected.
    std::optional<int> chosen() const;

private:
    void showDifferences();

    Differences m_differences;
    QTableWidget *m_snapshots;
    QLabel *m_differencesLabel;
    QTableWidget *m_differencesTable;
    QPushButton *m_load;
};
