#include "base/SetupFile.h"
#include "support/TestApp.h"
#include "window/AboutDialog.h"
#include "window/SettingsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aboutShowsTheVersionAndTheMaker();
    void aboutLogoCyclesTheServiceMode_data();
    void aboutLogoCyclesTheServiceMode();
    void settingsDialogStartsViewingAndEditsAfterChange();
    void settingsDialogShowsComOneAboveIndex29AndNothingBelow0();
    void cancelRestoresTheFieldsFromTheGlobals();
    void saveWritesTheSetupFileAndReopensTheChosenPort();
    void saveStartsAnEngineThatNeverStarted();
    void portListShowsTheDeviceOfTheSelectedEntry();
    void smallWindowsTakeTheFocusBackWithABeep_data();
    void smallWindowsTakeTheFocusBackWithABeep();
};

void TestDialogs::aboutShowsTheVersionAndTheMaker()
{
    TestApp t;
    AboutDialog about(t.app, nullptr);
    QCOMPARE(about.objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.findChild<QLabel *>("Label4")->text(), QStringLiteral("Software version: 1.0"));
    QCOMPARE(about.findChild<QLabel *>("Label3")->text(), QStringLiteral("Copyright Brivane"));
    QCOMPARE(about.findChild<QLabel *>("Label6")->text(),
             QStringLiteral("Also visit www.brivane.example"));
    QCOMPARE(about.findChild<QPushButton *>("CmdSluit")->text(), QStringLiteral("Close"));
    QVERIFY(about.findChild<QWidget *>("FrameLogo"));
    QVERIFY(about.findChild<QWidget *>("Image1"));
}

void TestDialogs::aboutLogoCyclesTheServiceMode_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("serviceView");

    QTest::newRow("plain start, one click") << "" << 1 << 1 << false;
    QTest::newRow("plain start, two clicks reach service mode") << "" << 2 << 2 << true;
    QTest::newRow("plain start, three clicks end at 0") << "" << 3 << 0 << false;
    QTest::newRow("/LOG, one click reaches service mode") << "/LOG" << 1 << 2 << true;
    QTest::newRow("/DEBUG, one click leaves service mode") << "/DEBUG" << 1 << 0 << false;
}

void TestDialogs::aboutLogoCyclesTheServiceMode()
{
    QFETCH(QString, commandLine);
    QFETCH(int, clicks);
    QFETCH(int, level);
    QFETCH(bool, serviceView);

    TestApp t;
    t.app.StartProgram(commandLine);
    AboutDialog about(t.app, nullptr);
    for (int i = 0; i < clicks; ++i)
        about.FrameLogoDoubleClick();
    QCOMPARE(int(t.app.globals.DebugLevel), level);
    QCOMPARE(t.screen.serviceFrameAlgemeenShown(), serviceView);
    QCOMPARE(t.screen.serviceFramePagingShown(), serviceView);
    QCOMPARE(t.screen.saveAsDefaultEnabled(), serviceView);
}

