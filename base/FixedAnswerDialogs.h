#pragma once

#include "base/Dialogs.h"

#include <QStringList>

// Dialogs with nobody to ask, for work that runs unattended in-process (reading a
// file for a report, the fuzz targets, the benchmarks): every question gets the same
// answer, every file dialog is cancelled, and each message box is kept as
// "title|text" for the caller to look at.
class FixedAnswerDialogs : public Dialogs
{
public:
    explicit FixedAnswerDialogs(bool answer) : answer_(answer) {}

    void messageBox(const QString &title, const QString &text, Icon) override
    {
        boxes << title + QLatin1Char('|') + text;
    }
    bool question(const QString &, const QString &) override { return answer_; }
    QString openFileName(const QString &, const QString &, const QString &) override
    {
        return QString();
    }
    QString saveFileName(const QString &, const QString &, const QString &) override
    {
        return QString();
    }
    void beep() override {}
    bool confirmChanges(const QList<PlannedChange> &) override { return answer_; }

    QStringList boxes;

private:
    bool answer_;
};
