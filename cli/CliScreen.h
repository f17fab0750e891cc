#pragma once

#include "screen/HeadlessScreen.h"

#include <functional>

// The headless screen of the command-line tool: everything appended to the progress
// pane is also handed on at once, so it reaches standard output as the window
// would show it.
class CliScreen : public HeadlessScreen
{
public:
    void appendProgress(const QString &text) override;

    std::function<void(const QString &text)> onProgress;
};
