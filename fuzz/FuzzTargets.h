#pragma once

// The entry points of the fuzz targets. Each takes arbitrary bytes, drives one part of
// the program that reads bytes from outside (the serial line, settings files, the
// setup file, the number and value conversions) and returns "" when every invariant
// held, or a description of the first one that broke. The libFuzzer mains in this
// folder abort on such a description; tst_fuzz_regressions replays the seed corpora
// and every kept finding through the same functions.
//
// Header-only, so the regression test can use it without a library of its own.

#include "app/Commands.h"
#include "app/Kestrum.h"
#include "base/FixedAnswerDialogs.h"
#include "base/SetupFile.h"
#include "base/TextHelpers.h"
#include "protocol/Frames.h"
#include "screen/Catalogue.h"
#include "screen/HeadlessScreen.h"
#include "serial/Datacom.h"
#include "serial/MemorySerialBackend.h"
#include "serial/PortCaption.h"
#include "serial/TelnetComPort.h"
#include "settings/SettingsFiles.h"
#include "settings/SettingsView.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace FuzzTargets {

// In UTC: a local time would have the C library look at the zone file again for every
// line logged.
class FixedClock : public Clock
{
public:
    QDateTime now() const override
    {
        return QDateTime(QDate(2026, 1, 5), QTime(12, 0, 0), Qt::UTC);
    }
};

// One scratch folder per process; every run overwrites the files it uses there. It
// lives in memory where it can: saving syncs to disk, which would otherwise set the
// pace of the whole run.
inline QString scratchFolder()
{
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/kestrum-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/kestrum-fuzz-XXXXXX"));
    return dir.path();
}

// A whole program over a headless screen and an in-memory port.
struct FuzzApp
{
    HeadlessScreen screen;
    FixedAnswerDialogs dialogs{true};
    MemorySerialBackend port;
    FixedClock clock;
    Kestrum app;
    Commands commands;

    explicit FuzzApp(const QString &folder)
        : app(screen, dialogs, port, clock, folder), commands(app)
    {
    }

    // Runs the start-up sequence, then takes the program folder away: log lines still
    // reach the message window but no log file grows over millions of runs.
    void start()
    {
        app.StartProgram(QString());
        app.globals.ProgramFolder.clear();
    }
};

