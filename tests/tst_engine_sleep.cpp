// The engine timer that sleeps while there is nothing to do must change nothing: the
// same scripted work runs through two programs, one ticked every 25 ms, the other
// with its timer sleeping and waking as the window's does. Everything each program
// does (every call into the screen, every frame sent, every log line and message
// box, and the engine's counters at every command and at the end), stamped with the
// clock, must be the same. So must a program that keeps no history of the settings.

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
    // One step of a scenario: a button, bytes from the converter (| is CR LF), or a
    // change to the screen or to the converter.
    void act(const QString &command, const QString &argument)
    {
        stamp(QStringLiteral("do %1 %2 in stage %3")
                  .arg(command, argument)
                  .arg(int(app.engine.applyStage())));
        const int n = argument.section('=', 0, 0).toInt();
        if (command == QLatin1String("read"))
            commands.CmdReadSingleSetting(n);
        else if (command == QLatin1String("write"))
            commands.CmdWriteSingleSetting(n);
        else if (command == QLatin1String("read-all"))
            commands.CmdLeesAlles();
        else if (command == QLatin1String("write-all"))
            commands.CmdSchrijfAlles();
        else if (command == QLatin1String("write-changed"))
            commands.CmdWriteChanged();
        else if (command == QLatin1String("restart"))
            commands.CmdTestHerstart();
        else if (command == QLatin1String("call"))
            commands.CmdTestOproepPager();
        else if (command == QLatin1String("open"))
            commands.CmdReOpenCom();
        else if (command == QLatin1String("cancel"))
            commands.CmdCancelReadWrite();
        else if (command == QLatin1String("feed"))
            port.feed(argument.toLatin1().replace('|', "\r\n"));
        else if (command == QLatin1String("silent"))
            mode = Converter::Silent;
        else if (command == QLatin1String("refusing"))
            mode = Converter::RefusingWrites;
        else if (command == QLatin1String("address"))
            screen.setValueText(CTRL_TEST_ADDRESS, argument);
        else if (command == QLatin1String("select")) // ITEM=CHOICE
            QVERIFY(screen.setSelectedIndex(n, argument.section('=', 1).toInt()));
        else if (command == QLatin1String("four")) {
            // The screen as the converter holds it (choice 1), but for four settings.
            for (int item = 0; item <= 37; ++item) {
                if (IsBulkItem(item))
                    screen.setSelectedIndex(item, QList{10, 13, 20, 30}.contains(item) ? 2 : 1);
            }
        } else
            QFAIL(qPrintable(command));
    }
};

struct Run
{
    QStringList record;
    int ticks = 0;
    bool asleepAtEnd = false;
    QStringList history; // the snapshots' file names, with their items 10 and 11
};

// Runs a script ("AT COMMAND [ARGUMENT]; ...", AT in ms) on a fresh program until
// endMs. `sleeping` drives the engine timer as the window does, else it ticks every
// 25 ms.
Run run(const QString &script, int endMs, bool portFails, bool sleeping, bool history = true)
{
    Program p;
    Run result;
    if (!history)
        p.app.engine.onUnitLearnt = nullptr;
    p.clock.monotonic = 0;
    p.port.failNextOpen = portFails;
    p.app.StartProgram(QString());
    p.converter.answer = [&p](const QByteArray &request) { return p.answer(request); };
    p.screen.now = &p.now;
    p.screen.record = &p.record;
    p.app.log.onLine = [&p](const QString &line) { p.stamp("log " + line.mid(9)); };
    p.dialogs.whileBoxOpen = [&p] { p.stamp("box " + p.dialogs.boxes.last().text); };

    int nextTick = Kestrum::EngineTickMs; // -1 while the timer sleeps
    // What the window does whenever work may have come, and before it waits.
    const auto wake = [&] {
        if (sleeping && nextTick < 0) {
            if (const int ms = p.app.EngineTimerWake())
                nextTick = p.now + ms;
        }
    };
    p.app.onWork = wake;
    const auto runUntil = [&](int ms) {
        while (nextTick >= 0 && nextTick <= ms) {
            p.now = nextTick;
            p.clock.monotonic = nextTick;
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
        p.now = ms;
        p.clock.monotonic = ms;
    };
    const auto counters = [&] {
        p.app.CatchUpEngineTicks();
        const Engine &e = p.app.engine;
        QStringList values;
        for (const qint16 v :
             {e.EngineState, e.DelayTicks, e.AnswerTicks, e.IdleTicks, e.CurrentItem, e.BulkMode,
              e.ErrorCount, e.BufPos, e.ReadAllRequest, e.WriteAllRequest, e.WriteChangedRequest,
              e.PagerCallRequest, e.RestartRequest})
            values.append(QString::number(v));
        p.stamp("counters " + values.join(' ') + " line " + e.ReceiveLine);
    };
    for (const QString &step : script.split(QLatin1String("; "))) {
        runUntil(step.section(' ', 0, 0).toInt());
        p.act(step.section(' ', 1, 1), step.section(' ', 2));
        wake();
        counters();
    }
    runUntil(endMs);
    counters();
    for (const ScriptedConverter::Received &frame : p.converter.received)
        result.record.append(QString::number(frame.tick) + " sent " + spacedHex(frame.bytes));
    result.record += p.record;
    result.asleepAtEnd = sleeping && nextTick < 0;
    for (const Snapshot &snapshot : p.app.history.snapshots()) {
        const FileValues values = SettingsHistory::valuesOf(snapshot.path).value();
        result.history.prepend(QFileInfo(snapshot.path).fileName() + " 10=" + values[10].asText() +
                               " 11=" + values[11].asText());
    }
    return result;
}

} // namespace

