#pragma once

#include "base/Dialogs.h"

#include <QPointer>
#include <QWidget>

// Message boxes, questions, file dialogs and the beep of the window program.
class WidgetDialogs : public Dialogs
{
public:
    explicit WidgetDialogs(QWidget *parent = nullptr) : m_parent(parent) {}

    // The window the boxes belong to and are centred on.
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    void messageBox(const QString &title, const QString &text, Icon icon) override;
    bool question(const QString &title, const QString &text) override;
    QString openFileName(const QString &presetName, const QString &folder,
                         const QString &filter) override;
    QString saveFileName(const QString &presetName, const QString &folder,
                         const QString &filter) override;
    void beep() override;
    bool confirmChanges(const QList<PlannedChange> &changes) override;
    std::optional<int>
    chooseSnapshot(const QList<SnapshotRow> &rows,
                   const std::function<QList<PlannedChange>(int row)> &differences) override;
    std::optional<QString> textLine(const QString &title, const QString &label,
                                    const QString &text = QString()) override;
    void printPreview(const std::function<void(QPagedPaintDevice &device)> &paint) override;

    // The program's filters are written "description | pattern | description |
    // pattern ..."; Qt wants "description (pattern);;...".
    static QString qtFilter(const QString &filter);
    // The extension a saved file gets when the user types none: that of the
    // filter's first pattern ("cfg" for "*.cfg"), or none.
    static QString defaultSuffix(const QString &filter);

private:
    QString fileName(bool save, const QString &presetName, const QString &folder,
                     const QString &filter);

    QPointer<QWidget> m_parent;
};
