#include "cli/CliScreen.h"

void CliScreen::appendProgress(const QString &text)
{
    HeadlessScreen::appendProgress(text);
    if (onProgress)
        onProgress(text);
}
