#include "app/Commands.h"
#include "app/Kestrum.h"
#include "screen/Catalogue.h"
#include "serial/MemorySerialBackend.h"
#include "support/CatalogueTexts.h"
#include "support/EngineRig.h"
#include "support/FakeClock.h"
#include "support/ScriptedConverter.h"
#include "support/ScriptedDialogs.h"
#include "support/WindowRig.h"
#include "window/AboutDialog.h"
#include "window/MainWindow.h"
#include "window/WidgetDialogs.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// Whether the user can get to see a widget: every widget up to the window carries
// its own visibility flag, and every tab page on the way is offered.
bool reachable(const QWidget *widget, const QWidget *window)
{
    for (const QWidget *w = widget; w && w != window; w = w->parentWidget()) {
        const QWidget *parent = w->parentWidget();
        const auto *stack = qobject_cast<const QStackedWidget *>(parent);
        const auto *tabs =
            stack ? qobject_cast<const QTabWidget *>(stack->parentWidget()) : nullptr;
        if (tabs) {
            const int page = tabs->indexOf(const_cast<QWidget *>(w));
            if (!tabs->isTabVisible(page) || !tabs->isTabEnabled(page))
                return false;
            continue; // the stack hides the pages that are not in front
        }
        if (w->isHidden())
            return false;
    }
    return true;
}

QStringList offeredTabs(const QTabWidget *tabs)
{
    QStringList offered;
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->isTabVisible(i) && tabs->isTabEnabled(i))
            offered.append(tabs->tabText(i));
    }
    return offered;
}

QStringList reachableNames(WindowRig &rig, const QStringList &prefixes)
{
    QStringList names;
    for (QWidget *w : rig.window.findChildren<QWidget *>()) {
        for (const QString &prefix : prefixes) {
            if (w->objectName().startsWith(prefix) && reachable(w, &rig.window))
                names.append(w->objectName());
        }
    }
    names.sort();
    return names;
}

QStringList pairNames(const QList<int> &items)
{
    QStringList names;
    for (int item : items) {
        names.append(indexed("CmdReadSingleSetting", item));
        names.append(indexed("CmdWriteSingleSetting", item));
    }
    names.sort();
    return names;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsOnTheStatusPageWithFourSettingsPages();
    void perItemButtonsFollowTheServiceMode_data();
    void perItemButtonsFollowTheServiceMode();
    void onlyTheBulkItemsCanBeSeen();
    void visiblePagesHoldTheirRowsInOrder_data();
    void visiblePagesHoldTheirRowsInOrder();
    void everyNamedControlExistsOnce();
    void menuAndTimersAsTheProgramNeedsThem();
    void fixedCaptions_data();
    void fixedCaptions();
    void writeLogLineShowsAtTheNextLampTickAndIsFiled();
    void programTextIsKeptWholeButTypingIsLimited_data();
    void programTextIsKeptWholeButTypingIsLimited();
    void typedTextThatMatchesNoEntrySelectsNothing();
    void buildScreenLeavesNoComboSelected();
    void lampsFlashWithTheTraffic_data();
    void lampsFlashWithTheTraffic();
    void colourRolesAreDistinctAndRevertible();
    void perItemButtonsQueueTheirOwnItem();
    void pageButtonsReachTheirHandlers();
    void doubleClickEmptiesTheTestCallBoxes();
    void tabClickRemovesComboHighlight();
    void progressPaneAppendsAndKeepsLineEnds();
    void theEngineTimerSleepsWhileIdleAndWakesForWork();
    void quitAsksAndClosesThePortOnce_data();
    void quitAsksAndClosesThePortOnce();
    void closingTheWindowAsksNothing();
    void noEngineStepRunsWhileAnEngineBoxIsOpen();
    void writeChangedAsksAndReportsInItsBoxes_data();
    void writeChangedAsksAndReportsInItsBoxes();
    void widgetDialogsAnswerAsTheButtonsSay_data();
    void widgetDialogsAnswerAsTheButtonsSay();
    void settingsFilterBecomesAQtFilter_data();
    void settingsFilterBecomesAQtFilter();
    void reportsShowTheScreenMarkedAgainstTheConverter();
};

void TestMainWindow::startsOnTheStatusPageWithFourSettingsPages()
{
    WindowRig rig;
    QCOMPARE(rig.window.objectName(), QStringLiteral("frmHoofdscherm"));
    QCOMPARE(rig.window.windowTitle(), QStringLiteral(" Kestrum Dunvale unit www.brivane.example"));

    auto *tab1 = rig.child<QTabWidget>("SSTab1");
    auto *tab2 = rig.child<QTabWidget>("SSTab2");
    auto *tab3 = rig.child<QTabWidget>("SSTab3");
    QCOMPARE(tab1->tabText(tab1->currentIndex()), QStringLiteral("Status"));
    QCOMPARE(offeredTabs(tab1), QStringList({"Status", "Setup", "File", "Unit", "Service"}));
    QCOMPARE(offeredTabs(tab2),
             QStringList({"General settings", "ESPA-out", "ESPA in 1", "ESPA in 2"}));
    QCOMPARE(tab2->count(), 10);
    QCOMPARE(tab2->tabText(tab2->currentIndex()), QStringLiteral("General settings"));
    QCOMPARE(tab3->tabText(tab3->currentIndex()), QStringLiteral("1 t/m 13"));

    for (int i = 0; i < 25; ++i) {
        auto *line = rig.child<QLineEdit>(indexed("Text2", i));
        QVERIFY(line);
        QCOMPARE(line->text(), QString());
        QVERIFY(!(line->focusPolicy() & Qt::TabFocus));
        QVERIFY(!line->hasFrame());
    }
    QVERIFY(rig.child<QProgressBar>("ProgressBarProgrammeren")->isHidden());
    QCOMPARE(rig.child<QGroupBox>("FrmCommunicatie")->title(),
             QStringLiteral("Serial Port: 1 9600,N,8,1"));
    for (const char *hidden : {"Command1", "Command2", "Command3", "ShpTestCom"})
        QVERIFY2(rig.child(QLatin1String(hidden))->isHidden(), hidden);

    // A failed open leaves the design-time caption.
    MemorySerialBackend failing;
    failing.failNextOpen = true;
    MainWindow window;
    ScriptedDialogs dialogs;
    QTemporaryDir home;
    Kestrum app(window.screen(), dialogs, failing, rig.clock, home.path());
    app.StartProgram(QString());
    QCOMPARE(window.findChild<QGroupBox *>("FrmCommunicatie")->title(),
             QStringLiteral("Serial port: XXXX "));
}