void TestDialogs::settingsDialogStartsViewingAndEditsAfterChange()
{
    TestApp t;
    t.app.globals.ComPortIndex = 2;
    t.app.globals.SetPath = QStringLiteral("/data/sets, old");
    SettingsDialog dialog(t.app, nullptr);
    auto *combo = dialog.findChild<QComboBox *>("ComboCom");
    auto *path = dialog.findChild<QLineEdit *>("TxtSetPath");
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Instellingen"));
    QCOMPARE(combo->count(), 30);
    QCOMPARE(combo->itemText(0), QStringLiteral("Com1"));
    QCOMPARE(combo->itemText(29), QStringLiteral("Com30"));
    QCOMPARE(combo->currentText(), QStringLiteral("Com3"));
    QCOMPARE(path->text(), QStringLiteral("/data/sets, old"));

    QVERIFY(!dialog.isEditing());
    QVERIFY(!combo->isEnabled());
    QVERIFY(path->isReadOnly());
    QVERIFY(dialog.findChild<QPushButton *>("CmdWijzigen")->isEnabled());
    QVERIFY(dialog.findChild<QPushButton *>("CmdClose")->isEnabled());
    QVERIFY(!dialog.findChild<QPushButton *>("CmdCancel")->isEnabled());
    QVERIFY(!dialog.findChild<QPushButton *>("CmdSave")->isEnabled());
    QCOMPARE(path->palette().color(QPalette::Text), QColor(192, 192, 192));

    dialog.CmdWijzigen();
    QVERIFY(dialog.isEditing());
    QVERIFY(combo->isEnabled());
    QVERIFY(!path->isReadOnly());
    QVERIFY(!dialog.findChild<QPushButton *>("CmdWijzigen")->isEnabled());
    QVERIFY(!dialog.findChild<QPushButton *>("CmdClose")->isEnabled());
    QVERIFY(dialog.findChild<QPushButton *>("CmdCancel")->isEnabled());
    QVERIFY(dialog.findChild<QPushButton *>("CmdSave")->isEnabled());
    QVERIFY(path->palette().color(QPalette::Text) != QColor(192, 192, 192));

    // Tab order: ComboCom, TxtSetPath, Change, Close, Cancel, Save (the combo's own
    // edit field is part of the combo).
    QStringList order;
    QWidget *w = combo;
    for (int i = 0; i < 6; ++i) {
        order << w->objectName();
        QWidget *next = w->nextInFocusChain();
        while (w->isAncestorOf(next) || combo->isAncestorOf(next) ||
               next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        w = next;
    }
    QCOMPARE(order, QStringList({"ComboCom", "TxtSetPath", "CmdWijzigen", "CmdClose", "CmdCancel",
                                 "CmdSave"}));
}

void TestDialogs::settingsDialogShowsComOneAboveIndex29AndNothingBelow0()
{
    TestApp t;
    QFile setup(t.path("Kestrum.set"));
    QVERIFY(setup.open(QIODevice::WriteOnly));
    setup.write("0        Compoort ->31\r\n1      Logfile ->2\r\n");
    setup.close();
    t.app.StartProgram(QString());
    // Port index 31 opens port 32, which has no device.
    QVERIFY(
        t.app.log.MessageLines[0].contains(QStringLiteral("Error opening ComPort:  32Error: ")));
    SettingsDialog dialog(t.app, nullptr);
    QCOMPARE(dialog.findChild<QComboBox *>("ComboCom")->currentText(), QStringLiteral("Com1"));

    // An index below 0 selects no entry.
    t.app.globals.ComPortIndex = -1;
    SettingsDialog none(t.app, nullptr);
    QCOMPARE(none.findChild<QComboBox *>("ComboCom")->currentIndex(), -1);
    QCOMPARE(none.findChild<QComboBox *>("ComboCom")->currentText(), QString());
}

void TestDialogs::cancelRestoresTheFieldsFromTheGlobals()
{
    TestApp t;
    t.app.globals.ComPortIndex = 0;
    t.app.globals.SetPath = QStringLiteral("/keep");
    SettingsDialog dialog(t.app, nullptr);
    dialog.CmdWijzigen();
    dialog.findChild<QComboBox *>("ComboCom")->setCurrentIndex(5);
    dialog.findChild<QLineEdit *>("TxtSetPath")->setText(QStringLiteral("/thrown/away"));
    dialog.CmdCancel();
    QCOMPARE(dialog.findChild<QComboBox *>("ComboCom")->currentText(), QStringLiteral("Com1"));
    QCOMPARE(dialog.findChild<QLineEdit *>("TxtSetPath")->text(), QStringLiteral("/keep"));
    QCOMPARE(int(t.app.globals.ComPortIndex), 0);
    QVERIFY(!QFile::exists(t.path("Kestrum.set")));
}

void TestDialogs::saveWritesTheSetupFileAndReopensTheChosenPort()
{
    TestApp t;
    QVERIFY(QDir(t.home.path()).mkpath("ports"));
    QVERIFY(QFile::link(QStringLiteral("/dev/null-com3"), t.path("ports/com3")));
    t.app.StartProgram(QString());
    // Save rebuilds the lists and reads the default file again, which now holds other
    // values than the screen shows.
    t.screen.appendChoice(0, QStringLiteral("stale"));
    t.screen.setValueText(151, QStringLiteral("typed"));
    QFile defaults(t.path("default.set"));
    QVERIFY(defaults.open(QIODevice::WriteOnly));
    defaults.write("0    ->2\r\n151    ->from the file\r\n");
    defaults.close();
    SettingsDialog dialog(t.app, nullptr);
    dialog.CmdWijzigen();
    dialog.findChild<QComboBox *>("ComboCom")->setCurrentIndex(2);
    dialog.findChild<QLineEdit *>("TxtSetPath")->setText(QStringLiteral("/sets,2026"));
    dialog.CmdSave();

    QFile setup(t.path("Kestrum.set"));
    QVERIFY(setup.open(QIODevice::ReadOnly));
    QCOMPARE(setup.readAll(), QByteArray("0        Compoort ->2\r\n"
                                         "1      Logfile ->2\r\n"
                                         "2       SetPath ->/sets,2026\r\n"
                                         "3       UnitType ->3\r\n"));
    QVERIFY(!dialog.isEditing());
    QCOMPARE(t.port.openedDevices.last(), QStringLiteral("/dev/null-com3"));
    QCOMPARE(t.screen.portCaption(), QStringLiteral("Serial Port: 3 9600,N,8,1"));
    QCOMPARE(t.screen.choices(0),
             QStringList({"None", "Diagnose", "Debug info", "Protocol debug info"}));
    QCOMPARE(t.screen.selectedIndex(0), 2);
    QCOMPARE(t.screen.valueText(151), QStringLiteral("from the file"));

    Globals reread;
    reread.ProgramFolder = t.home.path();
    ReadSetupFile(reread);
    QCOMPARE(int(reread.ComPortIndex), 2);
    QCOMPARE(reread.SetPath, QStringLiteral("/sets,2026"));

    // The list takes only its own entries: typed "Com99" finds Com9 at most.
    dialog.CmdWijzigen();
    QTest::keyClicks(dialog.findChild<QComboBox *>("ComboCom"), QStringLiteral("Com99"));
    dialog.CmdSave();
    ReadSetupFile(reread);
    QCOMPARE(int(reread.ComPortIndex), 8);
    QCOMPARE(t.screen.portCaption(), QStringLiteral("Serial Port: 9 9600,N,8,1"));
}

void TestDialogs::saveStartsAnEngineThatNeverStarted()
{
    TestApp t;
    t.port.failNextOpen = true;
    t.app.StartProgram(QString());
    QCOMPARE(int(t.app.engine.EngineState), int(Engine::ST_START));

    SettingsDialog dialog(t.app, nullptr);
    dialog.CmdWijzigen();
    dialog.CmdSave();
    QCOMPARE(int(t.app.engine.EngineState), int(Engine::ST_IDLE));
}

void TestDialogs::portListShowsTheDeviceOfTheSelectedEntry()
{
    TestApp t;
    QVERIFY(QDir(t.home.path()).mkpath("ports"));
    QVERIFY(QFile::link(t.path("Kestrum.set"), t.path("ports/com2")));
    SettingsDialog dialog(t.app, nullptr);
    auto *device = dialog.findChild<QLabel *>("LblDevice");
    dialog.CmdWijzigen();
    dialog.findChild<QComboBox *>("ComboCom")->setCurrentIndex(1);
    QCOMPARE(device->text(), t.path("Kestrum.set") + " (not present)");
    QFile(t.path("Kestrum.set")).open(QIODevice::WriteOnly);
    dialog.findChild<QComboBox *>("ComboCom")->setCurrentIndex(0);
    dialog.findChild<QComboBox *>("ComboCom")->setCurrentIndex(1);
    QCOMPARE(device->text(), t.path("Kestrum.set") + " (present)");
    dialog.findChild<QComboBox *>("ComboCom")->setCurrentIndex(20);
    QCOMPARE(device->text(), QStringLiteral("/dev/ttyS0") +
                                 (QFile::exists("/dev/ttyS0") ? " (present)" : " (not present)"));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

void TestDialogs::smallWindowsTakeTheFocusBackWithABeep_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("activated");
    QTest::addColumn<int>("beeps");
    QTest::addColumn<bool>("stillShown");

    QTest::newRow("settings, main window") << "settings"
                                           << "main" << 1 << true;
    QTest::newRow("settings, another window of the program") << "settings"
                                                             << "other" << 1 << true;
    QTest::newRow("settings, focus to another program") << "settings"
                                                        << "none" << 0 << true;
    QTest::newRow("about, main window") << "about"
                                        << "main" << 1 << true;
    QTest::newRow("about, another window of the program") << "about"
                                                          << "other" << 1 << true;
    QTest::newRow("about, focus to another program hides it") << "about"
                                                              << "none" << 0 << false;
}

void TestDialogs::smallWindowsTakeTheFocusBackWithABeep()
{
    QFETCH(QString, window);
    QFETCH(QString, activated);
    QFETCH(int, beeps);
    QFETCH(bool, stillShown);

    TestApp t;
    QWidget mainWindow;
    QWidget other;
    mainWindow.show();
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QPointer<QDialog> dialog;
    if (window == "settings")
        dialog = new SettingsDialog(t.app, &mainWindow);
    else
        dialog = new AboutDialog(t.app, &mainWindow);
    dialog->show();
    QApplication::setActiveWindow(dialog);
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    t.dialogs.beeps = 0;

    QApplication::setActiveWindow(activated == "main"    ? &mainWindow
                                  : activated == "other" ? &other
                                                         : nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(t.dialogs.beeps, beeps);
    QVERIFY(dialog);
    QCOMPARE(dialog->isVisible(), stillShown);
    delete dialog;
}
