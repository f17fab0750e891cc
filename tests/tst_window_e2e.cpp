// The whole window program against kestrum-sim over a real pseudo-terminal: the
// window, the application object and the command handlers put together as the
// program does, the real serial port, the window's own timers, only the dialogs
// answered by script. Every wait has a deadline.

#include "app/Commands.h"
#include "app/Kestrum.h"
#include "serial/QtSerialBackend.h"
#include "support/ScriptedDialogs.h"
#include "support/SimProcess.h"
#include "support/WindowRig.h"
#include "window/MainWindow.h"
#include "window/WidgetScreen.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <map>
#include <memory>

namespace {

const QString ReadAllDone = QStringLiteral("Reading of all settings was successfull.");

// The program as it runs, with dialogs that answer by script: a program folder with
// a ports/com1 link to the simulator, the window first, then the application object
// and the handlers, the start-up sequence, then the window is shown.
struct ProgramRig
{
    QTemporaryDir home;
    SimProcess sim;
    QtSerialBackend port;
    SystemClock clock;
    ScriptedDialogs dialogs;
    QStringList log; // without time stamps
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Kestrum> app;
    std::unique_ptr<Commands> commands;

    ~ProgramRig()
    {
        if (window)
            window->detach();
    }

    bool start()
    {
        const QString ports = home.filePath(QStringLiteral("ports"));
        if (!home.isValid() || !QDir().mkpath(ports))
            return false;
        if (!sim.start({QStringLiteral("--link"), ports + QStringLiteral("/com1")}))
            return false;
        qputenv("KESTRUM_HOME", home.path().toLocal8Bit());
        window = std::make_unique<MainWindow>();
        app = std::make_unique<Kestrum>(window->screen(), dialogs, port, clock, home.path());
        app->log.onLine = [this](const QString &line) { log.append(line.mid(9)); };
        commands = std::make_unique<Commands>(*app);
        window->attach(*app, *commands);
        app->StartProgram(QString());
        window->show();
        return QTest::qWaitForWindowExposed(window.get()) &&
               app->engine.EngineState == Engine::ST_IDLE;
    }

    Screen &screen() { return window->screen(); }
    bool press(const QString &name) { return pressButton(*window, name); }
    QComboBox *combo(int item)
    {
        return window->findChild<QComboBox *>(indexed("ComboInstellingen", item));
    }

    // The value the simulator holds for an item, as it prints it.
    QString simValue(int item)
    {
        if (!sim.sendCommand(QStringLiteral("get %1").arg(item)))
            return QStringLiteral("<no answer>");
        const QString prefix = QStringLiteral("value item %1 = ").arg(item);
        const QStringList lines = sim.output().split(QLatin1Char('\n'));
        for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
            if (it->startsWith(prefix))
                return it->mid(prefix.size());
        }
        return QStringLiteral("<no answer>");
    }

    // Waits for the next tick of the window's colouring timer.
    bool nextColouring()
    {
        QSignalSpy tick(window->findChild<QTimer *>(QStringLiteral("TmrUpdateVensters")),
                        &QTimer::timeout);
        return tick.wait(2000);
    }
};

QList<int> bulkItems()
{
    QList<int> items;
    for (int item = 0; item <= 250; ++item) {
        if (IsBulkItem(item))
            items.append(item);
    }
    return items;
}

QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Which entries of a control do not show the expected choice, or not in the expected
// colour; empty when all do.
QStringList mismatches(ProgramRig &rig, const std::map<int, int> &expected, ControlColour colour)
{
    const QColor textColour = colour == ControlColour::EqualToUnit
                                  ? WidgetScreen::equalToUnitColour()
                                  : WidgetScreen::differentFromUnitColour();
    QStringList wrong;
    for (const auto &[item, value] : expected) {
        QComboBox *combo = rig.combo(item);
        if (rig.screen().selectedIndex(item) != value ||
            combo->currentText() != rig.screen().choiceText(item, value))
            wrong.append(QStringLiteral("item %1 shows \"%2\", not entry %3")
                             .arg(item)
                             .arg(combo->currentText())
                             .arg(value));
        if (rig.screen().colour(item) != colour ||
            combo->palette().color(QPalette::Active, QPalette::Text) != textColour)
            wrong.append(QStringLiteral("item %1 drawn in the wrong colour").arg(item));
    }
    return wrong;
}

} // namespace

