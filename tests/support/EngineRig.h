#pragma once

#include "support/ScriptedConverter.h"
#include "support/TestApp.h"

#include <QStringList>

// A started application whose engine is ticked by hand against a scripted converter.
// Every tick is numbered; log lines are kept without their time stamp, with the tick
// on which they were written.
struct EngineRig
{
    int tick = 0;
    TestApp t;
    ScriptedConverter converter{t.port, tick};
    Engine &engine = t.app.engine;
    SettingsTable &table = t.app.table;
    HeadlessScreen &screen = t.screen;
    QStringList log;
    QList<int> logTicks;

    // Starts the program (the first open succeeds unless the port is told to fail)
    // and forgets what start-up wrote.
    explicit EngineRig(const QString &commandLine = QString(), bool failFirstOpen = false)
    {
        t.app.log.onLine = [this](const QString &line) {
            log.append(line.mid(9)); // "HH:MM:SS "
            logTicks.append(tick);
        };
        t.port.failNextOpen = failFirstOpen;
        t.app.StartProgram(commandLine);
        forget();
    }

    void clearLog()
    {
        log.clear();
        logTicks.clear();
    }

    void forget()
    {
        clearLog();
        screen.clearProgress();
        converter.received.clear();
        t.port.takeSent();
    }

    void step(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            ++tick;
            t.app.TmrAfhandelTick();
        }
    }

    // Ticks until the engine is quiet, at most `limit` ticks; true when it got there.
    bool runToQuiet(int limit = 2000)
    {
        for (int i = 0; i < limit; ++i) {
            if (engine.isQuiet())
                return true;
            step();
        }
        return engine.isQuiet();
    }

    // Ticks until the engine state is `state`, at most `limit` ticks.
    bool runToState(qint16 state, int limit = 2000)
    {
        for (int i = 0; i < limit && engine.EngineState != state; ++i)
            step();
        return engine.EngineState == state;
    }
};

// Answers of the converter, built by hand.
inline QByteArray ackAnswer()
{
    return withCheck(hexBytes("01 06 01 00 06 57"));
}
inline QByteArray nackAnswer()
{
    return withCheck(hexBytes("01 06 01 00 15 57"));
}
// A read answer for a CHAR item: the value byte sits where a write request has it.
inline QByteArray charAnswer(int item, int value)
{
    QByteArray a = hexBytes("01 0D 01 00 06 57 1F");
    a.append(char(item));
    a.append(hexBytes("1E 77 1F"));
    a.append(char(value));
    a.append(char(0x1E));
    return withCheck(a);
}
// Request type: the first data byte ("W" write, "w" read, "R", "2", "A").
inline char requestType(const QByteArray &frame)
{
    return frame.size() > 5 ? frame.at(5) : 0;
}
inline int requestItem(const QByteArray &frame)
{
    return frame.size() > 7 ? static_cast<unsigned char>(frame.at(7)) : -1;
}
