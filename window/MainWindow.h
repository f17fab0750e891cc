#pragma once

#include "window/WidgetScreen.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class Commands;
class Kestrum;
class QApplication;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class ReportCommands;

// frmHoofdscherm: the program's one working window. It builds every control of the
// settings table from the catalogue, carries the four timers that drive the program
// and forwards clicks to the command handlers. The logic reaches the widgets only
// through screen().
//
// Two steps, because the application object needs the screen before the window can
// talk to it:
//     MainWindow window;
//     Kestrum app(window.screen(), dialogs, port, clock, folder);
//     Commands commands(app);
//     window.attach(app, commands);   // connects the controls, starts the timers
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    WidgetScreen &screen() { return m_screen; }

    void attach(Kestrum &app, Commands &commands);
    // Stops the timers; nothing reaches the application object afterwards.
    void detach();

    // Menu "Quit": asks, then closes the port and ends the program.
    void Quit();

    // The window program: program folder, serial port, application object, window,
    // start-up sequence, then the event loop. beforeShow runs after the start-up
    // sequence, just before the window is shown (the benchmark drivers hook in there).
    using BeforeShow = std::function<void(MainWindow &, Kestrum &, Commands &)>;
    static int runProgram(QApplication &application, const BeforeShow &beforeShow = {});

Q_SIGNALS:
    // Menu "Setup" and "About": the program opens frmInstellingen / frmAbout here.
    void setupRequested();
    void aboutRequested();
    // The window was closed (by the user or through Quit): the program ends.
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildTopStrip();
    QWidget *buildStatusPage();
    QWidget *buildSetupPage();
    QWidget *buildFilePage();
    QWidget *buildUnitPage();
    QWidget *buildServicePage();

    // The setting controls and per-item buttons, created once from the catalogue
    // and then placed on their pages.
    void createSettingControls();
    QWidget *takeValueControl(int item);
    QLabel *takeLegend(int item);
    QPushButton *takeButton(const QString &name, int index);

    QWidget *buildGeneralPage();
    QWidget *buildFramePage(const QString &frameName, const QString &caption,
                            const QList<int> &items);
    QWidget *buildUnusedIntPage();
    QWidget *buildUnusedTekstPage();
    QWidget *buildButtonCharPage();
    QWidget *buildButtonIntPage();
    QWidget *buildButtonTekstPage();
    QWidget *buildTab9Page();
    QWidget *buildButtonTablePage(int firstEntry);
    void addButtonPairs(QGridLayout *grid, int row, int column, const QList<int> &items);

    void engineTick();
    void wakeEngine();
    void stopTimers();
    void closePortOnce();

    WidgetScreen m_screen;
    Kestrum *m_app = nullptr;
    Commands *m_commands = nullptr;
    std::unique_ptr<ReportCommands> m_reports;

    QTabWidget *m_tab1 = nullptr;
    QTabWidget *m_tab2 = nullptr;
    QTabWidget *m_tab3 = nullptr;

    QTimer *m_tmrAfhandel = nullptr;
    QTimer *m_tmrUpdateVensters = nullptr;
    QTimer *m_ledTimer = nullptr;
    QTimer *m_timerStartRefresh = nullptr;

    // Created once, placed once: a widget has one parent.
    std::map<int, QWidget *> m_valueControls;
    std::map<int, QLabel *> m_legends;
    std::map<QString, QPushButton *> m_buttons;

    QLineEdit *m_txtTestPagerAdres = nullptr;
    QLineEdit *m_txtTestPagerDisplayInfo = nullptr;
    QWidget *m_shpTestCom = nullptr;

    bool m_inEngineTick = false;
    bool m_timersStopped = false;
    bool m_portClosed = false;
    bool m_sized = false;
    std::vector<QMetaObject::Connection> m_dispatcherConnections;
};