void TestMainWindow::perItemButtonsFollowTheServiceMode_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QList<int>>("pairs");
    QTest::addColumn<bool>("saveAsDefault");
    QTest::addColumn<int>("logoClicks"); // that switch the service mode over

    QTest::newRow("normal") << "" << QList<int>{0} << false << 2;
    QTest::newRow("/LOG looks like normal") << "/LOG" << QList<int>{0} << false << 1;
    QTest::newRow("/debug in lower case is no switch") << "/debug" << QList<int>{0} << false << 2;
    QTest::newRow("/DEBUG") << "/DEBUG" << QList<int>{0, 25, 30, 31} << true << 1;
    QTest::newRow("/LOG /DEBUG") << "/LOG /DEBUG" << QList<int>{0, 25, 30, 31} << true << 1;
}

void TestMainWindow::perItemButtonsFollowTheServiceMode()
{
    QFETCH(QString, commandLine);
    QFETCH(QList<int>, pairs);
    QFETCH(bool, saveAsDefault);
    QFETCH(int, logoClicks);

    WindowRig rig(commandLine);
    // The prefixes take in the TEKST pair as well.
    const QStringList seen = reachableNames(rig, {"CmdReadSingle", "CmdWriteSingle"});
    QCOMPARE(seen, pairNames(pairs));
    QCOMPARE(rig.child<QPushButton>("CmdInstellingenOpslaan")->isEnabled(), saveAsDefault);
    QCOMPARE(!rig.child("FrameCmdButtonsAlgemeen")->isHidden(), saveAsDefault);
    QCOMPARE(!rig.child("FrameCmdButtonsPaging")->isHidden(), saveAsDefault);
    // The TEKST pair stands in the service frame but is never in use.
    QVERIFY(rig.child("CmdReadSingleTekstSetting_0")->isHidden());

    // Double-clicks on the About window's logo switch the same controls later on.
    AboutDialog about(rig.app, &rig.window);
    for (int i = 0; i < logoClicks; ++i)
        QTest::mouseDClick(about.findChild<QWidget *>("FrameLogo"), Qt::LeftButton);
    QCOMPARE(rig.child<QPushButton>("CmdInstellingenOpslaan")->isEnabled(), !saveAsDefault);
    QCOMPARE(reachableNames(rig, {"CmdReadSingle", "CmdWriteSingle"}),
             pairNames(saveAsDefault ? QList<int>{0} : QList<int>{0, 25, 30, 31}));
}

void TestMainWindow::onlyTheBulkItemsCanBeSeen()
{
    WindowRig rig;
    QStringList expected;
    for (int item = 0; item <= 250; ++item) {
        if (IsBulkItem(item))
            expected.append(indexed("ComboInstellingen", item));
    }
    expected.sort();
    QCOMPARE(reachableNames(rig, {"ComboInstellingen", "TxtIntInput", "TxtTekstInput"}), expected);

    // Every setting control is in use (a list is when it has entries; every text box
    // but item 150's), though most of them sit on pages that are never offered.
    for (const ExpectedItem &entry : ExpectedCatalogue()) {
        QWidget *control = rig.window.findChild<QWidget *>(
            entry.item <= 78    ? indexed("ComboInstellingen", entry.item)
            : entry.item <= 143 ? indexed("TxtIntInput", entry.item - 100)
                                : indexed("TxtTekstInput", entry.item - 150));
        const bool inUse = entry.item <= 78 ? !entry.entries.isEmpty() : entry.item != 150;
        QVERIFY2(rig.window.screen().inUse(entry.item) == inUse, qPrintable(control->objectName()));
        QCOMPARE(!control->isHidden(), inUse);
        // Placed on a page, not left on the window itself.
        QVERIFY(control->parentWidget() != &rig.window);
    }
}

void TestMainWindow::visiblePagesHoldTheirRowsInOrder_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QList<int>>("items");

    QTest::newRow("General settings") << 0 << "" << QList<int>{0};
    QTest::newRow("ESPA-out") << 1 << "ESPA out settings: " << QList<int>{5,  7,  10, 11, 12,
                                                                          13, 14, 15, 16, 17};
    QTest::newRow("ESPA in 1") << 2 << "ESPA in 1 settings: " << QList<int>{20, 21, 22, 23,
                                                                            24, 25, 26, 27};
    QTest::newRow("ESPA in 2") << 3 << "ESPA in 2 settings: " << QList<int>{30, 31, 32, 33,
                                                                            34, 35, 36, 37};
}

void TestMainWindow::visiblePagesHoldTheirRowsInOrder()
{
    QFETCH(int, page);
    QFETCH(QString, frame);
    QFETCH(QList<int>, items);

    WindowRig rig("/DEBUG");
    rig.child<QTabWidget>("SSTab1")->setCurrentIndex(1);
    auto *tab2 = rig.child<QTabWidget>("SSTab2");
    tab2->setCurrentIndex(page);
    QTest::qWait(20);

    int lastTop = -1;
    for (int item : items) {
        auto *combo = rig.child<QComboBox>(indexed("ComboInstellingen", item));
        auto *legend = rig.child<QLabel>(indexed("TxtLegendaCharInput", item));
        QVERIFY(combo->isVisible());
        QVERIFY(legend->isVisible());
        if (!frame.isEmpty()) {
            auto *group = qobject_cast<QGroupBox *>(combo->parentWidget());
            QVERIFY(group);
            QCOMPARE(group->title(), frame);
        }
        const QRect comboRect(combo->mapTo(&rig.window, QPoint(0, 0)), combo->size());
        const QRect legendRect(legend->mapTo(&rig.window, QPoint(0, 0)), legend->size());
        QVERIFY2(comboRect.top() > lastTop, "rows stand top to bottom in the listed order");
        QVERIFY2(legendRect.right() < comboRect.left(), "the legend stands left of its list");
        QVERIFY(legendRect.center().y() >= comboRect.top() &&
                legendRect.center().y() <= comboRect.bottom());
        // Long entries fit: the list is at least as wide as its longest entry needs.
        QVERIFY2(combo->width() >= combo->sizeHint().width() - 1, qPrintable(combo->objectName()));
        lastTop = comboRect.top();
    }

    if (page == 0) {
        // The service pairs stand below the two buttons of item 0, top to bottom.
        auto *read0 = rig.child("CmdReadSingleSetting_0");
        auto *frameAlgemeen = rig.child("FrameCmdButtonsAlgemeen");
        QVERIFY(frameAlgemeen->isVisible());
        QVERIFY(frameAlgemeen->mapTo(&rig.window, QPoint(0, 0)).y() >
                read0->mapTo(&rig.window, QPoint(0, 0)).y());
        int top = -1;
        for (const char *name : {"CmdReadSingleTekstSetting_0", "CmdReadSingleSetting_25",
                                 "CmdReadSingleSetting_30", "CmdReadSingleSetting_31"}) {
            QWidget *button = rig.child(QLatin1String(name));
            QCOMPARE(button->parentWidget(), frameAlgemeen);
            const int y = button->mapTo(&rig.window, QPoint(0, 0)).y();
            QVERIFY(y > top);
            top = y;
        }
    }
}

