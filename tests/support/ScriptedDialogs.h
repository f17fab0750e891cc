#pragma once

#include "base/Dialogs.h"

#include <functional>

#include <QList>
#include <QStringList>

// Dialogs that answer from a script and record what was asked, so no test waits on
// a modal window.
class ScriptedDialogs : public Dialogs
{
public:
    struct Box
    {
        QString title;
        QString text;
        Icon icon;
    };

    void messageBox(const QString &title, const QString &text, Icon icon) override;
    bool question(const QString &title, const QString &text) override;
    QString openFileName(const QString &presetName, const QString &folder,
                         const QString &filter) override;
    QString saveFileName(const QString &presetName, const QString &folder,
                         const QString &filter) override;
    void beep() override { ++beeps; }
    bool confirmChanges(const QList<PlannedChange> &changes) override;
    std::optional<QString> textLine(const QString &, const QString &,
                                    const QString & = QString()) override
    {
        return textAnswers.isEmpty() ? std::nullopt : std::optional(textAnswers.takeFirst());
    }
    // Records the rows and, for each, its differences from the screen; loads the next
    // of snapshotAnswers (none left: Close).
    std::optional<int>
    chooseSnapshot(const QList<SnapshotRow> &rows,
                   const std::function<QList<PlannedChange>(int row)> &differences) override
    {
        historyRows = rows;
        historyDifferences.clear();
        for (int row = 0; row < rows.size(); ++row)
            historyDifferences.append(differences(row));
        return snapshotAnswers.isEmpty() ? std::nullopt : snapshotAnswers.takeFirst();
    }
    // Prints to the PDF file printTo, as a printer chosen in the preview would.
    void printPreview(const std::function<void(QPagedPaintDevice &device)> &paint) override;

    // Answers, used in order; when a list runs out, questions answer OK and file
    // dialogs are cancelled.
    QList<bool> questionAnswers;
    QList<bool> changeAnswers; // lists of changes: true writes them
    QStringList fileAnswers;
    QStringList textAnswers; // lines of text; none left answers Cancel
    QString printTo;
    QList<std::optional<int>> snapshotAnswers;

    QList<Box> boxes;         // message boxes shown
    QList<Box> questions;     // questions asked
    QStringList fileRequests; // "open|preset|folder|filter" or "save|..."
    int beeps = 0;
    QList<QList<PlannedChange>> changeLists; // lists of changes shown
    QList<SnapshotRow> historyRows;          // the history as last shown
    QList<QList<PlannedChange>> historyDifferences;

    // Runs inside messageBox(), as a modal box would run the event loop.
    std::function<void()> whileBoxOpen;
};
