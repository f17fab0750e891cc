#include "app/Kestrum.h"

#include "base/SetupFile.h"
#include "screen/Catalogue.h"
#include "screen/Screen.h"
#include "serial/PortBackend.h"

#include <algorithm>

Kestrum::Kestrum(Screen &screen_, Dialogs &dialogs_, SerialBackend &backend, const Clock &clock_,
                 const QString &programFolder)
    : screen(screen_), dialogs(dialogs_), clock(clock_), log(globals, clock_),
      datacom(globals, log, backend, screen_), frames(datacom), transfer(table, screen_),
      files(globals, table, transfer, dialogs_),
      engine(globals, log, table, datacom, frames, screen_, dialogs_, transfer), history(globals),
      m_backend(backend)
{
    globals.ProgramFolder = programFolder;
    probePorts = [this] {
        auto port = std::make_unique<PortBackend>();
        port->setLockFolder(portSources.lockFolder);
        return port;
    };
    frames.setDelayTicks = [this](int ticks) { engine.DelayTicks = qint16(ticks); };
    // A port that opens while the engine still waits for its start call (the first
    // open at start-up failed) starts the engine, so a fixed port works without a
    // restart of the program.
    datacom.onOpened = [this] {
        if (engine.EngineState == Engine::ST_START) {
            CatchUpEngineTicks();
            engine.EngineStep(10);
        }
    };
    backend.onBytesArrived = [this] { WorkArrived(); };
    engine.onUnitLearnt = [this](Engine::UnitLearnt how) {
        KeepSnapshot(how == Engine::UnitLearnt::Read ? Snapshot::Event::Read
                                                     : Snapshot::Event::Written);
    };
}

Kestrum::~Kestrum()
{
    // The port may outlive this object; its bytes must not reach it afterwards.
    m_backend.onBytesArrived = nullptr;
}

QString Kestrum::snapshotPort() const
{
    const QString &device = datacom.deviceOverride();
    return device.isEmpty() ? QStringLiteral("Com%1").arg(globals.ComPortIndex + 1) : device;
}

void Kestrum::KeepSnapshot(Snapshot::Event event)
{
    // As "read-all --save" writes them: the items the unit was not asked for keep the
    // default file's values (0 or "" without one).
    FileValues values = DefaultSetOf(globals.ProgramFolder);
    for (int item = 0; item < FileItemCount; ++item) {
        if (!IsBulkItem(item))
            continue;
        // Never a snapshot of values the engine has not learnt.
        const Value &unit = table.UnitValue[item];
        if (unit.isEmpty() || (unit.kind() == Value::Kind::Int16 && unit.asInt16() == qint16(-1)))
            return;
        values[item] = unit;
    }
    const SettingsHistory::Kept kept = history.keep(values, snapshotPort(), event, clock.now());
    if (!kept.error.isEmpty())
        log.WriteLog(QStringLiteral("History not kept: ") + kept.error);
    if ((!kept.path.isEmpty() || !kept.error.isEmpty()) && onSnapshot)
        onSnapshot(kept);
}

int Kestrum::EngineTimerTick()
{
    TmrAfhandelTick();
    if (!EngineMayPause())
        return EngineTickMs;
    m_pausedAtMs = clock.monotonicMs();
    return 0;
}

void Kestrum::CatchUpEngineTicks()
{
    if (m_pausedAtMs < 0)
        return;
    const qint64 ticks = std::max<qint64>(0, clock.monotonicMs() - m_pausedAtMs) / EngineTickMs;
    engine.SkipIdleTicks(ticks);
    // The next tick keeps the pace of the ticks before the sleep.
    m_pausedAtMs += ticks * EngineTickMs;
}

int Kestrum::EngineTimerWake()
{
    if (m_pausedAtMs < 0 || EngineMayPause())
        return 0;
    CatchUpEngineTicks();
    const qint64 sinceLastTick = std::max<qint64>(0, clock.monotonicMs() - m_pausedAtMs);
    m_pausedAtMs = -1;
    return int(EngineTickMs - sinceLastTick);
}

void Kestrum::WorkArrived()
{
    if (onWork)
        onWork();
}

qint16 Kestrum::DebugLevelFromCommandLine(const QString &commandLine)
{
    qint16 level = 0;
    if (commandLine.contains(QLatin1String("/LOG")))
        level = 1;
    if (commandLine.contains(QLatin1String("/DEBUG")))
        level = 2;
    return level;
}

// The converter's line: speed code 4 (9600), no parity, 8 data bits, 1 stop bit.
constexpr int ConverterSpeed = 4, ConverterParity = 0, ConverterDataBits = 1, ConverterStopBits = 0;

int Kestrum::OpenConverterPort()
{
    return datacom.OpenComPort(globals.ComPortIndex, ConverterSpeed, ConverterParity,
                               ConverterDataBits, ConverterStopBits, 0);
}

LineSettings Kestrum::ConverterLineSettings()
{
    return Datacom::LineSettingsFor(ConverterSpeed, ConverterParity, ConverterDataBits,
                                    ConverterStopBits);
}

bool Kestrum::BeginConverterSearch()
{
    if (m_searching || engine.hasWork())
        return false;
    m_searching = true;
    datacom.CloseComPort();
    // Ticks during the search serve nothing; a sleeping engine timer is woken so
    // that they are counted as such and not as idle ones.
    WorkArrived();
    return true;
}

void Kestrum::EndConverterSearch()
{
    if (!m_searching)
        return;
    m_searching = false;
    datacom.CloseComPort();
    OpenConverterPort();
}

void Kestrum::StartProgram(const QString &commandLine)
{
    globals.DebugLevel = DebugLevelFromCommandLine(commandLine);
    log.ClearMessageLines();
    table.ResetSettingValues();
    screen.UpdateMessageWindow(log.MessageLines);
    ReadSetupFile(globals);
    if (PortIndexOverride)
        globals.ComPortIndex = *PortIndexOverride;
    globals.UnitType = 3;
    BuildScreen(screen);
    files.ReadDefaultFile();
    // A successful open starts the engine through Datacom::onOpened.
    OpenConverterPort();
    table.ForgetUnitValues();
    table.ClearSettingJobs();
    screen.ArrangeTabs(globals.DebugLevel);
    globals.LogfileMode = 2;
}

void Kestrum::TmrAfhandelTick()
{
    if (!m_searching)
        engine.EngineStep(0);
}

void Kestrum::TmrUpdateVenstersTick()
{
    transfer.MarkControls();
}

static void stepLamp(bool &activity, bool &lit, Screen &screen, Lamp lamp)
{
    if (!activity)
        return;
    if (lit) {
        lit = false;
        activity = false;
        screen.setLamp(lamp, false);
    } else {
        lit = true;
        screen.setLamp(lamp, true);
    }
}

void Kestrum::LedTimerTick()
{
    if (globals.LogfileMode > 0)
        screen.UpdateMessageWindow(log.MessageLines);
    stepLamp(globals.TxActivity, globals.TxLampLit, screen, Lamp::Tx);
    stepLamp(globals.RxActivity, globals.RxLampLit, screen, Lamp::Rx);
}

void Kestrum::TimerStartRefreshTick()
{
    transfer.SettingsToControls();
}