void TestMainWindow::everyNamedControlExistsOnce()
{
    WindowRig rig;
    QStringList names;
    for (const ExpectedItem &entry : ExpectedCatalogue()) {
        const int item = entry.item;
        if (item <= 78) {
            names << indexed("ComboInstellingen", item) << indexed("TxtLegendaCharInput", item);
            auto *combo = rig.child<QComboBox>(indexed("ComboInstellingen", item));
            QStringList listed;
            for (int k = 0; k < combo->count(); ++k)
                listed << combo->itemText(k);
            QCOMPARE(listed, entry.entries);
        } else if (item <= 143) {
            names << indexed("TxtIntInput", item - 100)
                  << indexed("TxtLegendaIntInput", item - 100);
        } else {
            names << indexed("TxtTekstInput", item - 150)
                  << indexed("TxtLegendaTekstInput", item - 150);
        }
        auto *legend = rig.window.findChild<QLabel *>(names.last());
        QVERIFY2(legend, qPrintable(names.last()));
        QCOMPARE(legend->text(), entry.legend);
        QCOMPARE(!legend->isHidden(), entry.legendShown);
        QCOMPARE(rig.window.screen().legendShown(item), entry.legendShown);
    }
    QCOMPARE(names.size(), 2 * (79 + 44 + 83));
    for (int item = 0; item <= 65; ++item)
        names << indexed("CmdReadSingleSetting", item) << indexed("CmdWriteSingleSetting", item);
    for (int i = 0; i < 25; ++i)
        names << indexed("Text2", i);
    for (int i = 0; i < 3; ++i)
        names << indexed("TxtLegendaTestOproepAdres", i);
    names << "CmdReadSingleTekstSetting_0"
          << "CmdWriteSingleTekstSetting_0"
          << "FrmCommunicatie"
          << "ShpTx"
          << "ShpRx"
          << "Label4_1"
          << "Label4_2"
          << "Command1"
          << "Command2"
          << "Command3"
          << "ShpTestCom"
          << "SSTab1"
          << "SSTab2"
          << "SSTab3"
          << "Frame2"
          << "Frame1"
          << "CmdInstellingenOpslaan"
          << "CmdInstellingenLezen"
          << "CmdOpslaanUnitGegevens"
          << "CmdLezenUnitgegevens"
          << "TxtProgress"
          << "ProgressBarProgrammeren"
          << "CmdWisLogVenster"
          << "CmdLeesAlles"
          << "CmdCancelReadWrite"
          << "CmdSchrijfAlles"
          << "FramePagerOproepen"
          << "TxtTestPagerAdres"
          << "ComboTestBleepCode"
          << "TxtTestPagerDisplayInfo"
          << "CmdTestOproepPager"
          << "FrameHerstartConverter"
          << "CmdTestHerstart"
          << "FrameOpnieuwOpenenComPoort"
          << "CmdReOpenCom"
          << "FrameEspaOut"
          << "FrameEspaIn1"
          << "FrameEspaIn2"
          << "FrameCmdButtonsAlgemeen"
          << "FrameCmdButtonsPaging";
    for (const QString &name : names) {
        const QList<QWidget *> found = rig.window.findChildren<QWidget *>(name);
        QVERIFY2(found.size() == 1, qPrintable(name));
    }
    for (const char *name : {"TmrAfhandel", "TmrUpdateVensters", "LedTimer", "TimerStartRefresh"})
        QVERIFY2(rig.timer(QLatin1String(name)), name);
    for (const char *name : {"Setup", "Quit", "About"})
        QVERIFY2(rig.window.findChild<QAction *>(QLatin1String(name)), name);
}

void TestMainWindow::menuAndTimersAsTheProgramNeedsThem()
{
    WindowRig rig;
    QStringList menu;
    for (QAction *action : rig.window.menuBar()->actions()) {
        menu.append(action->text());
        QCOMPARE(action->menu(), nullptr); // commands, no sub-items
    }
    QCOMPARE(menu, QStringList({"Setup", "Quit", "About"}));
    QSignalSpy setup(&rig.window, &MainWindow::setupRequested);
    QSignalSpy about(&rig.window, &MainWindow::aboutRequested);
    rig.window.findChild<QAction *>("Setup")->trigger();
    rig.window.findChild<QAction *>("About")->trigger();
    QCOMPARE(setup.size(), 1);
    QCOMPARE(about.size(), 1);

    const std::tuple<const char *, int, bool> timers[] = {{"TmrAfhandel", 25, false},
                                                          {"TmrUpdateVensters", 100, false},
                                                          {"LedTimer", 250, false},
                                                          {"TimerStartRefresh", 300, true}};
    for (const auto &[name, interval, singleShot] : timers) {
        QTimer *timer = rig.timer(QLatin1String(name));
        QCOMPARE(timer->interval(), interval);
        QCOMPARE(timer->isSingleShot(), singleShot);
    }
    QCOMPARE(rig.timer("TmrAfhandel")->timerType(), Qt::PreciseTimer);
    // The one-shot refresh (armed again, as when the window was made) shows the
    // whole table at its tick, and only then.
    auto *speed = rig.child<QComboBox>("ComboInstellingen_10");
    rig.timer("TimerStartRefresh")->start();
    rig.app.table.SettingValue[10] = Value::int16(2);
    rig.app.table.SettingValue[101] = Value::number(7);
    rig.app.table.SettingValue[151] = Value::text(QStringLiteral("pager"));
    QCOMPARE(speed->currentText(), QStringLiteral("1200 baud"));
    QTRY_COMPARE(speed->currentText(), QStringLiteral("4800 baud"));
    QCOMPARE(rig.child<QLineEdit>("TxtIntInput_1")->text(), QStringLiteral("7"));
    QCOMPARE(rig.child<QLineEdit>("TxtTekstInput_1")->text(), QStringLiteral("pager"));
    rig.app.table.SettingValue[10] = Value::int16(3);
    QTest::qWait(400);
    QCOMPARE(speed->currentText(), QStringLiteral("4800 baud"));
    // The engine timer serves a job and hides the bar one tick after it.
    int tick = 0;
    ScriptedConverter converter(rig.port, tick);
    converter.answer = [](const QByteArray &r) { return charAnswer(requestItem(r), 1); };
    auto *bar = rig.child<QProgressBar>("ProgressBarProgrammeren");
    rig.commands.CmdReadSingleSetting(10);
    QTRY_VERIFY(rig.window.screen().progressText().endsWith(" 2400 baud OK\r\n"));
    QCOMPARE(bar->value(), 10);
    QTRY_VERIFY(bar->isHidden());
    QVERIFY(rig.timer("TmrUpdateVensters")->isActive());
    QVERIFY(rig.timer("LedTimer")->isActive());
}

