#pragma once

#include "base/Dialogs.h"

#include <QStringList>
#include <functional>

// Dialogs for a tool without a window. A message box's text is handed on (to
// standard error) and remembered; every question answers OK, since the user has
// already confirmed by asking for the command; no file dialog is ever needed.
class CliDialogs : public Dialogs
{
public:
    void messageBox(const QString &title, const QString &text, Icon icon) override;
    bool question(const QString &title, const QString &text) override;
    QString openFileName(const QString &presetName, const QString &folder,
                         const QString &filter) override;
    QString saveFileName(const QString &presetName, const QString &folder,
                         const QString &filter) override;
    void beep() override {}
    // Handed to onChanges; without one the changes are written.
    bool confirmChanges(const QList<PlannedChange> &changes) override
    {
        return onChanges ? onChanges(changes) : true;
    }

    // The text of every box shown, line breaks made blanks.
    QStringList boxes;
    std::function<void(const QString &text)> onBox;
    std::function<bool(const QList<PlannedChange> &changes)> onChanges;
};
