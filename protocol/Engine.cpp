#include "protocol/Engine.h"

#include "base/Dialogs.h"
#include "base/Globals.h"
#include "base/MessageLog.h"
#include "base/TextHelpers.h"
#include "protocol/Frames.h"
#include "screen/Screen.h"
#include "screen/ScreenTransfer.h"
#include "serial/Datacom.h"
#include "settings/SettingsTable.h"

#include <QStringList>

#include <algorithm>

// Theory of operation
//
// The engine is the only part of the program that talks to the converter. It is one
// state machine advanced by EngineStep, once per 25 ms timer tick. A step never
// waits on the line: it does a bounded amount of work and returns. Every wait is a
// tick counter that the step counts down before it looks at the state:
//   DelayTicks  - ticks before the next request may go out (after the wake-up bytes
//                 and after the start);
//   AnswerTicks - ticks left for the awaited part of an answer (its SOH, its LEN, the
//                 rest of it);
//   IdleTicks   - ticks since the last request, counted down from 200 after a write,
//                 restart or call and from 80 after a read. A converter that has been
//                 left alone that long has dozed off; the next item job first sends
//                 the wake-up bytes 01 01 80 7F and waits 10 ticks.
//
// Work arrives as per-item jobs in the settings table (read or write) and as four
// request flags (read all, write all, test call, restart). In ST_IDLE the dispatcher
// takes the job of the lowest item number (a write before a read on the same item);
// only when no job is left does it end a running series with its success report,
// log text the converter sent on its own, and take a request. A request first
// re-opens the port; a read-all or write-all then just marks the 27 bulk items.
//
// Every exchange is request -> answer, and every answer runs through the same three
// phases, each its own state: SOH (one byte per tick, other bytes dropped), LEN (one
// byte per tick) and data (whatever has arrived). The flows differ only in their
// SEND state, in what they make of a good answer, and in how they report a failure;
// the state numbers keep SEND, SOH, LEN and DATA of a flow next to each other.
//
// Every failure ends in ST_IDLE with a report. An item job stays pending and is
// tried again; a failure that counts raises ErrorCount, and the next job picked
// while ErrorCount is 3 or more clears all jobs and shows one message box. Only a
// successful item or the start of a series resets the count. Restart and call are
// never repeated.
//
// A message box shown from a step runs a nested event loop in which the timer keeps
// firing; a step started while another is running returns at once, so the state
// machine is never entered twice.

namespace {

constexpr int AnswerTimeoutTicks = 120;
constexpr int IdleAfterWrite = 200;
constexpr int IdleAfterRead = 80;
constexpr int DelayAtStart = 10;
constexpr int ProgressBarMax = 40;
constexpr int ReceiveLineMax = 130;
constexpr int LastJobItem = 249;

const QString CRLF = QStringLiteral("\r\n");
const QString BoxTitle = QStringLiteral("Kestrum by Brivane");

bool isJob(qint16 job)
{
    return job == JOB_WRITE || job == JOB_READ;
}

bool isTekstItem(int item)
{
    const ItemKind kind = KindOfItem(item);
    return kind == ItemKind::Tekst || kind == ItemKind::TekstNoControl;
}

bool isIntItem(int item)
{
    const ItemKind kind = KindOfItem(item);
    return kind == ItemKind::Int || kind == ItemKind::IntNoControl;
}

// How each flow reports a failed answer. Item flows append to the progress pane
// (the read also logs it behind ItemLabel); restart and call only log. A null text
// reports nothing.
struct FailureReport
{
    const char *text;
    bool counts; // raises ErrorCount
};

// Indexed by Engine::Failure.
constexpr FailureReport WriteFailures[] = {
    {" -> ERROR timeout waiting for SOH.", true},
    {" -> ERROR timeout waiting for LEN.", true},
    {" -> ERROR checksum.", true},
    // A converter that always answers too long would otherwise be asked forever.
    {" -> ERROR too long info.", true},
};
constexpr FailureReport ReadFailures[] = {
    {" ERROR timeout wo SOH. ", true},
    {" ERROR timeout wo LEN. ", true},
    {" ERROR checksum. ", true},
    {" ERROR too long info. ", true},
};
constexpr FailureReport ResetFailures[] = {
    {"ERROR: TimeOut sending RESET command to the converter (SOH)", false},
    {"ERROR: TimeOut while sending RESET command to the cconverter. (Length)", false},
    {"ERROR: ChecksumError sending RESET command to the converter.", false},
    {nullptr, false},
};
constexpr FailureReport BufPosFailures[] = {
    {"ERROR: TimeOut calling pager via Kestrum (SOH ask BufPos)", true},
    {"ERROR: TimeOut calling pager Kestrum (Len ask BufPos)", false},
    {"ERROR: ChecksumError calling pager Kestrum (CheckSum ask BufPos)", false},
    {nullptr, false},
};
// A call answer with a wrong check byte is reported with the time-out text.
constexpr FailureReport CallFailures[] = {
    {"ERROR: TimeOut calling pager via Kestrum (SOH sending call)", true},
    {"ERROR: TimeOut calling pager via Kestrum (Len sending call)", false},
    {"ERROR: TimeOut calling pager via Kestrum (Data sending call)", false},
    {nullptr, false},
};

} // namespace