class TestWindowE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readChangeWriteSaveAndLoad();
    void writeChangedShowsTheChangesAndWritesOnlyThose_data();
    void writeChangedShowsTheChangesAndWritesOnlyThose();
};

void TestWindowE2e::readChangeWriteSaveAndLoad()
{
    ProgramRig rig;
    QVERIFY(rig.start());
    // Without a setup file nothing is logged during start-up; the port is open all the same.
    QVERIFY(rig.port.isOpen());

    // A distinctive choice for every bulk item, none of them the first entry, which
    // is what the screen shows after a start without default file.
    std::map<int, int> unit;
    for (int item : bulkItems()) {
        const int count = rig.screen().choiceCount(item);
        QVERIFY2(count >= 2, qPrintable(QString::number(item)));
        unit[item] = 1 + item % (count - 1);
        QVERIFY(rig.sim.sendCommand(QStringLiteral("set %1 %2").arg(item).arg(unit[item])));
        QCOMPARE(rig.simValue(item), QString::number(unit[item]));
        QCOMPARE(rig.screen().selectedIndex(item), 0);
    }

    // "Read all settings from unit": every bulk control takes the converter's value
    // and is drawn as equal to it.
    QVERIFY(rig.press(QStringLiteral("CmdLeesAlles")));
    QTRY_VERIFY_WITH_TIMEOUT(rig.log.contains(ReadAllDone), 20000);
    QCOMPARE(rig.screen().progressText().count(QStringLiteral(" OK\r\n")), 27);
    QVERIFY(rig.nextColouring());
    QCOMPARE(mismatches(rig, unit, ControlColour::EqualToUnit), QStringList());

    // The user picks another "Diagnostic level:" with the keyboard...
    auto *tab1 = rig.window->findChild<QTabWidget *>(QStringLiteral("SSTab1"));
    auto *tab2 = rig.window->findChild<QTabWidget *>(QStringLiteral("SSTab2"));
    tab1->setCurrentIndex(1);
    tab2->setCurrentIndex(0);
    QComboBox *level = rig.combo(0);
    QCOMPARE(rig.window->findChild<QLabel *>(QStringLiteral("TxtLegendaCharInput_0"))->text(),
             QStringLiteral("Diagnostic level:"));
    QVERIFY(level->isVisible() && level->isEnabled());
    const bool last = unit[0] == level->count() - 1;
    const int chosen = last ? unit[0] - 1 : unit[0] + 1;
    level->setFocus();
    QTest::keyClick(level, last ? Qt::Key_Up : Qt::Key_Down);
    QCOMPARE(rig.screen().selectedIndex(0), chosen);
    QCOMPARE(level->lineEdit()->text(), rig.screen().choiceText(0, chosen));
    QVERIFY(rig.nextColouring());
    QCOMPARE(rig.screen().colour(0), ControlColour::DifferentFromUnit);

    // ...and writes it with its "Schrijven": the converter holds it afterwards.
    QCOMPARE(
        rig.window->findChild<QPushButton *>(QStringLiteral("CmdWriteSingleSetting_0"))->text(),
        QStringLiteral("Schrijven"));
    QVERIFY(rig.press(QStringLiteral("CmdWriteSingleSetting_0")));
    QTRY_VERIFY_WITH_TIMEOUT(rig.screen().progressText().contains(QStringLiteral(" -> Saved.")),
                             20000);
    QCOMPARE(rig.simValue(0), QString::number(chosen));
    unit[0] = chosen;
    QVERIFY(rig.nextColouring());
    QCOMPARE(mismatches(rig, unit, ControlColour::EqualToUnit), QStringList());

    // "Save to file" writes what the screen shows.
    const QString file = rig.home.filePath(QStringLiteral("unit.cfg"));
    rig.dialogs.fileAnswers = {file};
    QVERIFY(rig.press(QStringLiteral("CmdOpslaanUnitGegevens")));
    QCOMPARE(rig.dialogs.beeps, 0);
    const QList<QByteArray> lines = fileLines(file);
    QCOMPARE(lines.size(), 250);
    QCOMPARE(lines.at(0), "0    ->" + QByteArray::number(chosen) + "\r");
    for (const auto &[item, value] : unit)
        QCOMPARE(lines.at(item),
                 QByteArray::number(item) + "    ->" + QByteArray::number(value) + "\r");

    // Other choices on the screen, then "Read from file" brings the saved ones back;
    // the converter's values are forgotten, so every control is drawn as different.
    for (const auto &[item, value] : unit)
        QVERIFY(rig.screen().setSelectedIndex(item, 0));
    rig.dialogs.fileAnswers = {file};
    QVERIFY(rig.press(QStringLiteral("CmdLezenUnitgegevens")));
    QCOMPARE(rig.dialogs.beeps, 0);
    QVERIFY(rig.dialogs.boxes.isEmpty());
    QVERIFY(rig.nextColouring());
    QCOMPARE(mismatches(rig, unit, ControlColour::DifferentFromUnit), QStringList());
    for (const auto &[item, value] : unit)
        QCOMPARE(rig.app->table.UnitValue[item], Value::int16(-1));

    // Nothing went wrong on the way.
    QVERIFY(rig.dialogs.boxes.isEmpty());
    QCOMPARE(rig.app->engine.ErrorCount, qint16(0));
    QVERIFY(rig.app->engine.isQuiet());
}

