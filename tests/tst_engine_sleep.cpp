// The engine timer that sleeps while there is nothing to do must change nothing: the
// same scripted work runs through two programs, one ticked every 25 ms, the other
// with its timer sleeping and waking as the window's does. Everything each program
// does (every call into the screen, every frame sent, every log line and message
// box, and the engine's counters at every command and at the end), stamped with the
// clock, must be the same.

#include "app/Commands.h"
#include "support/EngineRig.h"

#include <QtTest>

#include <map>
#include <tuple>

namespace {

// A headless screen that notes every call made to it, with its arguments and the time.
class RecordingScreen : public HeadlessScreen
{
public:
    QStringList *record = nullptr;
    const int *now = nullptr;

private:
    template <typename T> static QString text(const T &value)
    {
        if constexpr (std::is_same_v<T, QString>)
            return value;
        else if constexpr (std::is_same_v<T, std::array<QString, 25>>)
            return QStringList(value.begin(), value.end()).join(QLatin1Char('|'));
        else
            return QString::number(qint64(value));
    }
    template <typename... A> void note(const char *name, const std::tuple<A...> &args) const
    {
        if (!record)
            return;
        QString line = QString::number(*now) + QLatin1Char(' ') + QLatin1String(name);
        std::apply([&](const auto &...a) { ((line += QLatin1Char(' ') + text(a)), ...); }, args);
        record->append(line);
    }

public:
#define RECORDED(Result, name, Params, Args, ...)                                                  \
    Result name Params __VA_ARGS__ override                                                        \
    {                                                                                              \
        note(#name, std::tuple Args);                                                              \
        return HeadlessScreen::name Args;                                                          \
    }
    RECORDED(bool, inUse, (int c), (c), const)
    RECORDED(void, setInUse, (int c, bool on), (c, on))
    RECORDED(bool, legendShown, (int c), (c), const)
    RECORDED(QString, legendText, (int c), (c), const)
    RECORDED(QString, valueText, (int c), (c), const)
    RECORDED(void, setValueText, (int c, const QString &t), (c, t))
    RECORDED(void, clearChoices, (int c), (c))
    RECORDED(void, appendChoice, (int c, const QString &t), (c, t))
    RECORDED(int, choiceCount, (int c), (c), const)
    RECORDED(QString, choiceText, (int c, int i), (c, i), const)
    RECORDED(int, selectedIndex, (int c), (c), const)
    RECORDED(bool, setSelectedIndex, (int c, int i), (c, i))
    RECORDED(void, clearSelectionHighlight, (int c), (c))
    RECORDED(ControlColour, colour, (int c), (c), const)
    RECORDED(void, setColour, (int c, ControlColour k), (c, k))
    RECORDED(quint64, contentGeneration, (), ())
    RECORDED(bool, buttonsInUse, (int c), (c), const)
    RECORDED(void, setButtonsInUse, (int c, bool on), (c, on))
    RECORDED(void, appendProgress, (const QString &t), (t))
    RECORDED(QString, progressText, (), (), const)
    RECORDED(void, clearProgress, (), ())
    RECORDED(void, setProgressBar, (bool on, int v), (on, v))
    RECORDED(bool, progressBarVisible, (), (), const)
    RECORDED(int, progressBarValue, (), (), const)
    RECORDED(void, setPortCaption, (const QString &t), (t))
    RECORDED(QString, portCaption, (), (), const)
    RECORDED(void, setLamp, (Lamp l, bool on), (l, on))
    RECORDED(void, UpdateMessageWindow, (const std::array<QString, 25> &m), (m))
    RECORDED(void, setServiceView, (bool on), (on))
    RECORDED(void, ArrangeTabs, (qint16 level), (level))
#undef RECORDED
};

// How the scripted converter behaves.
enum class Converter { Keeping, RefusingWrites, Silent };

// A program over a recording screen and an in-memory port whose converter keeps what
// is written to it (every CHAR item holds 1 at first), takes restarts and calls and
// reports buffer position 3.
struct Program
{
    QTemporaryDir home;
    RecordingScreen screen;
    ScriptedDialogs dialogs;
    MemorySerialBackend port;
    FakeClock clock;
    Kestrum app{screen, dialogs, port, clock, home.path()};
    Commands commands{app};
    int now = 0;
    ScriptedConverter converter{port, now};
    Converter mode = Converter::Keeping;
    std::map<int, int> held;
    QStringList record;