Engine::Engine(Globals &globals, MessageLog &log, SettingsTable &table, Datacom &datacom,
               Frames &frames, Screen &screen, Dialogs &dialogs, ScreenTransfer &transfer)
    : m_globals(globals), m_log(log), m_table(table), m_datacom(datacom), m_frames(frames),
      m_screen(screen), m_dialogs(dialogs), m_transfer(transfer)
{
}

void Engine::EngineStep(int argument)
{
    if (m_inStep)
        return;
    m_inStep = true;
    struct Leave
    {
        bool &flag;
        ~Leave() { flag = false; }
    } leave{m_inStep};

    m_quietStep = argument == 0 && stepWouldChangeNothing();
    if (IdleTicks > 0)
        --IdleTicks;
    if (DelayTicks > 0)
        --DelayTicks;
    if (AnswerTicks > 0)
        --AnswerTicks;

    // The item states serve the item the dispatcher picked; a state set without one
    // (anything but the dispatcher) has nothing to serve and goes back to idle.
    const bool itemState = (EngineState >= ST_WRITE_SEND && EngineState <= ST_WRITE_DONE) ||
                           (EngineState >= ST_READ_SEND && EngineState <= ST_READ_DONE);
    if (itemState && (CurrentItem < 0 || CurrentItem > LastJobItem)) {
        EngineState = ST_IDLE;
        return;
    }

    switch (EngineState) {
    case ST_START:
        if (argument == 10)
            EngineState = ST_IDLE;
        ReceiveLine.clear();
        DelayTicks = DelayAtStart;
        BulkMode = 0;
        return;
    case ST_IDLE:
        stepIdle();
        return;

    case ST_WRITE_SEND:
        stepWriteSend();
        return;
    case ST_WRITE_DONE:
        stepWriteDone();
        return;
    case ST_READ_SEND:
        stepReadSend();
        return;
    case ST_READ_DONE:
        stepReadDone();
        return;
    case ST_RESET_SEND:
    case ST_BUFPOS_SEND:
        if (DelayTicks > 0)
            return;
        sendServiceFrame(EngineState);
        return;
    case ST_CALL_SEND:
        // Follows the buffer-position answer at once: no delay.
        sendServiceFrame(EngineState);
        return;

    case ST_WRITE_SOH:
    case ST_READ_SOH:
    case ST_RESET_SOH:
    case ST_BUFPOS_SOH:
    case ST_CALL_SOH:
        stepSoh();
        return;
    case ST_WRITE_LEN:
    case ST_READ_LEN:
    case ST_RESET_LEN:
    case ST_BUFPOS_LEN:
    case ST_CALL_LEN:
        stepLen();
        return;
    case ST_WRITE_DATA:
    case ST_READ_DATA:
    case ST_RESET_DATA:
    case ST_BUFPOS_DATA:
    case ST_CALL_DATA:
        stepData();
        return;

    default:
        EngineState = ST_IDLE;
        return;
    }
}

// --- The dispatcher --------------------------------------------------------------