void TestWindowE2e::writeChangedShowsTheChangesAndWritesOnlyThose_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("the changes are written") << "write";
    QTest::newRow("the list is cancelled") << "cancel";
    QTest::newRow("Cancel while the unit is read") << "cancel while reading";
}

void TestWindowE2e::writeChangedShowsTheChangesAndWritesOnlyThose()
{
    QFETCH(QString, answer);
    ProgramRig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.sim.sendCommand(QStringLiteral("set 10 3"))); // 9600 baud
    QVERIFY(rig.sim.sendCommand(QStringLiteral("set 13 0"))); // no parity
    for (int item : bulkItems())
        QVERIFY(rig.screen().setSelectedIndex(item, rig.simValue(item).toInt()));
    QVERIFY(rig.screen().setSelectedIndex(10, 4));
    QVERIFY(rig.screen().setSelectedIndex(13, 2));
    rig.dialogs.changeAnswers = {answer == "write"};

    QVERIFY(rig.press(QStringLiteral("CmdWriteChanged")));
    if (answer == "cancel while reading") {
        QTRY_VERIFY_WITH_TIMEOUT(rig.screen().progressText().contains("Reading setting 13 "),
                                 20000);
        QVERIFY(rig.press(QStringLiteral("CmdCancelReadWrite")));
    }
    QTRY_VERIFY_WITH_TIMEOUT(rig.app->engine.isQuiet(), 20000);
    QVERIFY(!rig.sim.output().contains(QStringLiteral("write item")) || answer == "write");
    if (answer == "cancel while reading") {
        QVERIFY(rig.screen().progressText().contains(QStringLiteral("Geannuleerd!")));
        QVERIFY(rig.dialogs.changeLists.isEmpty());
        QVERIFY(!rig.sim.output().contains(QStringLiteral("read item 37")));
        QVERIFY(!rig.log.join('\n').contains(QStringLiteral("ppl")));
        // The answer to the read under way when Cancel came leaves the edit alone.
        QCOMPARE(rig.screen().selectedIndex(13), 2);
        return;
    }

    // Learning what the unit holds leaves the screen alone.
    QCOMPARE(rig.screen().progressText().count(QStringLiteral(" OK\r\n")),
             answer == "write" ? 27 + 2 : 27);
    QVERIFY(rig.screen().progressText().contains("ESPA out serial speed: 9600 baud OK\r\n"));
    QCOMPARE(rig.screen().selectedIndex(10), 4);
    QCOMPARE(rig.dialogs.changeLists.size(), 1);
    const QList<PlannedChange> &changes = rig.dialogs.changeLists.first();
    QCOMPARE(changes.size(), 2);
    QCOMPARE(QStringList({QString::number(changes[0].item), changes[0].legend, changes[0].unitText,
                          changes[0].wantedText}),
             QStringList({"10", "ESPA out serial speed:", "9600 baud", "19200 baud"}));
    QCOMPARE(QStringList({QString::number(changes[1].item), changes[1].legend, changes[1].unitText,
                          changes[1].wantedText}),
             QStringList({"13", "ESPA out serial parity:", "no parity", "odd parity"}));
    QVERIFY(rig.nextColouring());
    if (answer == "cancel") {
        QCOMPARE(rig.screen().colour(10), ControlColour::DifferentFromUnit);
        QCOMPARE(rig.screen().colour(11), ControlColour::EqualToUnit);
        QVERIFY(!rig.log.join('\n').contains(QStringLiteral("ppl")));
        return;
    }

    QVERIFY(rig.log.contains(
        "Change planned: [Item: 10] ESPA out serial speed: 9600 baud -> 19200 baud"));
    QVERIFY(rig.log.contains(
        "Change planned: [Item: 13] ESPA out serial parity: no parity -> odd parity"));
    QCOMPARE(rig.log.last(),
             QStringLiteral("Applied 2 changed settings; all read back as written."));
    QCOMPARE(rig.sim.output().count(QStringLiteral("write item")), 2);
    QCOMPARE(rig.simValue(10), QStringLiteral("4"));
    QCOMPARE(rig.simValue(13), QStringLiteral("2"));
    QCOMPARE(rig.screen().colour(10), ControlColour::EqualToUnit);
    QVERIFY(rig.dialogs.boxes.isEmpty());

    // A second run reads the unit again (it may be another one by now) and finds
    // nothing to do.
    rig.screen().clearProgress();
    QVERIFY(rig.press(QStringLiteral("CmdWriteChanged")));
    QTRY_VERIFY_WITH_TIMEOUT(rig.app->engine.isQuiet(), 20000);
    QCOMPARE(rig.screen().progressText().count(QStringLiteral(" OK\r\n")), 27);
    QVERIFY(rig.screen().progressText().endsWith(
        QStringLiteral(" OK\r\nThe unit already holds these settings.\r\n")));
    QCOMPARE(rig.dialogs.changeLists.size(), 1);

    // The history holds the unit before and after the change. The state before, loaded
    // into the screen, shows where it differs from the unit, and restores it.
    rig.dialogs.snapshotAnswers = {1};
    QVERIFY(rig.press(QStringLiteral("CmdHistory")));
    QStringList seen;
    for (const SnapshotRow &row : rig.dialogs.historyRows)
        seen << row.port + ' ' + row.event + ' ' + row.changes;
    for (const PlannedChange &d : rig.dialogs.historyDifferences.value(1))
        seen << QString::number(d.item) + ' ' + d.unitText + ' ' + d.wantedText;
    QCOMPARE(seen, QStringList({"Com1 written 2", "Com1 read -", "10 9600 baud 19200 baud",
                                "13 no parity odd parity"}));
    QCOMPARE(rig.dialogs.historyDifferences.value(0).size(), 0);
    QCOMPARE(rig.screen().selectedIndex(10), 3);
    QVERIFY(rig.nextColouring());
    QCOMPARE(rig.screen().colour(10), ControlColour::DifferentFromUnit);
    QCOMPARE(rig.screen().colour(11), ControlColour::EqualToUnit);
    rig.dialogs.changeAnswers = {true};
    QVERIFY(rig.press(QStringLiteral("CmdWriteChanged")));
    QTRY_VERIFY_WITH_TIMEOUT(rig.app->engine.isQuiet(), 20000);
    QCOMPARE(rig.log.last(),
             QStringLiteral("Applied 2 changed settings; all read back as written."));
    QCOMPARE(rig.simValue(10), QStringLiteral("3"));
    QCOMPARE(rig.simValue(13), QStringLiteral("0"));
}

QTEST_MAIN(TestWindowE2e)
#include "tst_window_e2e.moc"
