#pragma once

#include "app/Kestrum.h"
#include "screen/HeadlessScreen.h"
#include "serial/MemorySerialBackend.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>

// A whole application over a headless screen, scripted dialogs, an in-memory port
// and a fake clock, in a temporary program folder: every test starts fresh.
struct TestApp
{
    QTemporaryDir home;
    HeadlessScreen screen;
    ScriptedDialogs dialogs;
    MemorySerialBackend port;
    FakeClock clock;
    Kestrum app{screen, dialogs, port, clock, home.path()};

    QString path(const QString &name) const { return home.filePath(name); }
    // Runs n engine ticks.
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            app.TmrAfhandelTick();
    }
};