void Engine::stepIdle()
{
    CurrentItem = -1;
    for (int i = 0; i <= LastJobItem; ++i) {
        const qint16 job = m_table.SettingJob[i];
        if (!isJob(job))
            continue;
        if (ErrorCount >= 3) {
            // The state is ST_IDLE and no job is left before the box opens.
            const ApplyStage stage = m_applyStage;
            m_applyStage = ApplyStage::None;
            AbortJobs();
            m_dialogs.messageBox(
                BoxTitle,
                job == JOB_WRITE ? QStringLiteral("ERROR writing setting in the Converter.\r\n"
                                                  "Programming is aborted!")
                                 : QStringLiteral("ERROR reading settings from the converter.\r\n"
                                                  "Reading is aborted!"),
                Dialogs::Icon::Critical);
            // Once writing has begun, the run names what it left undone; an aborted
            // learning has written nothing and ends like an aborted read-all.
            if (stage == ApplyStage::Writing || stage == ApplyStage::ReadingBack)
                finishApply(stage == ApplyStage::ReadingBack);
            return;
        }
        CurrentItem = qint16(i);
        if (IdleTicks < 1)
            m_frames.SendWakeUp(); // sets DelayTicks to 10
        else
            DelayTicks = 0;
        EngineState = job == JOB_WRITE ? ST_WRITE_SEND : ST_READ_SEND;
        UpdateProgressBar(i);
        return;
    }

    const qint16 endedSeries = BulkMode;
    BulkMode = 0;
    std::vector<int> notSent;
    notSent.swap(m_notSent);
    if (endedSeries == 1) {
        reportSeriesDone(QStringLiteral("Reading of all settings was successfull."));
        unitLearnt(UnitLearnt::Read);
    } else if (endedSeries == 2 && notSent.empty()) {
        reportSeriesDone(QStringLiteral("Programming of all settings was successfull."));
        unitLearnt(UnitLearnt::Written);
    }
    UpdateProgressBar(-1);
    if (endedSeries == 2 && !notSent.empty())
        reportNotSent(notSent);
    DrainReceivedText();
    if (m_applyStage != ApplyStage::None) {
        advanceApply();
        return;
    }

    if (ReadAllRequest == -1) {
        ReadAllRequest = 0;
        if (!reopenPort())
            return;
        BulkMode = 1;
        ErrorCount = 0;
        for (int i = 0; i <= LastJobItem; ++i) {
            if (IsBulkItem(i))
                m_table.SettingJob[i] = JOB_READ;
        }
        return;
    }
    if (WriteAllRequest == -1) {
        WriteAllRequest = 0;
        if (reopenPort()) {
            BulkMode = 2;
            ErrorCount = 0;
            m_notSent.clear();
            for (int i = 0; i <= LastJobItem; ++i) {
                m_transfer.ControlToSetting(i);
                if (IsBulkItem(i))
                    m_table.SettingJob[i] = JOB_WRITE;
            }
            return;
        }
    }
    if (WriteChangedRequest == -1) {
        WriteChangedRequest = 0;
        if (reopenPort()) {
            startApply();
            return;
        }
    }
    if (PagerCallRequest == -1) {
        PagerCallRequest = 0;
        if (reopenPort())
            EngineState = ST_BUFPOS_SEND;
    }
    // Taken after the call on purpose: with both requested, the restart wins.
    if (RestartRequest == -1) {
        RestartRequest = 0;
        if (reopenPort())
            EngineState = ST_RESET_SEND;
    }
}

void Engine::unitLearnt(UnitLearnt how)
{
    if (onUnitLearnt)
        onUnitLearnt(how);
}

void Engine::reportSeriesDone(const QString &text)
{
    if (m_globals.DebugLevel == 2)
        m_screen.appendProgress(text + CRLF);
    m_log.WriteLog(text);
}

// A write-all that left items out did not program the converter, so it must not end
// in the success report.
void Engine::reportNotSent(const std::vector<int> &notSent)
{
    QStringList items;
    for (int item : notSent)
        items.append(NumToText(item));
    reportSeriesDone(QStringLiteral("Programming of all settings was not complete: ") +
                     NumToText(qint16(notSent.size())) +
                     QStringLiteral(" settings were not sent."));
    m_dialogs.messageBox(BoxTitle,
                         QStringLiteral("Not all settings were written to the converter.") + CRLF +
                             QStringLiteral("Not sent: ") + items.join(QStringLiteral(", ")),
                         Dialogs::Icon::Critical);
}

bool Engine::reopenPort()
{
    m_datacom.CloseComPort();
    return m_datacom.OpenComPort(m_globals.ComPortIndex, 4, 0, 1, 0, 0) >= 0;
}

// --- Write changed settings -------------------------------------------------------
//
// A run of three series over the bulk items, each an ordinary set of item jobs that
// the dispatcher serves as always: learning what the unit holds, writing the items
// whose value to apply differs, reading each written item back. The dispatcher moves
// the run on whenever no job is left. The unit is always read first: nothing tells
// the program that the converter on the line is still the one it read before.

void Engine::startApply()
{
    ErrorCount = 0;
    m_applyChanges.clear();
    m_applyWritten.clear();
    m_applyReadBack.clear();
    m_applyCancelled = false;
    // The values to apply are taken from the screen here, as for a write-all.
    for (int i = 0; i <= LastJobItem; ++i)
        m_transfer.ControlToSetting(i);
    m_applyStage = ApplyStage::Learning;
    for (int i = 0; i <= LastJobItem; ++i) {
        if (IsBulkItem(i))
            m_table.SettingJob[i] = JOB_READ;
    }
}