class TestEngineSleep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aSleepingTimerChangesNothing_data();
    void aSleepingTimerChangesNothing();
    void keepingTheHistoryAddsNoTick();
};

void TestEngineSleep::aSleepingTimerChangesNothing_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("endMs");
    QTest::addColumn<bool>("portFails");
    QTest::addColumn<QString>("expect"); // part of a line the run must record

    QTest::newRow("single read") << "500 read 10" << 3000 << false
                                 << "appendProgress ESPA out serial speed: 2400 baud OK";
    QTest::newRow("single write") << "0 select 10=3; 500 write 10" << 8000 << false
                                  << "[Item: 10 Value: 3] Writing ESPA out serial speed: 9600 baud";
    QTest::newRow("a refused write")
        << "0 refusing; 500 write 13" << 5000 << false << "Programming is aborted!";
    QTest::newRow("read-all") << "500 read-all" << 8000 << false
                              << "Reading of all settings was successfull.";
    QTest::newRow("read-all, Cancel")
        << "500 read-all; 1510 cancel" << 4000 << false << "Geannuleerd!";
    QTest::newRow("write-all with a refused item")
        << "0 select 12=-1; 500 write-all" << 10000 << false << "Not sent: 12";
    QTest::newRow("write-all, Cancel")
        << "500 write-all; 1490 cancel" << 4000 << false << "Geannuleerd!";
    QTest::newRow("write changed") << "0 four; 500 write-changed" << 12000 << false
                                   << "Applied 4 changed settings; all read back as written.";
    QTest::newRow("write changed, Cancel while reading the unit")
        << "500 write-changed; 2000 cancel" << 6000 << false << "do cancel  in stage 1";
    // The third write's answer is awaited at 5200 ms, the second read-back's at 5700.
    QTest::newRow("write changed, Cancel while writing")
        << "0 four; 500 write-changed; 5200 cancel" << 9000 << false
        << "Cancelled after 3 of 4 changes: 10, 13, 20 written; 30 not written.";
    QTest::newRow("write changed, Cancel while reading back")
        << "0 four; 500 write-changed; 5700 cancel" << 9000 << false
        << "Cancelled after 4 of 4 changes: 10, 13, 20, 30 written; 10, 13 read back as "
           "written; 20, 30 not read back.";
    QTest::newRow("the abort after three time-outs")
        << "0 silent; 500 read-all" << 14000 << false << "Reading is aborted!";
    QTest::newRow("restart") << "500 restart" << 3000 << false
                             << "STATUS: RESET command send to the converter.";
    QTest::newRow("test call") << "0 address 1234; 500 call" << 3000 << false
                               << "STATUS: Calling pager via Kestrum succesfull.";
    QTest::newRow("a byte and a text arriving while asleep")
        << "510 feed A; 1333 feed hello|" << 3000 << false << "log Ahello";
    QTest::newRow("a command at a tick boundary")
        << "1000 read 10; 3000 read 11" << 5000 << false << "Reading setting 11";
    QTest::newRow("the port opens after the start")
        << "500 read 10; 1210 open" << 4000 << true
        << "appendProgress ESPA out serial speed: 2400 baud OK";
}

void TestEngineSleep::aSleepingTimerChangesNothing()
{
    QFETCH(QString, script);
    QFETCH(int, endMs);
    QFETCH(bool, portFails);
    QFETCH(QString, expect);
    const Run ticking = run(script, endMs, portFails, false);
    const Run sleeping = run(script, endMs, portFails, true);

    QVERIFY2(sleeping.record.join('\n').contains(expect), qPrintable(sleeping.record.join('\n')));
    QCOMPARE(sleeping.record, ticking.record);
    // It did sleep, and sleeps at the end.
    QVERIFY(sleeping.ticks < ticking.ticks);
    QVERIFY(sleeping.asleepAtEnd);
}

// A read-all, then write changed with four changes read back: the snapshots are kept
// within the steps that end the work.
void TestEngineSleep::keepingTheHistoryAddsNoTick()
{
    const QString script = QStringLiteral("500 read-all; 8000 four; 8100 write-changed");
    const Run kept = run(script, 21000, false, false);
    const Run notKept = run(script, 21000, false, false, false);
    QVERIFY(kept.record.join('\n').contains("Applied 4 changed settings"));
    QCOMPARE(kept.record, notKept.record);
    QCOMPARE(notKept.history, QStringList());
    // The reads of write changed found what the read-all had kept.
    QCOMPARE(kept.history, QStringList({"20261207-100000-com1-read.cfg 10=1 11=1",
                                        "20261207-100000-com1-written.cfg 10=2 11=1"}));
}

QTEST_GUILESS_MAIN(TestEngineSleep)
#include "tst_engine_sleep.moc"