void TestMainWindow::fixedCaptions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    const std::pair<const char *, const char *> rows[] = {
        {"Label4_1", "TxD"},
        {"Label4_2", "RxD"},
        {"Command1", "SluitCom"},
        {"Command2", "TestButton"},
        {"Command3", "TestCom"},
        {"Frame2", "Unit settings: "},
        {"Frame1", "All settings: "},
        {"CmdInstellingenOpslaan", "Save as default"},
        {"CmdInstellingenLezen", "Read default from file"},
        {"CmdOpslaanUnitGegevens", "Save to file"},
        {"CmdLezenUnitgegevens", "Read from file"},
        {"CmdWisLogVenster", "Clear log"},
        {"CmdLeesAlles", "Read all settings from unit"},
        {"CmdCancelReadWrite", "Cancel"},
        {"CmdSchrijfAlles", "Write all settings to unit"},
        {"FramePagerOproepen", "Send call to ESPA out: "},
        {"TxtLegendaTestOproepAdres_0", "Address:"},
        {"TxtLegendaTestOproepAdres_1", "Bleepcode:"},
        {"TxtLegendaTestOproepAdres_2", "Message:"},
        {"CmdTestOproepPager", "Call"},
        {"FrameHerstartConverter", "Restart the converter: "},
        {"CmdTestHerstart", "Restart"},
        {"FrameOpnieuwOpenenComPoort", "Re-open ComPort: "},
        {"CmdReOpenCom", "Open ComPort"},
        {"FrameEspaOut", "ESPA out settings: "},
        {"FrameEspaIn1", "ESPA in 1 settings: "},
        {"FrameEspaIn2", "ESPA in 2 settings: "},
        {"CmdReadSingleSetting_0", "Lezen"},
        {"CmdWriteSingleSetting_0", "Schrijven"},
        {"CmdReadSingleSetting_25", "Lezen"},
        {"CmdWriteSingleSetting_31", "Schrijven"},
        {"CmdReadSingleSetting_16", "Read"},
        {"CmdWriteSingleSetting_16", "PROGRAM"},
        {"CmdWriteSingleSetting_65", "PROGRAM"},
        {"CmdReadSingleTekstSetting_0", "Lezen"},
        {"CmdWriteSingleTekstSetting_0", "Schrijven"},
    };
    for (const auto &[name, caption] : rows)
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption);
}

void TestMainWindow::fixedCaptions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    WindowRig rig;
    QWidget *w = rig.child(name);
    QVERIFY(w);
    if (auto *button = qobject_cast<QPushButton *>(w))
        QCOMPARE(button->text(), caption);
    else if (auto *label = qobject_cast<QLabel *>(w))
        QCOMPARE(label->text(), caption);
    else if (auto *group = qobject_cast<QGroupBox *>(w))
        QCOMPARE(group->title(), caption);
    else
        QFAIL("no caption");
}

void TestMainWindow::writeLogLineShowsAtTheNextLampTickAndIsFiled()
{
    WindowRig rig;
    QSignalSpy lampTicks(rig.timer("LedTimer"), &QTimer::timeout);
    rig.app.log.WriteLog(QStringLiteral("Line for the window"));
    const QString expected = QStringLiteral("10:00:00 Line for the window");
    QCOMPARE(rig.child<QLineEdit>("Text2_0")->text(), QString());
    QVERIFY(lampTicks.wait(1000));
    QCOMPARE(rig.child<QLineEdit>("Text2_0")->text(), expected);
    QCOMPARE(rig.child<QLineEdit>("Text2_1")->text(), QString());

    QFile day(rig.app.log.logFilePath(rig.clock.now()));
    QVERIFY(day.fileName().startsWith(rig.home.path() + "/Log/"));
    QVERIFY(day.open(QIODevice::ReadOnly));
    QVERIFY(day.readAll().endsWith(expected.toLatin1() + "\r\n"));

    // 26 lines: the window rolls with the buffer.
    for (int i = 2; i <= 26; ++i)
        rig.app.log.WriteLog(QStringLiteral("line %1").arg(i));
    QVERIFY(lampTicks.wait(1000));
    QCOMPARE(rig.child<QLineEdit>("Text2_0")->text(), QStringLiteral("10:00:00 line 2"));
    QCOMPARE(rig.child<QLineEdit>("Text2_24")->text(), QStringLiteral("10:00:00 line 26"));
}

void TestMainWindow::programTextIsKeptWholeButTypingIsLimited_data()
{
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("limit");

    QTest::newRow("pager address, 15") << 160 << "TxtTekstInput_10" << 15;
    QTest::newRow("prefix text, 15") << 232 << "TxtTekstInput_82" << 15;
    QTest::newRow("BMC pager, 10") << 151 << "TxtTekstInput_1" << 10;
    QTest::newRow("test call address, 10") << int(CTRL_TEST_ADDRESS) << "TxtTestPagerAdres" << 10;
    QTest::newRow("test call message, 40")
        << int(CTRL_TEST_MESSAGE) << "TxtTestPagerDisplayInfo" << 40;
}

void TestMainWindow::programTextIsKeptWholeButTypingIsLimited()
{
    QFETCH(int, control);
    QFETCH(QString, name);
    QFETCH(int, limit);

    WindowRig rig;
    auto *box = rig.child<QLineEdit>(name);
    QVERIFY(box);
    Screen &screen = rig.window.screen();
    enableAllSettingsPages(rig);
    QVERIFY(box->isEnabled());

    // A fresh box takes no more than its limit.
    box->clear();
    QTest::keyClicks(box, QString(60, QLatin1Char('a')));
    QCOMPARE(box->text().size(), limit);

    QString longText;
    for (int i = 0; i < 1000; ++i)
        longText.append(QChar(u'A' + i % 26));
    screen.setValueText(control, longText);
    QCOMPARE(screen.valueText(control), longText);
    QCOMPARE(box->text(), longText);

    // No room to type more into the long text...
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClicks(box, QStringLiteral("xyz"));
    QCOMPARE(box->text(), longText);
    // ...and what the user deletes cannot be typed back beyond the limit.
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, QString(60, QLatin1Char('b')));
    QCOMPARE(box->text(), QString(limit, QLatin1Char('b')));

    // A short program text after a long one is not cut either.
    screen.setValueText(control, longText.left(limit + 1));
    QCOMPARE(screen.valueText(control), longText.left(limit + 1));
}