void Engine::CancelApply()
{
    if (m_applyStage == ApplyStage::Writing || m_applyStage == ApplyStage::ReadingBack)
        m_applyCancelled = true;
    else
        m_applyStage = ApplyStage::None;
}

void Engine::advanceApply()
{
    if (m_applyCancelled) {
        reportCancelledApply();
        return;
    }
    switch (m_applyStage) {
    case ApplyStage::Learning:
        planApply();
        return;
    case ApplyStage::Writing:
        startReadBack();
        return;
    case ApplyStage::ReadingBack:
        finishApply(true);
        return;
    case ApplyStage::None:
        return;
    }
}

void Engine::planApply()
{
    // Every bulk item has been read: what the unit held before anything is written.
    unitLearnt(UnitLearnt::Read);
    QList<PlannedChange> changes;
    for (int i = 0; i <= LastJobItem; ++i) {
        if (!IsBulkItem(i) || m_table.SettingValue[i] == m_table.UnitValue[i])
            continue;
        PlannedChange change;
        change.item = i;
        QString legend = m_screen.legendText(i);
        while (legend.endsWith(QLatin1Char(' ')))
            legend.chop(1);
        change.legend = legend;
        change.unit = m_table.UnitValue[i];
        change.wanted = m_table.SettingValue[i];
        change.unitText = changeText(i, change.unit);
        change.wantedText = changeText(i, change.wanted);
        changes.append(change);
    }
    if (changes.isEmpty()) {
        m_applyStage = ApplyStage::None;
        reportApply(QStringLiteral("The unit already holds these settings."));
        return;
    }
    // The run stays in its stage while the user looks at the changes, so the engine
    // counts as busy.
    if (m_applyStage == ApplyStage::None)
        m_applyStage = ApplyStage::Learning;
    const bool confirmed = m_dialogs.confirmChanges(changes);
    if (!confirmed || m_applyStage == ApplyStage::None) {
        m_applyStage = ApplyStage::None;
        return;
    }
    ErrorCount = 0;
    for (const PlannedChange &change : changes) {
        m_log.WriteLog(QStringLiteral("Change planned: [Item: ") + NumToText(change.item) +
                       QStringLiteral("] ") + change.legend + QLatin1Char(' ') + change.unitText +
                       QStringLiteral(" -> ") + change.wantedText);
        m_table.SettingJob[change.item] = JOB_WRITE;
    }
    m_applyChanges = changes;
    m_applyStage = ApplyStage::Writing;
}

void Engine::startReadBack()
{
    m_applyStage = ApplyStage::ReadingBack;
    ErrorCount = 0;
    bool any = false;
    for (const PlannedChange &change : m_applyChanges) {
        if (m_applyWritten.count(change.item)) {
            m_table.SettingJob[change.item] = JOB_READ;
            any = true;
        }
    }
    if (!any)
        finishApply(false);
}

// The run ends in success only when every change was written and read back as
// written; otherwise the report names each change that did not take, and why.
void Engine::finishApply(bool readBackBegun)
{
    m_applyStage = ApplyStage::None;
    m_applyCancelled = false;
    QStringList failed;
    QStringList reasons;
    for (const PlannedChange &change : m_applyChanges) {
        const int item = change.item;
        QString why;
        if (!m_applyWritten.count(item))
            why = QStringLiteral("not written");
        else if (!m_applyReadBack.count(item))
            why = readBackBegun ? QStringLiteral("no answer") : QStringLiteral("not read back");
        else if (m_table.UnitValue[item] != m_table.SettingValue[item])
            why = QStringLiteral("wrote ") + change.wantedText +
                  QStringLiteral(", the unit holds ") + changeText(item, m_table.UnitValue[item]);
        else
            continue;
        failed.append(NumToText(item));
        reasons.append(NumToText(item) + QLatin1Char(' ') + change.legend + QLatin1Char(' ') + why);
    }
    if (failed.isEmpty()) {
        unitLearnt(UnitLearnt::Written);
        reportApply(m_applyChanges.size() == 1
                        ? QStringLiteral("Applied 1 changed setting; all read back as written.")
                        : QStringLiteral("Applied ") + NumToText(m_applyChanges.size()) +
                              QStringLiteral(" changed settings; all read back as written."));
        return;
    }
    const QString first =
        QStringLiteral("Applying changed settings failed: ") + failed.join(QStringLiteral(", "));
    reportApply(first);
    for (const QString &reason : reasons)
        reportApply(reason);
    m_dialogs.messageBox(BoxTitle, first + CRLF + reasons.join(CRLF), Dialogs::Icon::Critical);
}

