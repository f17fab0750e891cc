#pragma once

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Globals.h"
#include "base/MessageLog.h"
#include "protocol/ConverterSearch.h"
#include "protocol/Engine.h"
#include "protocol/Frames.h"
#include "screen/ScreenTransfer.h"
#include "serial/Datacom.h"
#include "serial/PortMap.h"
#include "settings/SettingsFiles.h"
#include "settings/SettingsHistory.h"
#include "settings/SettingsTable.h"

#include <functional>
#include <optional>

class Screen;
class SerialBackend;

// The application object: owns the program's state (globals, message buffer,
// settings table, engine) and hands each part what it needs. The window program
// and the command-line tool each make one, with their own screen, dialogs and
// serial backend; every test makes a fresh one.
class Kestrum
{
public:
    Kestrum(Screen &screen, Dialogs &dialogs, SerialBackend &backend, const Clock &clock,
            const QString &programFolder);

    // The start-up sequence: command line, message buffer, table, setup file,
    // catalogue, default file, port and engine start, tabs, logging on.
    void StartProgram(const QString &commandLine);

    // Timer ticks.
    void TmrAfhandelTick();       // 25 ms
    void TmrUpdateVenstersTick(); // 100 ms
    void LedTimerTick();          // 250 ms
    void TimerStartRefreshTick(); // 300 ms, once

    // OpenComPort with the converter's line settings (9600,N,8,1).
    int OpenConverterPort();
    static LineSettings ConverterLineSettings();

    // The converter search takes the program's port for its time: false, and
    // nothing changed, while the engine has work. During the search the engine is
    // not stepped, so nothing re-opens the port under a probe; work asked for
    // meanwhile waits. The end re-opens the port as the settings dialog's Save does.
    bool BeginConverterSearch();
    void EndConverterSearch();
    bool converterSearchRunning() const { return m_searching; }

    // The Com numbers of the program folder and the serial devices present.
    PortMap portMap() const { return PortMap(globals.ProgramFolder, portSources); }

    // Letting the 25 ms engine timer sleep while there is nothing to do, with every
    // tick still happening as if the timer had never slept. The timer that drives the
    // engine calls EngineTimerTick() instead of TmrAfhandelTick(): it gives the
    // milliseconds to the next tick, or 0 when the timer may sleep from now on.
    // Whenever work may have come (a command, a received byte, any event at all),
    // EngineTimerWake() says whether a sleeping timer must start again: it accounts
    // for the ticks that were skipped and gives the milliseconds to the tick the
    // running timer would have made next, else 0. WorkArrived() calls onWork, which
    // the window points at its wake-up.
    bool EngineMayPause() const { return !m_searching && engine.mayPause(); }
    int EngineTimerTick();
    int EngineTimerWake();
    bool engineTimerAsleep() const { return m_pausedAtMs >= 0; }
    // Runs, while the timer sleeps, the ticks it skipped until now (they changed
    // nothing but the counters); done before anything else steps the engine.
    void CatchUpEngineTicks();
    void WorkArrived();
    std::function<void()> onWork;
    static constexpr int EngineTickMs = 25;

    static qint16 DebugLevelFromCommandLine(const QString &commandLine);

    // Keeps what the converter holds in the history: its bulk settings as the engine
    // learnt them, the other items from the default file. A history that cannot be
    // written gets a line in the log; the work goes on.
    void KeepSnapshot(Snapshot::Event event);
    // The port in the history: "ComN", or the device the port was given as.
    QString snapshotPort() const;
    // Told of every snapshot written, and of every one that could not be.
    std::function<void(const SettingsHistory::Kept &kept)> onSnapshot;

    // A port index that replaces the setup file's for one run (the command-line
    // tool's --port N); StartProgram applies it right after reading the setup file.
    std::optional<qint16> PortIndexOverride;

    // Where the port map looks for by-id names, the system's devices and lock
    // files, and where the converter search gets a port for each device: the real
    // ones unless a test puts its own.
    PortSources portSources;
    ConverterSearch::PortFactory probePorts;
    // The devices the converter search tries (kestrum-cli detect --device); when
    // empty, every present device it does not leave alone.
    QStringList searchDevices;

    Screen &screen;
    Dialogs &dialogs;
    const Clock &clock;
    Globals globals;
    MessageLog log;
    SettingsTable table;
    Datacom datacom;
    Frames frames;
    ScreenTransfer transfer;
    SettingsFiles files;
    Engine engine;
    SettingsHistory history;

    ~Kestrum();
    Kestrum(const Kestrum &) = delete;
    Kestrum &operator=(const Kestrum &) = delete;

private:
    SerialBackend &m_backend;
    // While the engine timer sleeps: when its last tick was (counted on by the ticks
    // caught up since); -1 while it runs.
    qint64 m_pausedAtMs = -1;
    bool m_searching = false;
};
