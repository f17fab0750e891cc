#pragma once

#include "base/Dialogs.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <set>
#include <vector>

struct Globals;
class MessageLog;
class SettingsTable;
class Datacom;
class Frames;
class Screen;
class ScreenTransfer;
class Value;

// The protocol engine: one state machine advanced every 25 ms tick. See Engine.cpp
// for how it works.
class Engine
{
public:
    enum State : qint16 {
        ST_START = 0,
        ST_IDLE = 10,
        ST_BUFPOS_SEND = 150,
        ST_BUFPOS_SOH = 151,
        ST_BUFPOS_LEN = 152,
        ST_BUFPOS_DATA = 153,
        ST_CALL_SEND = 161,
        ST_CALL_SOH = 162,
        ST_CALL_LEN = 163,
        ST_CALL_DATA = 164,
        ST_RESET_SEND = 180,
        ST_RESET_SOH = 181,
        ST_RESET_LEN = 182,
        ST_RESET_DATA = 183,
        ST_WRITE_SEND = 310,
        ST_WRITE_SOH = 311,
        ST_WRITE_LEN = 312,
        ST_WRITE_DATA = 313,
        ST_WRITE_DONE = 314,
        ST_READ_SEND = 350,
        ST_READ_SOH = 351,
        ST_READ_LEN = 352,
        ST_READ_DATA = 353,
        ST_READ_DONE = 354,
    };

    Engine(Globals &globals, MessageLog &log, SettingsTable &table, Datacom &datacom,
           Frames &frames, Screen &screen, Dialogs &dialogs, ScreenTransfer &transfer);

    qint16 EngineState = ST_START;
    qint16 DelayTicks = 0;
    qint16 AnswerTicks = 0;
    qint16 IdleTicks = 0;
    qint16 CurrentItem = 0;
    qint16 BulkMode = 0;
    qint16 ErrorCount = 0;
    qint16 BufPos = 0;
    QString ReceiveLine;

    qint16 ReadAllRequest = 0;
    qint16 WriteAllRequest = 0;
    qint16 PagerCallRequest = 0;
    qint16 RestartRequest = 0;
    // "Write changed settings to unit": learn what the unit holds, write only the bulk
    // items that differ from the values to apply, read each back.
    qint16 WriteChangedRequest = 0;

    // Where a "write changed settings" run stands. The reads it sends (what the unit
    // holds, and the read-back) store into UnitValue only: SettingValue and the screen
    // keep the values to apply.
    enum class ApplyStage { None, Learning, Writing, ReadingBack };
    ApplyStage applyStage() const { return m_applyStage; }
    // Cancel: the run stops where it is. A run that has written anything ends, once
    // the exchange under way is over, with a report of what the unit now holds.
    void CancelApply();

    // The engine has just learnt every bulk setting the unit holds, now in UnitValue:
    // each one read (a read-all, the reads of "write changed settings") or confirmed
    // written (a write-all that sent them all, "write changed settings" with every
    // change read back as written). Called within the step that ends that work.
    enum class UnitLearnt { Read, Written };
    std::function<void(UnitLearnt)> onUnitLearnt;

    // A value as the user reads it in a list of changes: a choice by its text (its
    // number when the list has no entry for it), a number by its digits, a text in
    // double quotes.
    QString changeText(int item, const Value &value) const;

    // argument 10 from start-up (and after a later successful open while the engine
    // still waits in ST_START), 0 from every timer tick. A step never runs inside
    // another, also not while a message box of a step is open.
    void EngineStep(int argument);

    void UpdateProgressBar(int n);
    QString ItemLabel(int n) const;
    void AbortJobs();
    void DrainReceivedText();

    // True when the engine has nothing left to do: idle, no job, no request, no series.
    bool isQuiet() const;
    // True when the last step found nothing to do and changed nothing but the counters
    // that run down, and a step now would do the same: everything an idle step does
    // after the work (hiding the bar, forgetting the item, logging received text) has
    // been done, and no work or byte has come since. The timer that drives the engine
    // may then sleep.
    bool mayPause() const;
    // Accounts for n ticks that did not run while the timer slept: exactly what n
    // ticks of a paused engine would have done.
    void SkipIdleTicks(qint64 n);
    // True when something is under way or waiting to be served. An engine still
    // waiting for its start serves nothing, so it has no work.
    bool hasWork() const { return EngineState != ST_START && !isQuiet(); }

private:
    // The request/answer exchanges; each has SEND, SOH, LEN and DATA states in a row.
    enum class Flow { Write, Read, Reset, BufPos, Call };
    // Ways an answer fails, in the order of the report tables in Engine.cpp.
    enum class Failure { NoSoh, NoLen, Checksum, TooLong };

    void stepIdle();
    bool stepWouldChangeNothing() const;
    void idleProgressBar(bool &visible, int &value) const;
    void showProgressBar(bool visible, int value);
    void reportSeriesDone(const QString &text);
    void reportNotSent(const std::vector<int> &notSent);
    void startApply();
    void advanceApply();
    void planApply();
    void startReadBack();
    void finishApply(bool readBackBegun);
    void reportCancelledApply();
    void reportApply(const QString &text);
    void unitLearnt(UnitLearnt how);
    QString shownText(int item, const Value &value) const;
    bool reopenPort();
    void stepWriteSend();
    void stepWriteDone();
    void stepReadSend();
    void stepReadDone();
    void sendServiceFrame(qint16 sendState);
    QByteArray callText() const;
    static Flow flowOf(qint16 state);
    void stepSoh();
    void stepLen();
    void stepData();
    void answerGood();
    void answerFailed(Failure failure);
    bool legendShown(int item) const;

    Globals &m_globals;
    MessageLog &m_log;
    SettingsTable &m_table;
    Datacom &m_datacom;
    Frames &m_frames;
    Screen &m_screen;
    Dialogs &m_dialogs;
    ScreenTransfer &m_transfer;
    bool m_inStep = false;
    // The last step found nothing to do (see mayPause).
    bool m_quietStep = false;
    // What the engine last showed in the progress bar; it is the only one to move it.
    bool m_barShown = false;
    int m_barValue = 0;
    // Items of the running write-all series that no frame could carry.
    std::vector<int> m_notSent;
    ApplyStage m_applyStage = ApplyStage::None;
    // The changes of the running "write changed settings", lowest item first, and
    // which of them the unit acknowledged and was read back.
    QList<PlannedChange> m_applyChanges;
    std::set<int> m_applyWritten;
    std::set<int> m_applyReadBack;
    // Cancel came after the run had begun to write: it ends with a report.
    bool m_applyCancelled = false;
    // The read under way was sent by "write changed settings": its answer goes into
    // UnitValue only, also when the run was cancelled before it came.
    bool m_readForUnitOnly = false;
};