// Cancelled once writing had begun: the unit now holds a mix of old and new values,
// so the report says which changes it took and what was read back of them.
void Engine::reportCancelledApply()
{
    QStringList written, notWritten, asWritten, otherValue, notReadBack;
    for (const PlannedChange &change : m_applyChanges) {
        const int item = change.item;
        const QString number = NumToText(item);
        if (!m_applyWritten.count(item)) {
            notWritten.append(number);
            continue;
        }
        written.append(number);
        if (m_applyStage != ApplyStage::ReadingBack)
            continue;
        if (!m_applyReadBack.count(item))
            notReadBack.append(number);
        else if (m_table.UnitValue[item] == m_table.SettingValue[item])
            asWritten.append(number);
        else
            otherValue.append(number);
    }
    const std::pair<const QStringList &, const char *> parts[] = {
        {written, " written"},
        {notWritten, " not written"},
        {asWritten, " read back as written"},
        {otherValue, " read back with another value"},
        {notReadBack, " not read back"},
    };
    QStringList said;
    for (const auto &[items, what] : parts) {
        if (!items.isEmpty())
            said.append(items.join(QStringLiteral(", ")) + QLatin1String(what));
    }
    const qsizetype total = m_applyChanges.size();
    m_applyStage = ApplyStage::None;
    m_applyCancelled = false;
    reportApply(QStringLiteral("Cancelled after ") + NumToText(written.size()) +
                QStringLiteral(" of ") + NumToText(total) +
                (total == 1 ? QStringLiteral(" change: ") : QStringLiteral(" changes: ")) +
                said.join(QStringLiteral("; ")) + QLatin1Char('.'));
}

void Engine::reportApply(const QString &text)
{
    m_screen.appendProgress(text + CRLF);
    m_log.WriteLog(text);
}

QString Engine::changeText(int item, const Value &value) const
{
    if (isTekstItem(item))
        return QLatin1Char('"') + value.asText() + QLatin1Char('"');
    const std::optional<qint16> number = value.asInt16();
    if (!number)
        return value.asText();
    if (KindOfItem(item) == ItemKind::Char && *number >= 0 && *number < m_screen.choiceCount(item))
        return m_screen.choiceText(item, *number);
    return NumToText(*number);
}

// What the item's control would show for a value: a choice bounded by its limit like
// the transfer to the screen bounds it, an INT 0 as an empty box.
QString Engine::shownText(int item, const Value &value) const
{
    if (isTekstItem(item))
        return value.asText();
    const std::optional<qint16> number = value.asInt16();
    if (!number)
        return value.asText();
    if (KindOfItem(item) == ItemKind::Char) {
        const int limit = ChoiceLimit(item);
        if (limit < 0)
            return NumToText(*number);
        const int choice = *number >= limit ? 0 : *number;
        return choice >= 0 && choice < m_screen.choiceCount(item)
                   ? m_screen.choiceText(item, choice)
                   : QString();
    }
    return *number > 0 ? NumToText(*number) : QString();
}

// --- Item write ------------------------------------------------------------------

void Engine::stepWriteSend()
{
    if (DelayTicks > 0)
        return;
    IdleTicks = IdleAfterWrite;
    const int n = CurrentItem;
    const Value &value = m_table.SettingValue[n];

    if (legendShown(n)) {
        QString shown = value.asText();
        if (!isTekstItem(n)) {
            // A value that is no 16-bit number is shown as it is stored.
            if (const std::optional<qint16> number = value.asInt16())
                shown = NumToText(*number);
        }
        const QString detail =
            QStringLiteral(" [Item: ") + NumToText(n) + QStringLiteral(" Value: ") + shown + "] ";
        const QString line = QStringLiteral("Writing ") + m_screen.legendText(n) +
                             QLatin1Char(' ') + m_screen.valueText(n);
        m_screen.appendProgress(m_globals.DebugLevel == 2 ? detail + line : line);
        m_log.WriteLog(detail + line);
    }

    m_datacom.ClearComInput();
    m_frames.StartAnswer();
    if (m_frames.SendWriteRequest(n, value) == 1) {
        AnswerTicks = AnswerTimeoutTicks;
        m_frames.AnswerCount = 0;
        EngineState = ST_WRITE_SOH;
    } else {
        m_screen.appendProgress(QStringLiteral(" -> Not implemented type of unit.") + CRLF);
        m_table.SettingJob[n] = JOB_NONE;
        if (BulkMode == 2)
            m_notSent.push_back(n);
        EngineState = ST_IDLE;
    }
}

