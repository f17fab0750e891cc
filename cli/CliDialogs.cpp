#include "cli/CliDialogs.h"

void CliDialogs::messageBox(const QString &, const QString &text, Icon)
{
    // One line per box: the texts break lines with CR LF.
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    boxes.append(line);
    if (onBox)
        onBox(line);
}

bool CliDialogs::question(const QString &, const QString &)
{
    return true;
}

QString CliDialogs::openFileName(const QString &, const QString &, const QString &)
{
    return QString();
}

QString CliDialogs::saveFileName(const QString &, const QString &, const QString &)
{
    return QString();
}