// Reads the fuzzer's bytes front to back; past the end everything reads as 0.
class Bytes
{
public:
    Bytes(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    int next() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    QByteArray take(size_t n)
    {
        n = std::min(n, m_size - m_pos);
        QByteArray bytes(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(n));
        m_pos += n;
        return bytes;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

inline bool sameValue(const Value &a, const Value &b)
{
    if (a.kind() != b.kind())
        return false;
    if (a.isText())
        return a.asText() == b.asText();
    if (a.isNumber()) {
        const double x = a.asNumber();
        const double y = b.asNumber();
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    return true;
}

// What a value slot holds, without copying it: the kind, the number, and the text's
// storage. Cheap enough to compare after every tick: a slot that now holds other
// content always differs (a slot given the same content may differ too, which the
// check then accepts or not by what the engine was allowed to store).
struct Identity
{
    Value::Kind kind = Value::Kind::Empty;
    double number = 0;
    const void *text = nullptr;
    qsizetype size = 0;

    static Identity of(const Value &v)
    {
        Identity id;
        id.kind = v.kind();
        if (v.isText()) {
            const QString t = v.asText(); // shares the slot's storage
            id.text = t.constData();
            id.size = t.size();
        } else if (v.isNumber()) {
            id.number = v.asNumber();
        }
        return id;
    }
    bool operator==(const Identity &o) const
    {
        return kind == o.kind && text == o.text && size == o.size &&
               (number == o.number || (std::isnan(number) && std::isnan(o.number)));
    }
};

inline QByteArray withCheckByte(QByteArray frame)
{
    int sum = 0;
    for (const char c : frame)
        sum += static_cast<unsigned char>(c);
    frame.append(char((256 - sum % 256) % 256));
    return frame;
}

// A complete answer as the engine stores it: SOH in slot 0, every slot up to the
// last one received present, the bytes summing to 0.
inline bool answerIsGood(const Frames &frames)
{
    const int count = frames.AnswerCount;
    if (count < 3 || count > 98 || frames.AnswerBuffer[0] != SOH || count <= frames.AnswerLength)
        return false;
    int sum = 0;
    for (int i = 0; i < count; ++i) {
        if (frames.AnswerBuffer[i] < 0 || frames.AnswerBuffer[i] > 255)
            return false;
        sum += frames.AnswerBuffer[i];
    }
    return sum % 256 == 0;
}

inline bool isKnownState(qint16 state)
{
    switch (state) {
    case Engine::ST_START:
    case Engine::ST_IDLE:
    case Engine::ST_BUFPOS_SEND:
    case Engine::ST_BUFPOS_SOH:
    case Engine::ST_BUFPOS_LEN:
    case Engine::ST_BUFPOS_DATA:
    case Engine::ST_CALL_SEND:
    case Engine::ST_CALL_SOH:
    case Engine::ST_CALL_LEN:
    case Engine::ST_CALL_DATA:
    case Engine::ST_RESET_SEND:
    case Engine::ST_RESET_SOH:
    case Engine::ST_RESET_LEN:
    case Engine::ST_RESET_DATA:
    case Engine::ST_WRITE_SEND:
    case Engine::ST_WRITE_SOH:
    case Engine::ST_WRITE_LEN:
    case Engine::ST_WRITE_DATA:
    case Engine::ST_WRITE_DONE:
    case Engine::ST_READ_SEND:
    case Engine::ST_READ_SOH:
    case Engine::ST_READ_LEN:
    case Engine::ST_READ_DATA:
    case Engine::ST_READ_DONE:
        return true;
    default:
        return false;
    }
}

// --- fuzz_frames -------------------------------------------------------------------
//
// The answer reader and the value decoder alone, fed bytes the way the engine feeds
// them: one call per tick, the SOH and LEN phases one byte each, the data phase all
// that has arrived. The first byte sets the size of the pieces in which the line
// delivers the rest (one piece per tick), the second names an item to decode besides
// the one the answer is about. Answers follow each other until the bytes run out.
// Every call is held against the reading rules written out plainly: which bytes it
// takes, where it stores them, and how the answer ends (complete with the sum 0,
// complete with another sum, or past 98 bytes). Every answer that ends, and the one
// left unfinished, is decoded for both items; one that the engine would take as
// accepted must be accepted by the converter search as well.

class NoCaption : public PortCaption
{
public:
    void setPortCaption(const QString &) override {}
};

// Frames over an in-memory port, and nothing else of the program.
struct FrameReader
{
    Globals globals; // LogfileMode 0: the link logs nothing
    FixedClock clock;
    MessageLog log{globals, clock};
    MemorySerialBackend port;
    NoCaption caption;
    Datacom datacom{globals, log, port, caption};
    Frames frames{datacom};

    FrameReader() { port.open(QStringLiteral("/dev/null"), LineSettings()); }
};

// What DecodeValue must make of item, read from the slots as they should be.
inline QString checkDecoded(const Frames &frames, int item, const std::array<int, 101> &slots)
{
    const auto slot = [&](int i) { return i >= 0 && i < int(slots.size()) ? slots[i] : -1; };
    QStringList accepted; // none: the item cannot be decoded from these slots
    if (IsBulkItem(item)) {
        // The choice received, or 0 for one beyond the item's list; every list has at
        // least two entries and none more than 151.
        const int choice = slot(11);
        if (choice >= 0 && choice <= 1)
            accepted = {NumToText(choice)};
        else if (choice > 1 && choice <= 150)
            accepted = {NumToText(choice), QStringLiteral("0")};
        else if (choice > 150)
            accepted = {QStringLiteral("0")};
    } else if (item >= 100 && item <= 148) {
        if (slot(11) >= 0 && slot(12) >= 0)
            accepted = {QLatin1Char(' ') + NumToText(slot(12) * 256 + slot(11))};
    } else if (item >= 150 && item <= 248 && slot(1) >= 0) {
        QString text;
        bool whole = true;
        for (int i = 11; i <= slot(1) - 2; ++i) {
            whole = whole && slot(i) >= 0;
            text.append(QChar(char16_t(std::max(slot(i), 0))));
        }
        if (whole)
            accepted = {text};
    }

    const Value v = frames.DecodeValue(item);
    if (accepted.isEmpty() && !sameValue(v, Value::int16(-1)))
        return QStringLiteral("item %1 decoded to \"%2\" from an answer that does not hold it")
            .arg(item)
            .arg(v.asText());
    if (!accepted.isEmpty() && (!v.isText() || !accepted.contains(v.asText())))
        return QStringLiteral("item %1 decoded to \"%2\", expected \"%3\"")
            .arg(item)
            .arg(v.asText(), accepted.join(QStringLiteral("\" or \"")));
    return QString();
}

inline QString RunFrames(const uint8_t *data, size_t size)
{
    FrameReader r;
    Frames &frames = r.frames;
    Bytes in(data, size);
    const size_t piece = size_t(in.next()) + 1;
    const int otherItem = in.next() - 2; // -2..253: also items that have no value

    enum class Phase { Soh, Len, Data } phase = Phase::Soh;
    QByteArray line; // what the port holds, as the rules see it
    std::array<int, 101> slots;
    slots.fill(-1);
    int count = 0;
    int sum = 0;
    int length = 0;
    const auto take = [&line]() {
        if (line.isEmpty())
            return -1;
        const int byte = static_cast<unsigned char>(line.at(0));
        line.remove(0, 1);
        return byte;
    };
    const auto answerEnded = [&]() -> QString {
        for (int i = 0; i < int(slots.size()); ++i) {
            if (frames.AnswerBuffer[i] != slots[i])
                return QStringLiteral("slot %1 holds %2, received %3")
                    .arg(i)
                    .arg(frames.AnswerBuffer[i])
                    .arg(slots[i]);
        }
        if (frames.AnswerItem() != slots[7])
            return QStringLiteral("AnswerItem %1, slot 7 holds %2")
                .arg(frames.AnswerItem())
                .arg(slots[7]);
        if (frames.AnswerItem() >= 0) {
            const QString error = checkDecoded(frames, frames.AnswerItem(), slots);
            if (!error.isEmpty())
                return error;
        }
        return checkDecoded(frames, otherItem, slots);
    };

    frames.StartAnswer();
    for (;;) {
        // The last call finds the line empty and must then take nothing.
        const bool last = in.atEnd() && line.isEmpty();
        const QByteArray bytes = in.take(piece);
        r.port.feed(bytes);
        line += bytes;

        if (phase == Phase::Soh) {
            const bool soh = frames.ReceiveSoh();
            const int byte = take();
            if (soh != (byte == SOH))
                return QStringLiteral("ReceiveSoh %1 on byte %2").arg(soh).arg(byte);
            if (soh) {
                slots[0] = SOH;
                count = 1;
                sum = SOH;
                phase = Phase::Len;
            }
        } else if (phase == Phase::Len) {
            const bool len = frames.ReceiveLen();
            const int byte = take();
            if (len != (byte >= 0))
                return QStringLiteral("ReceiveLen %1 on byte %2").arg(len).arg(byte);
            if (len) {
                slots[1] = byte;
                count = 2;
                sum += byte;
                length = byte;
                phase = Phase::Data;
                if (frames.AnswerLength != byte)
                    return QStringLiteral("AnswerLength %1 after LEN %2")
                        .arg(frames.AnswerLength)
                        .arg(byte);
            }
        } else {
            const AnswerStatus status = frames.ReceiveData();
            AnswerStatus expected = AnswerStatus::Receiving;
            for (int byte = take(); byte >= 0; byte = take()) {
                sum += byte;
                if (count < int(slots.size()))
                    slots[count] = byte;
                ++count;
                if (count > 98) {
                    expected = AnswerStatus::TooLong;
                    break;
                }
                if (count > length) {
                    expected = sum % 256 == 0 ? AnswerStatus::Good : AnswerStatus::ChecksumError;
                    break;
                }
            }
            if (status != expected)
                return QStringLiteral("ReceiveData gave %1, expected %2 after %3 bytes")
                    .arg(int(status))
                    .arg(int(expected))
                    .arg(count);
            // An answer the engine takes as accepted is one the converter search takes
            // too (the search asks for the header, so its LEN is at least 5).
            if (status == AnswerStatus::Good && length >= 5 && slots[4] == ACK) {
                QByteArray answer;
                for (int i = 0; i < count; ++i)
                    answer.append(char(slots[i]));
                if (!Frames::HoldsAcceptedAnswer(answer))
                    return QStringLiteral("the converter search passes over an accepted answer");
            }
            if (status != AnswerStatus::Receiving) {
                const QString error = answerEnded();
                if (!error.isEmpty())
                    return error;
                frames.StartAnswer();
                slots.fill(-1);
                count = 0;
                phase = Phase::Soh;
            }
        }
        if (frames.AnswerCount != count)
            return QStringLiteral("AnswerCount %1, received %2").arg(frames.AnswerCount).arg(count);
        if (r.port.bytesAvailable() != line.size())
            return QStringLiteral("%1 bytes left on the line, expected %2")
                .arg(r.port.bytesAvailable())
                .arg(line.size());
        if (last)
            return answerEnded();
    }
}

// --- fuzz_answer -------------------------------------------------------------------
//
// The engine around an in-memory port. The input is a little program of operations,
// so the fuzzer decides both what the converter says and when:
//   00..7F  n   feed the next n+1 bytes, then one tick
//   80..9F      1..32 ticks
//   A0..AF      16..256 ticks (lets the 120-tick time-outs run out)
//   B0..BF  n   a frame SOH LEN <n bytes> check, then one tick; B1 spoils the check
//               byte, B2 leaves it out
//   C0 / C1     ACK / refusal answer; C2 v: CHAR answer about the asked item;
//   C3 lo hi    INT answer about the asked item; C4 n: TEKST answer of n characters;
//   C5 i v      CHAR answer about item i
//   D0..D3      "Read all", "Write all", "Call", "Restart"
//   D4 i        read job for item i; D5 i n: type n characters into item i's control
//               and write it; D6 i lo hi: write job with that 16-bit number as value
//   D7 "Cancel"; D8 the port goes away; D9 the next open fails; DA sends fail / work
//   DB          the screen timers (marking, message window, lamps)
//   DC          "Write changed settings to unit"
//   other       one tick
// D0, D1, DB and DC take effect at most four times per input: they go over every
// control, and the fuzzer would otherwise keep inputs that press them ever more often
// for the new hit counts alone, each costing as much as dozens of others.
// Then silence until the engine is quiet. A run of ticks ends early once the engine
// has nothing left to do or to count down: from there on a tick changes nothing.
//
// After every tick AnswerCount stays within the buffer, the state is a known one and
// an answer is evaluated only when it is good. UnitValue changes only in the step that
// evaluates a good answer, to what that answer carried (or, for a write, to the value
// the converter accepted), and jobs hold only 0, 1 or 10: the whole table is held
// against the last check after every such step, before every button and at the end,
// so a change made by any other step is caught at the latest there.

// A program after its start-up, made once. Every run of fuzz_answer starts from its
// screen, table and globals, so no run pays for building a screen.
inline const FuzzApp &startedProgram()
{
    static FuzzApp started(scratchFolder());
    static const bool ready = [] {
        started.start();
        started.screen.typeText(CTRL_TEST_ADDRESS, QStringLiteral("1234"));
        started.screen.typeText(CTRL_TEST_MESSAGE, QStringLiteral("fuzz"));
        return true;
    }();
    Q_UNUSED(ready);
    return started;
}

// The program of one run: the started program's state over fresh parts, and the port
// opened as start-up opens it, which starts the engine. The screen outlives the run; it
// is given back in the started program's state, so that a run frees all it allocated
// (libFuzzer runs every input that keeps memory once more, to look for a leak).
struct EngineRun
{
    HeadlessScreen &screen;
    FixedAnswerDialogs dialogs{true};
    MemorySerialBackend port;
    FixedClock clock;
    Kestrum app;
    Commands commands;

    explicit EngineRun(HeadlessScreen &screen_)
        : screen(screen_), app(screen, dialogs, port, clock, QString()), commands(app)
    {
        const FuzzApp &started = startedProgram();
        app.globals = started.app.globals;
        app.table = started.app.table;
        app.log.MessageLines = started.app.log.MessageLines;
        app.log.MessageLineCount = started.app.log.MessageLineCount;
        app.OpenConverterPort();
    }
    ~EngineRun() { screen = startedProgram().screen; }
};

inline QString RunAnswer(const uint8_t *data, size_t size)
{
    // One screen serves every run, which finds it in the started program's state.
    static HeadlessScreen screen = startedProgram().screen;
    EngineRun f(screen);
    Engine &engine = f.app.engine;
    Frames &frames = f.app.frames;
    SettingsTable &table = f.app.table;
    QString error;
    int lastAsked = 0; // item of the last read or write request the converter saw

    // The table as its last check left it: each UnitValue slot's identity, and the
    // bytes of UnitValue and SettingJob, so that checking a table in which nothing
    // changed costs two comparisons of memory.
    std::array<Identity, ItemSlots> unitSeen;
    std::array<unsigned char, sizeof table.UnitValue> unitBytes;
    std::array<unsigned char, sizeof table.SettingJob> jobBytes;
    const auto noteTable = [&]() {
        for (int i = 0; i < ItemSlots; ++i)
            unitSeen[i] = Identity::of(table.UnitValue[i]);
        std::memcpy(unitBytes.data(), static_cast<const void *>(table.UnitValue.data()),
                    unitBytes.size());
        std::memcpy(jobBytes.data(), table.SettingJob.data(), jobBytes.size());
    };
    // Holds the table against the last check; only item `stored` may have taken the
    // value `carried` since, in the step that evaluated an answer in `state`.
    const auto checkTable = [&](qint16 state, int stored, const Value &carried) {
        const bool jobsChanged =
            std::memcmp(jobBytes.data(), table.SettingJob.data(), jobBytes.size()) != 0;
        const bool unitsChanged =
            std::memcmp(unitBytes.data(), static_cast<const void *>(table.UnitValue.data()),
                        unitBytes.size()) != 0;
        if (!jobsChanged && !unitsChanged)
            return;
        for (int i = 0; i < ItemSlots && error.isEmpty(); ++i) {
            const qint16 job = table.SettingJob[i];
            if (job != JOB_NONE && job != JOB_READ && job != JOB_WRITE)
                error = QStringLiteral("SettingJob(%1) = %2").arg(i).arg(job);
            else if (unitsChanged && !(Identity::of(table.UnitValue[i]) == unitSeen[i]) &&
                     !(i == stored && sameValue(table.UnitValue[i], carried)))
                error = QStringLiteral("UnitValue(%1) changed to \"%2\" %3")
                            .arg(i)
                            .arg(table.UnitValue[i].asText(),
                                 state >= 0 ? QStringLiteral("in state %1").arg(state)
                                            : QStringLiteral("in a step that evaluates nothing"));
        }
        noteTable();
    };
    noteTable();

    const auto tick = [&]() {
        if (!error.isEmpty())
            return;
        const qint16 before = engine.EngineState;
        // Only the evaluating steps may store; what they may store is known before.
        int stored = -1;
        Value carried;
        if (before == Engine::ST_READ_DONE && answerIsGood(frames)) {
            stored = frames.AnswerItem();
            if (stored >= 0)
                carried = frames.DecodeValue(stored);
        } else if (before == Engine::ST_WRITE_DONE && answerIsGood(frames) &&
                   frames.AnswerBuffer[4] == ACK && engine.CurrentItem >= 0 &&
                   engine.CurrentItem < ItemSlots) {
            stored = engine.CurrentItem;
            carried = table.SettingValue[stored];
        }

        f.app.TmrAfhandelTick();

        if (frames.AnswerCount < 0 || frames.AnswerCount > 99)
            error = QStringLiteral("AnswerCount %1").arg(frames.AnswerCount);
        else if (!isKnownState(engine.EngineState))
            error = QStringLiteral("EngineState %1").arg(engine.EngineState);
        else if (engine.ErrorCount < 0)
            error = QStringLiteral("ErrorCount %1").arg(engine.ErrorCount);
        else if (engine.ReceiveLine.size() > 130)
            error = QStringLiteral("ReceiveLine of %1").arg(engine.ReceiveLine.size());
        else if ((engine.EngineState == Engine::ST_READ_DONE ||
                  engine.EngineState == Engine::ST_WRITE_DONE) &&
                 !answerIsGood(frames))
            error = QStringLiteral("evaluating an answer that is not good");
        else if (f.screen.progressBarValue() < 0 || f.screen.progressBarValue() > 40)
            error = QStringLiteral("progress bar at %1").arg(f.screen.progressBarValue());
        else if (before == Engine::ST_READ_DONE || before == Engine::ST_WRITE_DONE)
            checkTable(before, stored, carried);
    };
    // Whether a tick can still change anything: not when the engine is idle with no
    // work, nothing to count down and no byte waiting.
    const auto settled = [&]() {
        return engine.EngineState == Engine::ST_IDLE && engine.IdleTicks == 0 &&
               engine.DelayTicks == 0 && engine.AnswerTicks == 0 && f.port.bytesAvailable() == 0 &&
               engine.isQuiet();
    };
    const auto ticks = [&](int n) {
        for (int i = 0; i < n && error.isEmpty() && !settled(); ++i)
            tick();
    };
    // Cuts what the program sends into frames (by their LEN byte) and remembers the
    // item of each read or write request, so answers can be about it.
    f.port.onWrite = [&, pending = QByteArray()](unsigned char byte) mutable {
        pending.append(char(byte));
        if (static_cast<unsigned char>(pending.at(0)) != SOH) {
            pending.clear();
            return;
        }
        if (pending.size() < 2)
            return;
        const int len = static_cast<unsigned char>(pending.at(1));
        const int frameSize = len < 5 ? 4 : len + 1; // LEN 1: the wake-up bytes
        if (pending.size() < frameSize)
            return;
        if (pending.size() > 7 && (pending.at(5) == 'w' || pending.at(5) == 'W'))
            lastAsked = static_cast<unsigned char>(pending.at(7));
        pending.clear();
    };
    const auto feedFrame = [&](QByteArray body) {
        QByteArray frame;
        frame.append(char(SOH));
        frame.append(char(body.size() + 2));
        frame.append(body);
        f.port.feed(withCheckByte(frame));
    };
    const auto answerHeader = [&](int item) {
        QByteArray body = QByteArray::fromHex("010006571f");
        body.append(char(item));
        body.append(QByteArray::fromHex("1e771f"));
        return body;
    };
    const auto itemOf = [](int byte) { return byte % 250; };

    std::array<int, 13> presses{}; // of D0..DC
    Bytes in(data, size);
    while (!in.atEnd() && error.isEmpty()) {
        const int op = in.next();
        const bool costly = op == 0xD0 || op == 0xD1 || op == 0xDB || op == 0xDC;
        if (costly && ++presses[op - 0xD0] > 4)
            continue;
        if (op < 0x80) {
            f.port.feed(in.take(size_t(op) + 1));
            tick();
        } else if (op < 0xA0) {
            ticks(op - 0x80 + 1);
        } else if (op < 0xB0) {
            ticks((op - 0xA0 + 1) * 16);
        } else if (op < 0xC0) {
            const QByteArray body = in.take(size_t(in.next()));
            QByteArray frame;
            frame.append(char(SOH));
            frame.append(char(body.size() + 2));
            frame.append(body);
            frame = withCheckByte(frame);
            if (op == 0xB1)
                frame[frame.size() - 1] = char(frame.at(frame.size() - 1) + 1);
            else if (op == 0xB2)
                frame.chop(1);
            f.port.feed(frame);
            tick();
        } else if (op == 0xC0 || op == 0xC1) {
            feedFrame(QByteArray::fromHex(op == 0xC0 ? "010006" : "010015") + "W");
            tick();
        } else if (op == 0xC2) {
            feedFrame(answerHeader(lastAsked) + char(in.next()) + char(RS));
            tick();
        } else if (op == 0xC3) {
            const char low = char(in.next());
            const char high = char(in.next());
            feedFrame(answerHeader(lastAsked) + low + high + char(RS));
            tick();
        } else if (op == 0xC4) {
            feedFrame(answerHeader(lastAsked) + in.take(size_t(in.next())) + char(RS));
            tick();
        } else if (op == 0xC5) {
            const int item = in.next();
            feedFrame(answerHeader(item) + char(in.next()) + char(RS));
            tick();
        } else if (op >= 0xD0 && op <= 0xDC) {
            // What the user and the line do between ticks; none of it may store a
            // converter value, and each may set jobs or requests.
            checkTable(-1, -1, Value());
            if (op == 0xD0) {
                f.commands.CmdLeesAlles();
            } else if (op == 0xD1) {
                f.commands.CmdSchrijfAlles();
            } else if (op == 0xD2) {
                f.commands.CmdTestOproepPager();
            } else if (op == 0xD3) {
                f.commands.CmdTestHerstart();
            } else if (op == 0xD4) {
                f.commands.CmdReadSingleSetting(itemOf(in.next()));
            } else if (op == 0xD5) {
                const int item = itemOf(in.next());
                const QByteArray text = in.take(size_t(in.next() % 64));
                f.screen.typeText(item, QString::fromLatin1(text));
                f.commands.CmdWriteSingleSetting(item);
            } else if (op == 0xD6) {
                const int item = itemOf(in.next());
                const int low = in.next();
                const int high = in.next();
                table.SettingValue[item] = Value::number(qint16(high << 8 | low));
                table.SettingJob[item] = JOB_WRITE;
            } else if (op == 0xD7) {
                f.commands.CmdCancelReadWrite();
            } else if (op == 0xD8) {
                if (f.port.isOpen()) {
                    f.port.close();
                    if (f.port.onPortLost)
                        f.port.onPortLost(QStringLiteral("Resource error"));
                }
            } else if (op == 0xD9) {
                f.port.failNextOpen = true;
            } else if (op == 0xDA) {
                f.port.failWrites = !f.port.failWrites;
            } else if (op == 0xDB) {
                f.app.TmrUpdateVenstersTick();
                f.app.LedTimerTick();
            } else {
                f.commands.CmdWriteChanged();
            }
            checkTable(-1, -1, Value());
        } else {
            tick();
        }
    }

    // A converter that falls silent: whatever was under way must end, in time-outs
    // and at most one abort, never in a wait without end.
    const auto quiet = [&]() { return engine.EngineState == Engine::ST_IDLE && engine.isQuiet(); };
    for (int i = 0; i < 4000 && error.isEmpty() && !quiet(); ++i)
        tick();
    if (error.isEmpty() && !quiet())
        error = QStringLiteral("engine still busy after 4000 silent ticks, state %1")
                    .arg(engine.EngineState);
    if (error.isEmpty())
        checkTable(-1, -1, Value());
    return error;
}

// --- fuzz_drain --------------------------------------------------------------------
//
// Text the converter sends on its own while the engine is idle. The first byte sets
// the size of the pieces in which the rest arrives. Every byte other than CR and LF
// ends up, spelled by ControlCharName, in exactly one logged line or in ReceiveLine,
// in order; no line is empty and none is much longer than 130 characters.
inline QString RunDrain(const uint8_t *data, size_t size)
{
    // Draining depends on nothing but ReceiveLine and the input, so one program
    // serves every run. Each run leaves it as it found it, so that a run frees all it
    // allocated (libFuzzer runs every input that keeps memory once more, to look for
    // a leak).
    static FuzzApp f{QString()};
    if (!f.port.isOpen()) {
        f.app.globals.LogfileMode = 2;
        f.port.open(QStringLiteral("/dev/null"), LineSettings());
    }
    Engine &engine = f.app.engine;
    QStringList lines;
    f.app.log.onLine = [&lines](const QString &line) { lines.append(line.mid(9)); };
    struct Leave
    {
        FuzzApp &f;
        ~Leave()
        {
            f.app.log.onLine = nullptr;
            f.app.log.ClearMessageLines();
            f.app.engine.ReceiveLine.clear();
            f.port.clearInput();
        }
    } leave{f};

    static const int longestName = [] {
        int longest = 0;
        for (int b = 0; b < 256; ++b)
            longest = std::max(longest, int(ControlCharName(b).size()));
        return longest;
    }();

    Bytes in(data, size);
    const size_t piece = size_t(in.next()) + 1;
    QString expected;
    while (!in.atEnd()) {
        const QByteArray bytes = in.take(piece);
        for (const char c : bytes) {
            const int b = static_cast<unsigned char>(c);
            if (b != '\r' && b != '\n')
                expected += ControlCharName(b);
        }
        f.port.feed(bytes);
        engine.DrainReceivedText();
        if (f.port.bytesAvailable() != 0)
            return QStringLiteral("bytes left in the input after draining");
        if (engine.ReceiveLine.size() > 130)
            return QStringLiteral("ReceiveLine of %1").arg(engine.ReceiveLine.size());
    }
    for (const QString &line : lines) {
        if (line.isEmpty())
            return QStringLiteral("an empty line was logged");
        if (line.size() > 130 + longestName)
            return QStringLiteral("a logged line of %1 characters").arg(line.size());
    }
    if (lines.join(QString()) + engine.ReceiveLine != expected)
        return QStringLiteral("logged text differs from the text received");
    return QString();
}

// --- fuzz_settingsfile -------------------------------------------------------------

// The records of a file as both readers see them: lines split at LF, one CR at the
// end dropped, empty lines left out. Views into content, which must outlive them.
inline QList<QByteArrayView> ReferenceRecords(const QByteArray &content)
{
    QList<QByteArrayView> records;
    QByteArrayView rest(content);
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf('\n');
        QByteArrayView line = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            records.append(line);
    }
    return records;
}

// The number in the first four characters of a record, read as Latin-1.
inline double ReferenceRecordNumber(QByteArrayView record)
{
    return TextToNumber(QString::fromLatin1(record.first(std::min<qsizetype>(record.size(), 4))));
}

// The reading rules, written out plainly over the whole file at once.
inline std::array<QString, FileItemCount> ReferenceSettingsTexts(const QByteArray &content)
{
    std::array<QByteArrayView, FileItemCount> values;
    QByteArrayView lastValue;
    for (const QByteArrayView record : ReferenceRecords(content)) {
        const qsizetype arrow = record.indexOf(QByteArrayView("->"));
        if (arrow >= 0)
            lastValue = record.sliced(arrow + 2);
        const std::optional<qint16> item = Value::number(ReferenceRecordNumber(record)).asInt16();
        if (item && *item >= 0 && *item < FileItemCount)
            values[*item] = lastValue;
    }
    std::array<QString, FileItemCount> texts;
    for (int i = 0; i < FileItemCount; ++i)
        texts[i] = QString::fromLatin1(values[i]);
    return texts;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Stands in for the screen: counts how often the table was shown and taken back.
class CountingView : public SettingsView
{
public:
    void SettingsToControls() override { ++shown; }
    void ControlsToSettings() override { ++taken; }

    int shown = 0;
    int taken = 0;
};

// The settings files over a table of their own, without a screen.
struct SettingsFileRig
{
    Globals globals;
    SettingsTable table;
    CountingView view;
    FixedAnswerDialogs dialogs{true};
    SettingsFiles files{globals, table, view, dialogs};
};

// Puts the fuzzer's bytes into a file of the scratch folder; empty when that fails.
inline QString inputFile(const uint8_t *data, size_t size)
{
    const QString path = scratchFolder() + QStringLiteral("/input.cfg");
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    return writeFile(path, content) ? path : QString();
}

// A user settings file of arbitrary bytes. It either loads, and then the table holds
// what the reading rules give and is shown once, or it fails with "Error reading
// setup-file" and the table stays as it was, not shown.
inline QString RunSettingsFile(const uint8_t *data, size_t size)
{
    const QString input = inputFile(data, size);
    if (input.isEmpty())
        return QString(); // nothing to test without a file
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));

    SettingsFileRig rig;
    SettingsTable &table = rig.table;
    const CountingView &view = rig.view;
    const QStringList &boxes = rig.dialogs.boxes;
    // Known values that a failed read must leave alone.
    table.SettingValue[15] = Value::text(QStringLiteral("30"));
    table.UnitValue[15] = Value::text(QStringLiteral("30"));
    table.SettingValue[150] = Value::text(QStringLiteral("kept"));
    const std::array<Value, ItemSlots> settingBefore = table.SettingValue;
    const std::array<Value, ItemSlots> unitBefore = table.UnitValue;

    const bool read = rig.files.ReadSettingsFile(input);
    if (!boxes.isEmpty()) {
        if (read)
            return QStringLiteral("read reported success and showed a message");
        if (boxes.size() != 1 ||
            boxes.first() != QStringLiteral("Kestrum by Brivane|Error reading setup-file"))
            return QStringLiteral("unexpected message: ") + boxes.join(u'/');
        if (view.shown != 0)
            return QStringLiteral("a failed read was shown");
        for (int i = 0; i < ItemSlots; ++i) {
            if (!sameValue(table.SettingValue[i], settingBefore[i]) ||
                !sameValue(table.UnitValue[i], unitBefore[i]))
                return QStringLiteral("a failed read changed item %1").arg(i);
        }
        return QString();
    }
    if (!read)
        return QStringLiteral("read failed without a message");
    if (view.shown != 1)
        return QStringLiteral("a read table shown %1 times").arg(view.shown);

    const std::array<QString, FileItemCount> texts = ReferenceSettingsTexts(content);
    for (int i = 0; i < FileItemCount; ++i) {
        const Value &v = table.FileValue[i];
        if (!sameValue(table.UnitValue[i], Value::int16(-1)))
            return QStringLiteral("UnitValue(%1) not forgotten").arg(i);
        if (IsNumberItem(i)) {
            const double expected = TextToNumber(texts[i]);
            if (!v.isNumber() || !(v.asNumber() == expected))
                return QStringLiteral("item %1 holds %2, expected %3")
                    .arg(i)
                    .arg(v.asText())
                    .arg(expected);
        } else if (!v.isText() || v.asText() != texts[i]) {
            return QStringLiteral("item %1 holds \"%2\", expected \"%3\"")
                .arg(i)
                .arg(v.asText(), texts[i]);
        }
        if (!sameValue(table.SettingValue[i], v))
            return QStringLiteral("SettingValue(%1) is \"%2\", FileValue \"%3\"")
                .arg(i)
                .arg(table.SettingValue[i].asText(), v.asText());
    }
    return QString();
}

// --- fuzz_settingssave -------------------------------------------------------------
//
// A settings file of arbitrary bytes that loads is saved, loaded and saved again: the
// two saves give the same bytes, one line per item. Apart from the reading target,
// because saving and reading back all 250 items costs several times what reading a
// fuzzed file does.
inline QString RunSettingsSave(const uint8_t *data, size_t size)
{
    const QString input = inputFile(data, size);
    SettingsFileRig rig;
    if (input.isEmpty() || !rig.files.ReadSettingsFile(input))
        return QString(); // a file that does not load gives the writer nothing

    const QString first = scratchFolder() + QStringLiteral("/first.cfg");
    const QString second = scratchFolder() + QStringLiteral("/second.cfg");
    if (!rig.files.WriteSettingsFile(first))
        return QStringLiteral("saving the loaded table failed");
    if (rig.view.taken != 1)
        return QStringLiteral("a save took the screen's values %1 times").arg(rig.view.taken);
    if (!rig.files.ReadSettingsFile(first))
        return QStringLiteral("a file the program wrote does not load");
    if (!rig.files.WriteSettingsFile(second))
        return QStringLiteral("saving again failed");
    const QByteArray firstBytes = readFile(first);
    if (firstBytes != readFile(second))
        return QStringLiteral("load and save changed a file the program wrote");
    if (firstBytes.count('\n') != FileItemCount)
        return QStringLiteral("a saved file of %1 lines").arg(firstBytes.count('\n'));
    return QString();
}

// --- fuzz_setupfile ----------------------------------------------------------------

// "Kestrum.set" of arbitrary bytes: reading never fails, keeps the values of the lines
// before the first line with a negative number, and what was read survives a write
// and a second read (an LF in the folder text aside, which is written as a blank).
inline QString RunSetupFile(const uint8_t *data, size_t size)
{
    static const QString folder = scratchFolder() + QStringLiteral("/setup");
    static const QString copyFolder = scratchFolder() + QStringLiteral("/setup-copy");
    static const bool made = QDir().mkpath(folder) && QDir().mkpath(copyFolder);
    Q_UNUSED(made);
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!writeFile(folder + QStringLiteral("/Kestrum.set"), content))
        return QString();

    Globals globals;
    globals.ProgramFolder = folder;
    globals.SetPath = QStringLiteral("before");
    ReadSetupFile(globals);

    // Entry 2 (the folder text) as the reading rules give it.
    QByteArrayView setPathBytes;
    QByteArrayView lastValue;
    for (const QByteArrayView record : ReferenceRecords(content)) {
        const double number = std::nearbyint(ReferenceRecordNumber(record));
        if (!(number >= 0))
            break;
        const qsizetype arrow = record.indexOf(QByteArrayView("->"));
        if (arrow >= 0)
            lastValue = record.sliced(arrow + 2);
        if (number == 2)
            setPathBytes = lastValue;
    }
    const QString setPath = QString::fromLatin1(setPathBytes);
    if (globals.SetPath != setPath)
        return QStringLiteral("SetPath \"%1\", expected \"%2\"").arg(globals.SetPath, setPath);

    Globals copy;
    copy.ProgramFolder = copyFolder;
    Globals written = globals;
    written.ProgramFolder = copyFolder;
    WriteSetupFile(written);
    ReadSetupFile(copy);
    QString expectedPath = globals.SetPath;
    expectedPath.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (copy.ComPortIndex != globals.ComPortIndex || copy.LogfileMode != globals.LogfileMode ||
        copy.UnitType != globals.UnitType || copy.SetPath != expectedPath)
        return QStringLiteral("the setup file did not survive a write and a read");
    return QString();
}

// --- fuzz_values -------------------------------------------------------------------

// The number reader, the value slot's conversions and its equality.
inline QString RunValues(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromLatin1(bytes);

    const double read = TextToNumber(text);
    if (std::isnan(read))
        return QStringLiteral("TextToNumber gave NaN");
    if (const std::optional<double> whole = WholeTextAsNumber(text)) {
        if (!(*whole == read))
            return QStringLiteral("whole-text number %1 differs from TextToNumber %2")
                .arg(*whole)
                .arg(read);
    }

    if (Value::text(text).asText() != text)
        return QStringLiteral("a text value changed its text");

    double d = 0;
    if (size >= sizeof d)
        std::memcpy(&d, data, sizeof d);
    qint16 i16 = 0;
    if (size >= 2)
        i16 = qint16(data[0] | data[1] << 8);

    const Value values[] = {Value(),
                            Value::text(text),
                            Value::number(d),
                            Value::number(read),
                            Value::int16(i16),
                            Value::text(Value::number(d).asText()),
                            Value::text(QString::number(i16))};
    for (const Value &a : values) {
        if (const std::optional<qint16> n = a.asInt16()) {
            const double number = a.isText() ? *WholeTextAsNumber(a.asText()) : a.asNumber();
            if (!a.isEmpty() && std::fabs(double(*n) - number) > 0.5)
                return QStringLiteral("asInt16 %1 of %2").arg(*n).arg(number);
            if (!a.isEmpty() && std::fabs(double(*n) - number) == 0.5 && *n % 2 != 0)
                return QStringLiteral("half %1 not rounded to even").arg(number);
        }
        const bool nan = a.isNumber() && std::isnan(a.asNumber());
        if (!nan && !(a == a))
            return QStringLiteral("a value unequal to itself: \"%1\"").arg(a.asText());
        for (const Value &b : values) {
            if ((a == b) != (b == a))
                return QStringLiteral("equality not symmetric for \"%1\" and \"%2\"")
                    .arg(a.asText(), b.asText());
        }
    }
    if (std::isfinite(d)) {
        const QString shown = Value::number(d).asText();
        if (!(TextToNumber(shown) == d) || WholeTextAsNumber(shown) != d)
            return QStringLiteral("%1 does not read back as the same number").arg(shown);
        if (!(Value::number(d) == Value::text(shown)))
            return QStringLiteral("%1 unequal to its own text").arg(shown);
    }
    if (Value::int16(i16).asText() != QString::number(i16) || Value::int16(i16).asInt16() != i16 ||
        !(Value::int16(i16) == Value::number(i16)))
        return QStringLiteral("16-bit value %1 changed").arg(i16);

    return QString();
}

// --- fuzz_telnet: what a serial device server sends over Telnet -------------------
//
// The first byte is the size - 1 of the pieces the rest arrives in. The same bytes
// fed whole and in pieces must give the same data, replies and state; bytes without
// IAC are data and nothing else; this side sends only whole Telnet commands, agrees
// to no option it does not use, and answers in proportion to what it was sent.

struct TelnetRun
{
    QByteArray data;
    QByteArray replies;
    bool ready = false;
    QString failure;
};

inline TelnetRun runTelnet(const QByteArray &server, qsizetype piece)
{
    LineSettings settings;
    TelnetComPort telnet(settings);
    TelnetRun run;
    telnet.start();
    for (qsizetype at = 0; at < server.size(); at += piece) {
        telnet.receive(server.mid(at, piece));
        run.data += telnet.takeData();
        run.replies += telnet.takeReplies();
    }
    run.ready = telnet.isReady();
    run.failure = telnet.failure();
    if (run.ready && telnet.hasFailed())
        run.failure = QStringLiteral("ready and failed at once");
    return run;
}

inline QString checkReplies(const QByteArray &replies)
{
    const auto at = [&replies](qsizetype i) { return static_cast<unsigned char>(replies.at(i)); };
    for (qsizetype i = 0; i < replies.size();) {
        if (at(i) != 0xFF || i + 1 >= replies.size())
            return QStringLiteral("replies hold a stray byte at %1").arg(i);
        const unsigned char verb = at(i + 1);
        if (verb >= 0xFB && verb <= 0xFE && i + 2 < replies.size()) {
            const unsigned char option = at(i + 2);
            const bool agrees = verb == 0xFB || verb == 0xFD;
            if (agrees && option != 0 && option != 3 && option != 44)
                return QStringLiteral("agreed to option %1").arg(option);
            i += 3;
            continue;
        }
        if (verb != 0xFA)
            return QStringLiteral("replies hold command %1 at %2").arg(verb).arg(i);
        qsizetype j = i + 2;
        while (j + 1 < replies.size() && !(at(j) == 0xFF && at(j + 1) == 0xF0))
            j += at(j) == 0xFF && at(j + 1) == 0xFF ? 2 : 1;
        if (j + 1 >= replies.size())
            return QStringLiteral("a subnegotiation without its end at %1").arg(i);
        i = j + 2;
    }
    return QString();
}

inline QString RunTelnet(const uint8_t *data, size_t size)
{
    Bytes in(data, size);
    const qsizetype piece = in.next() + 1;
    const QByteArray server = in.take(size);
    const TelnetRun whole = runTelnet(server, qMax<qsizetype>(server.size(), 1));
    const TelnetRun pieces = runTelnet(server, piece);
    if (whole.data != pieces.data || whole.replies != pieces.replies ||
        whole.ready != pieces.ready || whole.failure != pieces.failure)
        return QStringLiteral("pieces of %1 give another result than the whole").arg(piece);
    if (!server.contains('\xff') && whole.data != server)
        return QStringLiteral("bytes without IAC are not all data");
    if (whole.data.size() > server.size())
        return QStringLiteral("more data than bytes received");
    if (const QString error = checkReplies(whole.replies); !error.isEmpty())
        return error;
    // Every reply answers a command of the server: three bytes for each of its
    // three-byte requests, the line settings once, a signature per request for one.
    if (whole.replies.size() > 8 * server.count('\xff') + 64)
        return QStringLiteral("%1 bytes of replies to %2 received")
            .arg(whole.replies.size())
            .arg(server.size());
    if (whole.failure == QLatin1String("ready and failed at once"))
        return whole.failure;
    return QString();
}

// Used by the libFuzzer mains: a broken invariant is a finding.
inline void Check(const QString &error)
{
    if (error.isEmpty())
        return;
    std::fprintf(stderr, "invariant broken: %s\n", qPrintable(error));
    std::abort();
}

} // namespace FuzzTargets