void Engine::stepWriteDone()
{
    const int n = CurrentItem;
    EngineState = ST_IDLE;
    if (m_frames.AnswerBuffer[4] == ACK) {
        m_table.SettingJob[n] = JOB_NONE;
        m_table.UnitValue[n] = m_table.SettingValue[n];
        m_transfer.SettingToControl(n);
        if (m_applyStage == ApplyStage::Writing)
            m_applyWritten.insert(n);
        m_screen.appendProgress(QStringLiteral(" -> Saved.") + CRLF);
        ErrorCount = 0;
    } else {
        // The job stays and the dispatcher repeats the write.
        ++ErrorCount;
        m_screen.appendProgress(QStringLiteral(" -> program ERROR NACK.") + CRLF);
    }
}

// --- Item read -------------------------------------------------------------------

void Engine::stepReadSend()
{
    if (DelayTicks > 0)
        return;
    IdleTicks = IdleAfterRead;
    const int n = CurrentItem;
    m_readForUnitOnly =
        m_applyStage == ApplyStage::Learning || m_applyStage == ApplyStage::ReadingBack;
    m_screen.appendProgress(QStringLiteral("Reading setting ") + NumToText(n) +
                            QStringLiteral("  "));
    m_datacom.ClearComInput();
    m_frames.StartAnswer();
    m_frames.SendReadRequest(n);
    AnswerTicks = AnswerTimeoutTicks;
    m_frames.AnswerCount = 0;
    EngineState = ST_READ_SOH;
}

void Engine::stepReadDone()
{
    const int n = CurrentItem;
    EngineState = ST_IDLE;

    // The answer is about item m, which is normally n. A converter that answers
    // about another item still tells us that item's value; n stays pending. Every
    // answer that leaves n unread counts toward the abort, so no read is repeated
    // forever.
    const int m = m_frames.AnswerItem();
    // A refused read carries no value, whatever its slots hold.
    const bool refused = m_frames.AnswerBuffer[4] != ACK;
    if (m < 0 && !refused) {
        ++ErrorCount; // too short to name an item: the read is repeated
        return;
    }

    const Value v = refused ? Value() : m_frames.DecodeValue(m);
    // An INT beyond the 16-bit range cannot be held by the table and is refused like
    // any other value that cannot be decoded.
    const bool undecodable = refused || (v.isNumber() && v.asNumber() < 0) || m > LastJobItem ||
                             (isIntItem(m) && !v.asInt16());
    if (undecodable) {
        const QString error = ItemLabel(n) + QStringLiteral(" ERROR reading setting!");
        m_screen.appendProgress(error + CRLF);
        ++ErrorCount;
        m_log.WriteLog(QStringLiteral("Error reading unit: ") + error);
        return;
    }

    m_table.SettingJob[m] = JOB_NONE;
    m_table.UnitValue[m] = v;
    const bool unitOnly = m_readForUnitOnly;
    if (unitOnly) {
        if (m_applyStage == ApplyStage::ReadingBack)
            m_applyReadBack.insert(m);
    } else {
        m_table.SettingValue[m] = v;
        m_transfer.SettingToControl(m);
    }

    if (legendShown(n)) {
        const QString detail =
            QStringLiteral(" [Item: ") + NumToText(m) +
            (isTekstItem(n) ? QStringLiteral(" Waarde: ") : QStringLiteral(" Value: ")) +
            v.asText() + QStringLiteral("] ");
        // The line names the converter's value as its control would show it.
        const QString shown = unitOnly ? shownText(n, m_table.UnitValue[n]) : m_screen.valueText(n);
        const QString line =
            m_screen.legendText(n) + QLatin1Char(' ') + shown + QStringLiteral(" OK");
        m_screen.appendProgress((m_globals.DebugLevel == 2 ? detail + line : line) + CRLF);
        m_log.WriteLog(QStringLiteral("Received from unit: ") + detail + line);
    }
    if (m == n)
        ErrorCount = 0;
    else
        ++ErrorCount;
}

// --- Restart and test call -------------------------------------------------------

void Engine::sendServiceFrame(qint16 sendState)
{
    IdleTicks = IdleAfterWrite;
    // The frame functions clear the input before they send.
    switch (sendState) {
    case ST_RESET_SEND:
        m_frames.SendRestart();
        break;
    case ST_BUFPOS_SEND:
        m_frames.SendBufPosQuery();
        break;
    default:
        m_frames.SendCall(callText());
        break;
    }
    EngineState = qint16(sendState + 1);
    m_frames.StartAnswer();
    AnswerTicks = AnswerTimeoutTicks;
}