void TestMainWindow::typedTextThatMatchesNoEntrySelectsNothing()
{
    WindowRig rig;
    Screen &screen = rig.window.screen();
    auto *combo = rig.child<QComboBox>("ComboInstellingen_10");
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->completer(), nullptr);
    QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);

    QVERIFY(screen.setSelectedIndex(10, 2));
    QCOMPARE(screen.selectedIndex(10), 2);
    QCOMPARE(screen.valueText(10), QStringLiteral("4800 baud"));

    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("57600 baud"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QCOMPARE(screen.valueText(10), QStringLiteral("57600 baud"));
    QCOMPARE(screen.selectedIndex(10), -1);
    QCOMPARE(combo->count(), 5); // typing never adds an entry

    // Case matters: a typed text selects only an entry spelt the same.
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("1200 BAUD"));
    QCOMPARE(screen.selectedIndex(10), -1);
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("1200 baud"));
    QCOMPARE(screen.selectedIndex(10), 0);

    // Selecting the entry that QComboBox still holds as current shows it again.
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("x"));
    QVERIFY(screen.setSelectedIndex(10, combo->currentIndex()));
    QCOMPARE(screen.selectedIndex(10), combo->currentIndex());

    QVERIFY(screen.setSelectedIndex(10, 4));
    QVERIFY(!screen.setSelectedIndex(10, 5));
    QVERIFY(!screen.setSelectedIndex(10, -2));
    QCOMPARE(screen.selectedIndex(10), 4);
    QVERIFY(screen.setSelectedIndex(10, -1));
    QCOMPARE(screen.valueText(10), QString());
    QCOMPARE(screen.selectedIndex(10), -1);
}

void TestMainWindow::buildScreenLeavesNoComboSelected()
{
    WindowRig rig;
    Screen &screen = rig.window.screen();
    screen.setSelectedIndex(0, 2);
    BuildScreen(screen);
    BuildScreen(screen);
    for (int item = 0; item <= 78; ++item) {
        QCOMPARE(screen.selectedIndex(item), -1);
        QCOMPARE(screen.valueText(item), QString());
    }
    QCOMPARE(screen.choiceCount(7), 151);
    QCOMPARE(screen.choiceCount(1), 0);
    QCOMPARE(screen.selectedIndex(CTRL_TEST_BLEEP), 1);
    QCOMPARE(rig.child<QComboBox>("ComboTestBleepCode")->currentText(),
             QStringLiteral("BleepCode: 1"));
}

void TestMainWindow::lampsFlashWithTheTraffic_data()
{
    QTest::addColumn<QString>("traffic"); // per lamp tick: 1 a byte each way before it
    QTest::addColumn<QString>("lit");     // per lamp tick: B bright, D dark after it

    QTest::newRow("one byte lights the lamps for one tick") << "1000"
                                                            << "BDDD";
    QTest::newRow("steady traffic blinks them at 2 Hz") << "1111"
                                                        << "BDBD";
}

void TestMainWindow::lampsFlashWithTheTraffic()
{
    QFETCH(QString, traffic);
    QFETCH(QString, lit);

    WindowRig rig;
    auto fill = [&rig](const char *lamp) {
        return rig.child(QLatin1String(lamp))->palette().color(QPalette::Window);
    };
    QCOMPARE(fill("ShpTx"), QColor(192, 0, 0));
    QCOMPARE(fill("ShpRx"), QColor(0, 192, 0));

    QSignalSpy lampTicks(rig.timer("LedTimer"), &QTimer::timeout);
    QVERIFY(lampTicks.wait(1000)); // start right after a tick
    for (int tick = 0; tick < traffic.size(); ++tick) {
        if (traffic.at(tick) == u'1') {
            QCOMPARE(rig.app.datacom.SendComByte(0x41), 0);
            rig.port.feed(QByteArray(1, '\x06'));
            QCOMPARE(rig.app.datacom.ReadComByte(), 6);
        }
        QVERIFY(lampTicks.wait(1000));
        const bool bright = lit.at(tick) == u'B';
        QCOMPARE(fill("ShpTx"), bright ? QColor(255, 128, 128) : QColor(192, 0, 0));
        QCOMPARE(fill("ShpRx"), bright ? QColor(128, 255, 128) : QColor(0, 192, 0));
    }
}

void TestMainWindow::colourRolesAreDistinctAndRevertible()
{
    WindowRig rig;
    Screen &screen = rig.window.screen();
    QVERIFY(WidgetScreen::equalToUnitColour() != WidgetScreen::differentFromUnitColour());

    auto *combo = rig.child<QComboBox>("ComboInstellingen_12");
    auto *box = rig.child<QLineEdit>("TxtTekstInput_5");
    // Controls on the pages that are never offered are disabled; what counts is the
    // colour they would show, that of the active group.
    const QColor plain = QApplication::palette().color(QPalette::Active, QPalette::Text);
    for (auto [control, widget] : {std::pair<int, QWidget *>{12, combo}, {155, box}}) {
        screen.setColour(control, ControlColour::EqualToUnit);
        QCOMPARE(screen.colour(control), ControlColour::EqualToUnit);
        QCOMPARE(widget->palette().color(QPalette::Active, QPalette::Text),
                 WidgetScreen::equalToUnitColour());
        screen.setColour(control, ControlColour::DifferentFromUnit);
        QCOMPARE(widget->palette().color(QPalette::Active, QPalette::Text),
                 WidgetScreen::differentFromUnitColour());
        screen.setColour(control, ControlColour::Unset);
        QCOMPARE(widget->palette().color(QPalette::Active, QPalette::Text), plain);
    }
    QCOMPARE(combo->lineEdit()->palette().color(QPalette::Active, QPalette::Text), plain);
    screen.setColour(12, ControlColour::EqualToUnit);
    QCOMPARE(combo->lineEdit()->palette().color(QPalette::Active, QPalette::Text),
             WidgetScreen::equalToUnitColour());
    // Only the text: the drop-down arrow keeps its colour, so the list never looks
    // disabled.
    QCOMPARE(combo->palette().color(QPalette::Active, QPalette::ButtonText),
             QApplication::palette().color(QPalette::Active, QPalette::ButtonText));
}

void TestMainWindow::perItemButtonsQueueTheirOwnItem()
{
    WindowRig rig;
    rig.window.detach(); // the engine would take the jobs
    enableAllSettingsPages(rig);
    for (int item = 0; item <= 65; ++item) {
        rig.app.table.ClearSettingJobs();
        rig.child<QPushButton>(indexed("CmdReadSingleSetting", item))->click();
        QVERIFY2(rig.app.table.SettingJob[item] == JOB_READ, qPrintable(QString::number(item)));
        rig.app.table.ClearSettingJobs();
        rig.child<QPushButton>(indexed("CmdWriteSingleSetting", item))->click();
        QVERIFY2(rig.app.table.SettingJob[item] == JOB_WRITE, qPrintable(QString::number(item)));
        int jobs = 0;
        for (qint16 job : rig.app.table.SettingJob)
            jobs += job != JOB_NONE;
        QCOMPARE(jobs, 1);
    }
    rig.app.table.ClearSettingJobs();
    rig.child<QPushButton>("CmdReadSingleTekstSetting_0")->click();
    QCOMPARE(rig.app.table.SettingJob[150], JOB_READ);
    rig.child<QPushButton>("CmdWriteSingleTekstSetting_0")->click();
    QCOMPARE(rig.app.table.SettingJob[150], JOB_WRITE);
}

