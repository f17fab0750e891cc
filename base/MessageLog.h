#pragma once

#include "base/Clock.h"
#include "base/Globals.h"

#include <QString>
#include <array>
#include <functional>

// The message buffer behind the 25-line message window and the daily log file
// (module Logfile).
class MessageLog
{
public:
    static constexpr int LineSlots = 25;

    MessageLog(Globals &globals, const Clock &clock);

    // Time-stamps the text, keeps it in the buffer and appends it to Log/DDMMYYYY.log
    // in the program folder. Never fails toward the caller.
    void WriteLog(const QString &text);
    void AddMessageLine(const QString &line);
    void ClearMessageLines();

    // The day's log file for a moment in time.
    QString logFilePath(const QDateTime &when) const;

    std::array<QString, LineSlots> MessageLines;
    int MessageLineCount = 0;

    // Called with every line that WriteLog keeps (time stamp included); the
    // command-line tool prints them.
    std::function<void(const QString &line)> onLine;
    // Called with the file and the reason whenever a line could not be filed; the
    // line itself still goes to the message window and onLine.
    std::function<void(const QString &reason)> onLogFailed;

private:
    Globals &m_globals;
    const Clock &m_clock;
};