QByteArray Engine::callText() const
{
    const auto record = [](char id, const QString &value) {
        QByteArray r;
        r.append(id);
        r.append(char(US));
        r.append(value.toLatin1());
        r.append(char(RS));
        return r;
    };
    QByteArray text = record('A', NumToText(BufPos));
    text += record('1', m_screen.valueText(CTRL_TEST_ADDRESS).left(10));
    const QString display = m_screen.valueText(CTRL_TEST_MESSAGE).left(40);
    if (!display.isEmpty())
        text += record('2', display);
    // A bleep-code box whose text matches no entry has no index; it then sends the
    // first entry's code rather than a four-digit two's-complement text.
    const int bleep = m_screen.selectedIndex(CTRL_TEST_BLEEP);
    text += record('3', bleep < 0 ? QStringLiteral("0") : HexText(bleep));
    return text;
}

// --- The answer phases, shared by every flow -------------------------------------

Engine::Flow Engine::flowOf(qint16 state)
{
    if (state >= ST_WRITE_SEND && state <= ST_WRITE_DONE)
        return Flow::Write;
    if (state >= ST_READ_SEND && state <= ST_READ_DONE)
        return Flow::Read;
    if (state >= ST_RESET_SEND && state <= ST_RESET_DATA)
        return Flow::Reset;
    if (state >= ST_CALL_SEND && state <= ST_CALL_DATA)
        return Flow::Call;
    return Flow::BufPos;
}

void Engine::stepSoh()
{
    if (m_frames.ReceiveSoh()) {
        AnswerTicks = AnswerTimeoutTicks;
        ++EngineState; // the flow's LEN state
        return;
    }
    if (AnswerTicks < 1)
        answerFailed(Failure::NoSoh);
}

void Engine::stepLen()
{
    if (m_frames.ReceiveLen()) {
        // The rest of the answer gets the same time, so a converter that stops
        // in the middle of an answer cannot hold the engine.
        AnswerTicks = AnswerTimeoutTicks;
        ++EngineState; // the flow's DATA state
        return;
    }
    if (AnswerTicks < 1)
        answerFailed(Failure::NoLen);
}

void Engine::stepData()
{
    switch (m_frames.ReceiveData()) {
    case AnswerStatus::Receiving:
        // A stalled answer is as useless as a corrupted one.
        if (AnswerTicks < 1)
            answerFailed(Failure::Checksum);
        return;
    case AnswerStatus::ChecksumError:
        answerFailed(Failure::Checksum);
        return;
    case AnswerStatus::TooLong:
        answerFailed(Failure::TooLong);
        return;
    case AnswerStatus::Good:
        answerGood();
        return;
    }
}

void Engine::answerGood()
{
    switch (flowOf(EngineState)) {
    case Flow::Write:
        EngineState = ST_WRITE_DONE; // evaluated on the next tick
        return;
    case Flow::Read:
        EngineState = ST_READ_DONE; // evaluated on the next tick
        return;
    case Flow::Reset:
        EngineState = ST_IDLE;
        if (m_frames.AnswerBuffer[4] == ACK)
            m_log.WriteLog(QStringLiteral("STATUS: RESET command send to the converter."));
        return;
    case Flow::BufPos:
        // The position comes as one ASCII digit; anything else still lets the call
        // go out, but counts.
        BufPos = qint16(m_frames.AnswerBuffer[7] - '0');
        if (BufPos < 0 || BufPos > 9)
            ++ErrorCount;
        EngineState = ST_CALL_SEND;
        return;
    case Flow::Call:
        EngineState = ST_IDLE;
        m_log.WriteLog(m_frames.AnswerBuffer[4] == ACK
                           ? QStringLiteral("STATUS: Calling pager via Kestrum succesfull.")
                           : QStringLiteral("STATUS: Calling pager via Kestrum failed."));
        return;
    }
}

void Engine::answerFailed(Failure failure)
{
    const Flow flow = flowOf(EngineState);
    EngineState = ST_IDLE;
    const int index = int(failure);

    switch (flow) {
    case Flow::Write: {
        const FailureReport &report = WriteFailures[index];
        m_screen.appendProgress(QLatin1String(report.text) + CRLF);
        if (report.counts)
            ++ErrorCount;
        return;
    }
    case Flow::Read: {
        const FailureReport &report = ReadFailures[index];
        const QString error = ItemLabel(CurrentItem) + QLatin1String(report.text);
        m_screen.appendProgress(error + CRLF);
        if (report.counts)
            ++ErrorCount;
        m_log.WriteLog(QStringLiteral("Error reading unit: ") + error);
        return;
    }
    case Flow::Reset:
    case Flow::BufPos:
    case Flow::Call: {
        const FailureReport &report = flow == Flow::Reset    ? ResetFailures[index]
                                      : flow == Flow::BufPos ? BufPosFailures[index]
                                                             : CallFailures[index];
        if (report.text)
            m_log.WriteLog(QLatin1String(report.text));
        if (report.counts)
            ++ErrorCount;
        return;
    }
    }
}