void TestMainWindow::pageButtonsReachTheirHandlers()
{
    WindowRig rig;
    rig.window.detach();
    rig.child<QPushButton>("CmdLeesAlles")->click();
    QCOMPARE(rig.app.engine.ReadAllRequest, qint16(-1));

    rig.scripted.questionAnswers = {true};
    rig.child<QPushButton>("CmdSchrijfAlles")->click();
    QCOMPARE(rig.app.engine.WriteAllRequest, qint16(-1));

    rig.scripted.questionAnswers = {false};
    rig.child<QPushButton>("CmdTestHerstart")->click();
    QCOMPARE(rig.app.engine.RestartRequest, qint16(0));

    rig.child<QPushButton>("CmdTestOproepPager")->click();
    QCOMPARE(rig.scripted.boxes.size(), 1);
    QCOMPARE(rig.scripted.boxes.last().text, QStringLiteral("Please enter address of pager"));
    rig.window.screen().setValueText(CTRL_TEST_ADDRESS, QStringLiteral("123"));
    rig.child<QPushButton>("CmdTestOproepPager")->click();
    QCOMPARE(rig.app.engine.PagerCallRequest, qint16(-1));

    rig.child<QPushButton>("CmdCancelReadWrite")->click();
    QVERIFY(rig.child<QPlainTextEdit>("TxtProgress")->toPlainText().contains("Geannuleerd!"));
    rig.child<QPushButton>("CmdWisLogVenster")->click();
    QCOMPARE(rig.child<QPlainTextEdit>("TxtProgress")->toPlainText(), QString());

    rig.child<QPushButton>("CmdOpslaanUnitGegevens")->click();
    QCOMPARE(rig.scripted.beeps, 1);
    QVERIFY(rig.scripted.fileRequests.last().startsWith("save|NieuweInstellingen|"));

    // The hidden test buttons: TestCom colours its lamp by the port's state.
    rig.child<QPushButton>("Command3")->click();
    QCOMPARE(rig.child("ShpTestCom")->palette().color(QPalette::Window), QColor(128, 255, 128));
    rig.child<QPushButton>("Command1")->click();
    QVERIFY(!rig.port.isOpen());
    rig.child<QPushButton>("Command3")->click();
    QCOMPARE(rig.child("ShpTestCom")->palette().color(QPalette::Window), QColor(255, 128, 128));
    rig.child<QPushButton>("CmdReOpenCom")->click();
    QVERIFY(rig.port.isOpen());
}

void TestMainWindow::doubleClickEmptiesTheTestCallBoxes()
{
    WindowRig rig;
    rig.child<QTabWidget>("SSTab1")->setCurrentIndex(4);
    for (const char *name : {"TxtTestPagerAdres", "TxtTestPagerDisplayInfo"}) {
        auto *box = rig.child<QLineEdit>(QLatin1String(name));
        box->setText(QStringLiteral("1234"));
        QTest::mouseDClick(box, Qt::LeftButton);
        QCOMPARE(box->text(), QString());
    }
}

void TestMainWindow::tabClickRemovesComboHighlight()
{
    WindowRig rig;
    auto *combo = rig.child<QComboBox>("ComboInstellingen_0");
    rig.window.screen().setSelectedIndex(0, 1);

    // A click on the page already in front: nothing moves, only the handler runs.
    // SSTab3 sits on a page that is never offered; it takes clicks once enabled.
    enableAllSettingsPages(rig);
    for (const char *name : {"SSTab1", "SSTab2", "SSTab3"}) {
        combo->lineEdit()->selectAll();
        QVERIFY(combo->lineEdit()->hasSelectedText());
        auto *tabs = rig.child<QTabWidget>(QLatin1String(name));
        const int page = tabs->currentIndex();
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                          tabs->tabBar()->tabRect(page).center());
        QCOMPARE(tabs->currentIndex(), page);
        QVERIFY2(!combo->lineEdit()->hasSelectedText(), name);
    }
}

void TestMainWindow::progressPaneAppendsAndKeepsLineEnds()
{
    WindowRig rig;
    Screen &screen = rig.window.screen();
    auto *pane = rig.child<QPlainTextEdit>("TxtProgress");
    QVERIFY(pane->isReadOnly());
    QCOMPARE(pane->palette().color(QPalette::Text), QColor(Qt::blue));

    screen.appendProgress(QStringLiteral("Read item 5"));
    screen.appendProgress(QStringLiteral(" OK\r"));
    screen.appendProgress(QStringLiteral("\nnext"));
    QCOMPARE(screen.progressText(), QStringLiteral("Read item 5 OK\r\nnext"));
    QCOMPARE(pane->toPlainText(), QStringLiteral("Read item 5 OK\nnext"));
    QCOMPARE(pane->textCursor().position(), pane->document()->characterCount() - 1);

    // Weeks of series: only the last 2000 lines stay, in the pane and in its text.
    screen.clearProgress();
    for (int i = 1; i <= 2100; ++i)
        screen.appendProgress(QStringLiteral("line %1\r\n").arg(i));
    QVERIFY(screen.progressText().startsWith(QStringLiteral("line 102\r\nline 103\r\n")));
    QVERIFY(screen.progressText().endsWith(QStringLiteral("line 2099\r\nline 2100\r\n")));
    QCOMPARE(screen.progressText().count(QLatin1Char('\n')), 1999);
    QCOMPARE(pane->document()->blockCount(), 2000);
    QVERIFY(pane->toPlainText().startsWith(QStringLiteral("line 102\nline 103\n")));

    screen.setProgressBar(true, 12);
    QVERIFY(!rig.child("ProgressBarProgrammeren")->isHidden());
    QCOMPARE(screen.progressBarValue(), 12);
    screen.setProgressBar(true, 41);
    QCOMPARE(screen.progressBarValue(), 12);
    screen.setProgressBar(false, 0);
    QVERIFY(!screen.progressBarVisible());
}

void TestMainWindow::theEngineTimerSleepsWhileIdleAndWakesForWork()
{
    WindowRig rig;
    QTimer *engine = rig.timer("TmrAfhandel");
    QTRY_VERIFY(!engine->isActive());
    // Work that no command set wakes it as soon as the event loop comes round.
    rig.app.table.SettingJob[5] = JOB_READ;
    QCoreApplication::processEvents();
    QVERIFY(engine->isActive());
    QTRY_COMPARE(rig.port.sent.isEmpty(), false);
}