    QByteArray answer(const QByteArray &request)
    {
        const int item = requestItem(request);
        switch (mode == Converter::Silent ? 0 : requestType(request)) {
        case 0:
            return QByteArray();
        case 'W':
            if (mode == Converter::RefusingWrites)
                return nackAnswer();
            held[item] = static_cast<unsigned char>(request.at(11));
            return ackAnswer();
        case 'w':
            return charAnswer(item, held.count(item) ? held[item] : 1);
        case '2':
            return withCheck(hexBytes("01 08 01 00 06 32 1F 33"));
        default:
            return ackAnswer();
        }
    }
    void stamp(const QString &what)
    {
        record.append(QString::number(now) + QLatin1Char(' ') + what);
    }
    void cancelNoting()
    {
        stamp(QStringLiteral("cancel in stage %1").arg(int(app.engine.applyStage())));
        commands.CmdCancelReadWrite();
    }
};

struct Step
{
    int at; // ms
    std::function<void(Program &)> action;
};
struct Scenario
{
    const char *name;
    bool portFails;
    std::vector<Step> steps;
    int endMs;
    QString expect; // part of a line the run must record
};

// When a write changed of four settings, begun at 500 ms, waits for the answer to its
// third write, and to its second read-back.
constexpr int WritingCancelMs = 5200;
constexpr int ReadingBackCancelMs = 5700;

// The screen as the converter holds it, but for four settings.
void changeFourSettings(Program &p)
{
    for (int item = 0; item <= 37; ++item) {
        if (IsBulkItem(item))
            p.screen.setSelectedIndex(item, 1);
    }
    for (int item : {10, 13, 20, 30})
        p.screen.setSelectedIndex(item, 2);
}

const std::vector<Scenario> &scenarios()
{
    using P = Program;
    static const std::vector<Scenario> all = {
        {"single read",
         false,
         {{500, [](P &p) { p.commands.CmdReadSingleSetting(10); }}},
         3000,
         "appendProgress ESPA out serial speed: 2400 baud OK"},
        {"single write",
         false,
         {{0, [](P &p) { p.screen.setSelectedIndex(10, 3); }},
          {500, [](P &p) { p.commands.CmdWriteSingleSetting(10); }}},
         8000,
         " -> Saved."},
        {"a refused write",
         false,
         {{0, [](P &p) { p.mode = Converter::RefusingWrites; }},
          {500, [](P &p) { p.commands.CmdWriteSingleSetting(13); }}},
         5000,
         "Programming is aborted!"},
        {"read-all",
         false,
         {{500, [](P &p) { p.commands.CmdLeesAlles(); }}},
         8000,
         "Reading of all settings was successfull."},
        {"read-all cancelled",
         false,
         {{500, [](P &p) { p.commands.CmdLeesAlles(); }}, {1510, [](P &p) { p.cancelNoting(); }}},
         4000,
         "Geannuleerd!"},
        {"write-all with a refused item",
         false,
         {{0, [](P &p) { p.screen.setSelectedIndex(12, -1); }},
          {500, [](P &p) { p.commands.CmdSchrijfAlles(); }}},
         10000,
         "Not sent: 12"},
        {"write-all cancelled",
         false,
         {{500, [](P &p) { p.commands.CmdSchrijfAlles(); }},
          {1490, [](P &p) { p.cancelNoting(); }}},
         4000,
         "Geannuleerd!"},
        {"write changed",
         false,
         {{0, changeFourSettings}, {500, [](P &p) { p.commands.CmdWriteChanged(); }}},
         12000,
         "Applied 4 changed settings; all read back as written."},
        {"write changed, Cancel while reading the unit",
         false,
         {{500, [](P &p) { p.commands.CmdWriteChanged(); }},
          {2000, [](P &p) { p.cancelNoting(); }}},
         6000,
         "cancel in stage 1"},
        {"write changed, Cancel while writing",
         false,
         {{0, changeFourSettings},
          {500, [](P &p) { p.commands.CmdWriteChanged(); }},
          {WritingCancelMs, [](P &p) { p.cancelNoting(); }}},
         9000,
         "Cancelled after 3 of 4 changes: 10, 13, 20 written; 30 not written."},
        {"write changed, Cancel while reading back",
         false,
         {{0, changeFourSettings},
          {500, [](P &p) { p.commands.CmdWriteChanged(); }},
          {ReadingBackCancelMs, [](P &p) { p.cancelNoting(); }}},
         9000,
         "Cancelled after 4 of 4 changes: 10, 13, 20, 30 written; 10, 13 read back as written; "
         "20, 30 not read back."},
        {"the abort after three time-outs",
         false,
         {{0, [](P &p) { p.mode = Converter::Silent; }},
          {500, [](P &p) { p.commands.CmdLeesAlles(); }}},
         14000,
         "Reading is aborted!"},
        {"restart",
         false,
         {{500, [](P &p) { p.commands.CmdTestHerstart(); }}},
         3000,
         "STATUS: RESET command send to the converter."},
        {"test call",
         false,
         {{0, [](P &p) { p.screen.setValueText(CTRL_TEST_ADDRESS, QStringLiteral("1234")); }},
          {500, [](P &p) { p.commands.CmdTestOproepPager(); }}},
         3000,
         "STATUS: Calling pager via Kestrum succesfull."},
        {"a byte and a text arriving while asleep",
         false,
         {{510, [](P &p) { p.port.feed("A"); }}, {1333, [](P &p) { p.port.feed("hello\r\n"); }}},
         3000,
         "log Ahello"},
        {"a command at a tick boundary",
         false,
         {{1000, [](P &p) { p.commands.CmdReadSingleSetting(10); }},
          {3000, [](P &p) { p.commands.CmdReadSingleSetting(11); }}},
         5000,
         "Reading setting 11"},
        {"the port opens after the start",
         true,
         {{500, [](P &p) { p.commands.CmdReadSingleSetting(10); }},
          {1210, [](P &p) { p.commands.CmdReOpenCom(); }}},
         4000,
         "appendProgress ESPA out serial speed: 2400 baud OK"},
    };
    return all;
}

struct Run
{
    QStringList record;
    int ticks = 0;
    bool asleepAtEnd = false;
};

// Runs a scenario on a fresh program: `sleeping` drives the engine timer as the
// window does, else it ticks every 25 ms.
Run run(const Scenario &scenario, bool sleeping)
{
    Program p;
    Run result;
    p.clock.monotonic = 0;
    p.port.failNextOpen = scenario.portFails;
    p.app.StartProgram(QString());
    p.converter.answer = [&p](const QByteArray &request) { return p.answer(request); };
    p.screen.now = &p.now;
    p.screen.record = &p.record;
    p.app.log.onLine = [&p](const QString &line) { p.stamp("log " + line.mid(9)); };
    p.dialogs.whileBoxOpen = [&p] { p.stamp("box " + p.dialogs.boxes.last().text); };

    int nextTick = Kestrum::EngineTickMs; // -1 while the timer sleeps
    const auto setNow = [&p](int ms) {
        p.now = ms;
        p.clock.monotonic = ms;
    };
    // What the window does whenever work may have come, and before it waits.
    const auto wake = [&] {
        if (!sleeping || nextTick >= 0)
            return;
        if (const int ms = p.app.EngineTimerWake())
            nextTick = p.now + ms;
    };
    p.app.onWork = wake;
    const auto runUntil = [&](int ms) {
        while (nextTick >= 0 && nextTick <= ms) {
            setNow(nextTick);
            ++result.ticks;
            if (sleeping) {
                const int next = p.app.EngineTimerTick();
                nextTick = next ? p.now + next : -1;
            } else {
                p.app.TmrAfhandelTick();
                nextTick += Kestrum::EngineTickMs;
            }
            wake();
        }
        setNow(ms);
    };
    const auto counters = [&] {
        p.app.CatchUpEngineTicks();
        const Engine &e = p.app.engine;
        p.stamp(QStringLiteral("state %1 delay %2 answer %3 idle %4 item %5 bulk %6 errors %7 "
                               "requests %8%9%10%11%12 line \"%13\"")
                    .arg(e.EngineState)
                    .arg(e.DelayTicks)
                    .arg(e.AnswerTicks)
                    .arg(e.IdleTicks)
                    .arg(e.CurrentItem)
                    .arg(e.BulkMode)
                    .arg(e.ErrorCount)
                    .arg(e.ReadAllRequest)
                    .arg(e.WriteAllRequest)
                    .arg(e.WriteChangedRequest)
                    .arg(e.PagerCallRequest)
                    .arg(e.RestartRequest)
                    .arg(e.ReceiveLine));
    };
    for (const Step &step : scenario.steps) {
        runUntil(step.at);
        step.action(p);
        wake();
        counters();
    }
    runUntil(scenario.endMs);
    counters();
    for (const ScriptedConverter::Received &frame : p.converter.received)
        result.record.append(QString::number(frame.tick) + " sent " + spacedHex(frame.bytes));
    result.record += p.record;
    result.asleepAtEnd = sleeping && nextTick < 0;
    return result;
}

} // namespace

class TestEngineSleep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aSleepingTimerChangesNothing_data();
    void aSleepingTimerChangesNothing();
};

void TestEngineSleep::aSleepingTimerChangesNothing_data()
{
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < scenarios().size(); ++i)
        QTest::newRow(scenarios()[i].name) << int(i);
}

void TestEngineSleep::aSleepingTimerChangesNothing()
{
    QFETCH(int, index);
    const Scenario &scenario = scenarios()[size_t(index)];
    const Run ticking = run(scenario, false);
    const Run sleeping = run(scenario, true);

    QVERIFY2(sleeping.record.join('\n').contains(scenario.expect),
             qPrintable(sleeping.record.join('\n')));
    QCOMPARE(sleeping.record, ticking.record);
    // It did sleep, before the work and after it.
    QVERIFY(sleeping.ticks < ticking.ticks);
    QVERIFY(sleeping.asleepAtEnd);
}

QTEST_GUILESS_MAIN(TestEngineSleep)
#include "tst_engine_sleep.moc"
