#pragma once

#include "base/Dialogs.h"

#include <QDialog>

class QTableWidget;

// The changes "Write changed settings to unit" is about to write, one row per
// setting: item, the group (page) it belongs to, setting, what the unit holds, the
// new value. "Write N changes" accepts, "Cancel" rejects.
class ChangesDialog : public QDialog
{
public:
    ChangesDialog(const QList<PlannedChange> &changes, QWidget *parent);

    QTableWidget *table() const { return m_table; }

private:
    QTableWidget *m_table;
};

// Fills table with one row per setting: item, group (page), setting, the two values
// under the two headings given.
void FillChangesTable(QTableWidget *table, const QList<PlannedChange> &changes,
                      const QString &unitHeading, const QString &wantedHeading);