void TestMainWindow::quitAsksAndClosesThePortOnce_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("OK ends the program") << true;
    QTest::newRow("Cancel changes nothing") << false;
}

void TestMainWindow::quitAsksAndClosesThePortOnce()
{
    QFETCH(bool, answer);
    WindowRig rig;
    QStringList lines;
    rig.app.log.onLine = [&lines](const QString &line) { lines.append(line.mid(9)); };
    QSignalSpy closed(&rig.window, &MainWindow::closed);
    rig.scripted.questionAnswers = {answer};

    rig.window.findChild<QAction *>("Quit")->trigger();
    QCOMPARE(rig.scripted.questions.size(), 1);
    QCOMPARE(rig.scripted.questions.first().title,
             QStringLiteral("Kestrum by www.brivane.example"));
    QCOMPARE(rig.scripted.questions.first().text,
             QStringLiteral("Do you want to quit the program?"));

    QCOMPARE(rig.port.isOpen(), !answer);
    QCOMPARE(closed.size(), answer ? 1 : 0);
    QCOMPARE(rig.window.isVisible(), !answer);
    // Only a program that goes on serves a button.
    rig.commands.CmdReadSingleSetting(10);
    const auto reading = [&rig] {
        return rig.window.screen().progressText().contains(QStringLiteral("Reading setting 10"));
    };
    if (answer)
        QTest::qWait(500);
    else
        QTRY_VERIFY(reading());
    QCOMPARE(reading(), !answer);
    QCOMPARE(lines.count(QStringLiteral("Comport closed by software.")), answer ? 1 : 0);
}

void TestMainWindow::closingTheWindowAsksNothing()
{
    WindowRig rig;
    QStringList lines;
    rig.app.log.onLine = [&lines](const QString &line) { lines.append(line.mid(9)); };
    rig.window.close();
    QVERIFY(rig.scripted.questions.isEmpty());
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(lines, QStringList{QStringLiteral("Comport closed by software.")});
    for (const char *name : {"TmrAfhandel", "TmrUpdateVensters", "LedTimer", "TimerStartRefresh"})
        QVERIFY2(!rig.timer(QLatin1String(name))->isActive(), name);
}

void TestMainWindow::noEngineStepRunsWhileAnEngineBoxIsOpen()
{
    // A converter that answers every request with a broken check byte: three
    // failures end the series with a real message box, whose event loop keeps the
    // window's timers running.
    WindowRig rig(QString(), true);
    int tick = 0;
    ScriptedConverter converter(rig.port, tick);
    converter.answer = [](const QByteArray &) {
        QByteArray reply = withCheck(hexBytes("01 05 01 00 06"));
        reply[reply.size() - 1] = char(reply.at(reply.size() - 1) + 1);
        return reply;
    };

    QString boxText;
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    int lampTicksWhileOpen = 0;
    int stepsTriedWhileOpen = 0;
    qint64 bytesSentWhileOpen = -1;
    qint16 stateBefore = -1;
    qint16 stateAfter = -2;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !boxText.isEmpty())
            return;
        boxText = box->text();
        boxIcon = box->icon();
        stateBefore = rig.app.engine.EngineState;
        const qint64 sentBefore = rig.port.sent.size();
        auto *lampTicks = new QSignalSpy(rig.timer("LedTimer"), &QTimer::timeout);
        // Another timer that would step the engine while the box is open.
        auto *stepper = new QTimer(box);
        QObject::connect(stepper, &QTimer::timeout, [&] {
            ++stepsTriedWhileOpen;
            rig.app.TmrAfhandelTick();
        });
        stepper->start(25);
        QTimer::singleShot(600, box, [&, box, lampTicks, sentBefore] {
            lampTicksWhileOpen = int(lampTicks->size());
            bytesSentWhileOpen = rig.port.sent.size() - sentBefore;
            stateAfter = rig.app.engine.EngineState;
            delete lampTicks;
            box->button(QMessageBox::Ok)->click();
        });
    });
    watcher.start();

    rig.port.takeSent();
    rig.child<QPushButton>("CmdLeesAlles")->click();
    QTRY_VERIFY_WITH_TIMEOUT(stateAfter != -2, 30000);
    QVERIFY(boxText.startsWith(QStringLiteral("ERROR reading settings from the converter.")));
    QCOMPARE(boxIcon, QMessageBox::Critical);
    QVERIFY2(lampTicksWhileOpen >= 1, "the window's timers ran while the box was open");
    QVERIFY(stepsTriedWhileOpen >= 5);
    QCOMPARE(bytesSentWhileOpen, qint64(0));
    QCOMPARE(stateAfter, stateBefore);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(rig.app.engine.isQuiet());
}

void TestMainWindow::writeChangedAsksAndReportsInItsBoxes_data()
{
    QTest::addColumn<QString>("unit"); // after the writes: "keeps" its values, or is "garbled"
    QTest::addColumn<QList<int>>("changed");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("write");
    QTest::addColumn<QStringList>("boxes"); // icon|title|text

    const QString failed =
        QStringLiteral("critical|Kestrum by Brivane|Applying changed settings failed: "
                       "10, 30\r\n10 ESPA out serial speed: ");
    QTest::newRow("the list is cancelled")
        << "keeps" << QList<int>{30} << "Write 1 change" << false << QStringList();
    QTest::newRow("the unit keeps its values")
        << "keeps" << QList<int>{10, 30} << "Write 2 changes" << true
        << QStringList{failed + "wrote 4800 baud, the unit holds 2400 baud\r\n30 ESPA in serial "
                                "speed: wrote 4800 baud, the unit holds 2400 baud"};
    QTest::newRow("an abort while reading back")
        << "garbled" << QList<int>{10, 30} << "Write 2 changes" << true
        << QStringList{
               "critical|Kestrum by Brivane|ERROR reading settings from the converter.\r\nReading "
               "is aborted!",
               failed + "no answer\r\n30 ESPA in serial speed: no answer"};
}

