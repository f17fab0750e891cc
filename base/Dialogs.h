#pragma once

#include "base/Value.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QPagedPaintDevice;

// One setting that "Write changed settings" found different on the unit: what the
// unit holds and what would be written, as values and as the texts the user reads
// (a choice's text, a number, a text in double quotes).
struct PlannedChange
{
    int item = -1;
    QString legend; // without trailing blanks
    Value unit;
    Value wanted;
    QString unitText;
    QString wantedText;
};

// A snapshot of the settings history as the history dialog lists it.
struct SnapshotRow
{
    QString taken;   // "2026-12-07 10:00:00"
    QString port;    // "Com1"
    QString event;   // "read" or "written"
    QString changes; // how many bulk settings differ from the snapshot before it; "-" for
                     // the oldest, "?" when one of the two cannot be read
};

// Every message box, question, file dialog and beep goes through this, so tests
// can answer them and no test ever waits on a modal window.
class Dialogs
{
public:
    enum class Icon { None, Critical };

    virtual ~Dialogs() = default;

    // A box with one OK button.
    virtual void messageBox(const QString &title, const QString &text, Icon icon) = 0;
    // OK / Cancel, no icon. True for OK; closing the box counts as Cancel.
    virtual bool question(const QString &title, const QString &text) = 0;
    // The chosen file name, or "" when the user cancelled.
    virtual QString openFileName(const QString &presetName, const QString &folder,
                                 const QString &filter) = 0;
    virtual QString saveFileName(const QString &presetName, const QString &folder,
                                 const QString &filter) = 0;
    virtual void beep() = 0;
    // Shows the changes that are about to be written: true to write them, false to
    // send nothing more.
    virtual bool confirmChanges(const QList<PlannedChange> &changes) = 0;

    // One line of text, for example a report's title, offered with `text` to edit;
    // no value when the user cancelled. Without a window: the empty line.
    virtual std::optional<QString> textLine(const QString &title, const QString &label,
                                            const QString &text = QString())
    {
        Q_UNUSED(title);
        Q_UNUSED(label);
        Q_UNUSED(text);
        return QString();
    }
    // The settings history, newest first. differences(row) gives the settings in which
    // that snapshot differs from the screen (unit: the snapshot's value, wanted: the
    // screen's). The row the user loads into the screen; none for Close. Without a
    // window: none.
    virtual std::optional<int>
    chooseSnapshot(const QList<SnapshotRow> &rows,
                   const std::function<QList<PlannedChange>(int row)> &differences)
    {
        Q_UNUSED(rows);
        Q_UNUSED(differences);
        return std::nullopt;
    }
    // A print preview of what paint draws on the pages of a printer, from which the
    // user prints it through the system's print dialog. Without a window: nothing.
    virtual void printPreview(const std::function<void(QPagedPaintDevice &device)> &paint)
    {
        Q_UNUSED(paint);
    }
};