// --- Shared operations -----------------------------------------------------------

bool Engine::legendShown(int item) const
{
    return Screen::hasSettingControl(item) && m_screen.legendShown(item);
}

void Engine::UpdateProgressBar(int n)
{
    if (n < 0) {
        bool visible = false;
        int value = 0;
        idleProgressBar(visible, value);
        showProgressBar(visible, value);
        return;
    }
    showProgressBar(true, std::min(n, ProgressBarMax));
}

// The bar an idle step shows: hidden with no job set, else the number of jobs.
void Engine::idleProgressBar(bool &visible, int &value) const
{
    const auto pending = std::count_if(m_table.SettingJob.begin(), m_table.SettingJob.end(),
                                       [](qint16 job) { return job != JOB_NONE; });
    visible = pending > 0;
    value = visible ? int(std::min<qsizetype>(pending, ProgressBarMax)) : m_barValue;
}

// A bar that already shows this is left alone, so an idle engine does not touch the
// screen at all.
void Engine::showProgressBar(bool visible, int value)
{
    if (visible == m_barShown && value == m_barValue)
        return;
    m_barShown = visible;
    m_barValue = value;
    m_screen.setProgressBar(visible, value);
}

QString Engine::ItemLabel(int n) const
{
    if (n < 0 || n > LastJobItem || !legendShown(n))
        return QString();
    return QStringLiteral("[Item: ") + NumToText(n) + QStringLiteral(" Value: ") +
           m_screen.valueText(n) + QStringLiteral("] ");
}

void Engine::AbortJobs()
{
    m_table.SettingJob.fill(JOB_NONE);
    m_screen.appendProgress(CRLF + QStringLiteral("Cancelled!") + CRLF);
    BulkMode = 0;
    m_notSent.clear();
}

void Engine::DrainReceivedText()
{
    for (int byte = m_datacom.ReadComByte(); byte >= 0; byte = m_datacom.ReadComByte()) {
        if (byte == '\n' || byte == '\r') {
            if (!ReceiveLine.isEmpty()) {
                m_log.WriteLog(ReceiveLine);
                ReceiveLine.clear();
            }
        } else {
            ReceiveLine += ControlCharName(byte);
        }
        // A converter that never ends its line still gets logged, in pieces.
        if (ReceiveLine.size() > ReceiveLineMax) {
            m_log.WriteLog(ReceiveLine);
            ReceiveLine.clear();
        }
    }
}

// A step by the timer that would change nothing but the counters that run down:
// - waiting for the start: the received line is empty, no series is marked and the
//   start delay is set (each such step counts it down and sets it again);
// - idle: no job, request, series or run left, the item forgotten, the bar as an idle
//   step leaves it, and no byte waiting to be logged.
bool Engine::stepWouldChangeNothing() const
{
    if (EngineState == ST_START)
        return ReceiveLine.isEmpty() && BulkMode == 0 && DelayTicks == DelayAtStart;
    if (EngineState != ST_IDLE || CurrentItem != -1 || !m_notSent.empty() || !isQuiet())
        return false;
    bool visible = false;
    int value = 0;
    idleProgressBar(visible, value);
    return visible == m_barShown && value == m_barValue && !m_datacom.HasInput();
}

bool Engine::mayPause() const
{
    return m_quietStep && stepWouldChangeNothing();
}

void Engine::SkipIdleTicks(qint64 n)
{
    if (n < 1)
        return;
    // Each of those ticks counted the counters down to 0; waiting for the start, it
    // set the start delay again.
    for (qint16 *counter : {&IdleTicks, &DelayTicks, &AnswerTicks}) {
        if (counter != &DelayTicks || EngineState != ST_START)
            *counter = qint16(std::max<qint64>(0, *counter - n));
    }
}

bool Engine::isQuiet() const
{
    if (EngineState != ST_IDLE || BulkMode != 0)
        return false;
    if (ReadAllRequest == -1 || WriteAllRequest == -1 || PagerCallRequest == -1 ||
        RestartRequest == -1 || WriteChangedRequest == -1 || m_applyStage != ApplyStage::None)
        return false;
    for (int i = 0; i <= LastJobItem; ++i) {
        if (isJob(m_table.SettingJob[i]))
            return false;
    }
    return true;
}
