#include "support/ScriptedDialogs.h"

#include <QPdfWriter>

void ScriptedDialogs::messageBox(const QString &title, const QString &text, Icon icon)
{
    boxes.append({title, text, icon});
    if (whileBoxOpen)
        whileBoxOpen();
}

bool ScriptedDialogs::question(const QString &title, const QString &text)
{
    questions.append({title, text, Icon::None});
    return questionAnswers.isEmpty() ? true : questionAnswers.takeFirst();
}

QString ScriptedDialogs::openFileName(const QString &presetName, const QString &folder,
                                      const QString &filter)
{
    fileRequests.append(QStringList{"open", presetName, folder, filter}.join('|'));
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString ScriptedDialogs::saveFileName(const QString &presetName, const QString &folder,
                                      const QString &filter)
{
    fileRequests.append(QStringList{"save", presetName, folder, filter}.join('|'));
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

bool ScriptedDialogs::confirmChanges(const QList<PlannedChange> &changes)
{
    changeLists.append(changes);
    return changeAnswers.isEmpty() ? true : changeAnswers.takeFirst();
}

void ScriptedDialogs::printPreview(const std::function<void(QPagedPaintDevice &device)> &paint)
{
    QPdfWriter printer(printTo);
    paint(printer);
}