void TestMainWindow::writeChangedAsksAndReportsInItsBoxes()
{
    QFETCH(QString, unit);
    QFETCH(QList<int>, changed);
    QFETCH(QString, caption);
    QFETCH(bool, write);
    QFETCH(QStringList, boxes);

    // Every setting holds choice 1 (2400 baud); the screen asks 2 (4800 baud) of some.
    WindowRig rig(QString(), true);
    int tick = 0;
    bool written = false;
    ScriptedConverter converter(rig.port, tick);
    converter.answer = [&](const QByteArray &r) {
        written = written || requestType(r) == 'W';
        if (requestType(r) == 'W')
            return ackAnswer();
        QByteArray answer = charAnswer(requestItem(r), 1);
        if (written && unit == "garbled")
            answer[answer.size() - 1] = char(answer.at(answer.size() - 1) + 1);
        return answer;
    };
    for (int item = 0; item <= 37; ++item) {
        if (IsBulkItem(item))
            rig.window.screen().setSelectedIndex(item, changed.contains(item) ? 2 : 1);
    }

    QStringList shownBoxes, headers, lastRow;
    QString shownCaption;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            shownBoxes.append((box->icon() == QMessageBox::Critical ? "critical|" : "other icon|") +
                              box->windowTitle() + '|' + box->text());
            box->button(QMessageBox::Ok)->click();
        } else if (modal && modal->objectName() == QLatin1String("frmChanges")) {
            auto *table = modal->findChild<QTableWidget *>("TableChanges");
            for (int column = 0; column < table->columnCount(); ++column) {
                headers.append(table->horizontalHeaderItem(column)->text());
                lastRow.append(table->item(table->rowCount() - 1, column)->text());
            }
            shownCaption = modal->findChild<QPushButton *>("CmdWriteChanges")->text();
            modal->findChild<QPushButton *>(write ? "CmdWriteChanges" : "CmdCancelChanges")
                ->click();
        }
    });
    watcher.start(10);
    QVERIFY(pressButton(rig.window, QStringLiteral("CmdWriteChanged")));
    QTRY_VERIFY_WITH_TIMEOUT(!shownCaption.isEmpty() && rig.app.engine.isQuiet() &&
                                 shownBoxes.size() == boxes.size(),
                             30000);

    QCOMPARE(headers, QStringList({"Item", "Group", "Setting", "On the unit", "New value"}));
    QCOMPARE(lastRow,
             QStringList({"30", "ESPA in 2", "ESPA in serial speed:", "2400 baud", "4800 baud"}));
    QCOMPARE(shownCaption, caption);
    QCOMPARE(shownBoxes, boxes);
    QCOMPARE(converter.receivedHex().count(spacedHex(
                 withCheck(hexBytes("01 0D 01 00 02 57 1F 1E 1E 77 1F 02 1E")))), // write 30 = 2
             write ? 1 : 0);
}

void TestMainWindow::widgetDialogsAnswerAsTheButtonsSay_data()
{
    QTest::addColumn<int>("action"); // 0 OK, 1 Cancel, 2 Escape, 3 close the box
    QTest::addColumn<bool>("answer");
    QTest::newRow("OK") << 0 << true;
    QTest::newRow("Cancel") << 1 << false;
    QTest::newRow("Escape") << 2 << false;
    QTest::newRow("box closed") << 3 << false;
}

void TestMainWindow::widgetDialogsAnswerAsTheButtonsSay()
{
    QFETCH(int, action);
    QFETCH(bool, answer);

    WidgetDialogs dialogs;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QString title;
    QTimer::singleShot(50, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        buttons = box->standardButtons();
        icon = box->icon();
        title = box->windowTitle();
        switch (action) {
        case 0:
            box->button(QMessageBox::Ok)->click();
            break;
        case 1:
            box->button(QMessageBox::Cancel)->click();
            break;
        case 2:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        default:
            box->close();
            break;
        }
    });
    QCOMPARE(dialogs.question(QStringLiteral("Kestrum by Brivane"), QStringLiteral("Sure?")),
             answer);
    QCOMPARE(buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(title, QStringLiteral("Kestrum by Brivane"));

    QTimer::singleShot(50, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        buttons = box->standardButtons();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.messageBox(QStringLiteral("Kestrum by Brivane"), QStringLiteral("Broken"),
                       Dialogs::Icon::Critical);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(icon, QMessageBox::Critical);
}

void TestMainWindow::settingsFilterBecomesAQtFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qt");
    QTest::addColumn<QString>("suffix");

    QTest::newRow("the settings files") << "cfg (*.cfg) | *.cfg"
                                        << "cfg (*.cfg)"
                                        << "cfg";
    QTest::newRow("description without pattern") << "Settings|*.cfg"
                                                 << "Settings (*.cfg)"
                                                 << "cfg";
    QTest::newRow("two filters") << "cfg (*.cfg)|*.cfg|All|*.*"
                                 << "cfg (*.cfg);;All (*.*)"
                                 << "cfg";
    QTest::newRow("Qt form passes") << "Text (*.txt)"
                                    << "Text (*.txt)"
                                    << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void TestMainWindow::settingsFilterBecomesAQtFilter()
{
    QFETCH(QString, filter);
    QFETCH(QString, qt);
    QFETCH(QString, suffix);
    QCOMPARE(WidgetDialogs::qtFilter(filter), qt);
    QCOMPARE(WidgetDialogs::defaultSuffix(filter), suffix);
}

void TestMainWindow::reportsShowTheScreenMarkedAgainstTheConverter()
{
    WindowRig rig;
    // The converter is known to hold 9600 baud; the screen shows 19200.
    rig.app.table.UnitValue[10] = Value::int16(3);
    rig.child<QComboBox>("ComboInstellingen_10")->setCurrentIndex(4);
    const QString exported = rig.home.path() + "/report.pdf";
    const QString other = rig.home.path() + "/other.cfg";
    QFile file(other);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("10    ->1\r\n") > 0);
    file.close();
    // The export compares with a file, the print does not.
    rig.scripted.fileAnswers = {exported, other};
    rig.scripted.questionAnswers = {true, false};
    rig.scripted.textAnswers = {"Site B", "Site B"};
    rig.scripted.printTo = rig.home.path() + "/printed.pdf";
    rig.child<QPushButton>("CmdExportReport")->click();
    rig.child<QPushButton>("CmdPrintReport")->click();

    QCOMPARE(rig.scripted.fileRequests,
             QStringList({"save|Report-20261207|" + rig.home.path() +
                              "/Instellingen|PDF (*.pdf) | *.pdf | HTML (*.html) | *.html",
                          "open|*.cfg|" + rig.home.path() + "/Instellingen|cfg (*.cfg) | *.cfg"}));
    for (const QString &pdf : {exported, rig.scripted.printTo}) {
        QProcess pdftotext;
        pdftotext.start(QStringLiteral("pdftotext"), {"-raw", pdf, "-"});
        QVERIFY(pdftotext.waitForFinished(30000));
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
        QVERIFY2(text.startsWith("Configuration report Site B Made on 2026-12-07 at 10:00:00 by "
                                 "Kestrum "),
                 qPrintable(text.left(300)));
        QVERIFY(text.contains("Source: Values shown on screen at 10:00:00 "));
        QVERIFY(text.contains("1 setting differs from the converter"));
        QVERIFY(
            text.contains("10 ESPA out serial speed: 19200 baud on the converter: 9600 baud *"));
        QVERIFY2(QRegularExpression("Page (\\d) of \\1$").match(text).hasMatch(),
                 qPrintable(text.right(300)));
        QCOMPARE(text.contains("10 ESPA out serial speed: 19200 baud 2400 baud"), pdf == exported);
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
