#include "ui/window/MainWindow.h"

#include "app/Kestrum.h"
#include "app/ProgramFolder.h"
#include "app/gui/AboutDialog.h"
#include "app/gui/PageTour.h"
#include "app/gui/SettingsDialog.h"
#include "app/gui/WidgetDialogs.h"
#include "serial/QtSerialBackend.h"
#include "ui/Commands.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

// The window program: everything is made here, on the stack, in the order each part
// needs the other; the window goes last, after the start-up sequence has run.
int MainWindow::runProgram(QApplication &application)
{
    const QString folder = ResolveProgramFolder(QCoreApplication::applicationDirPath());
    QtSerialBackend port;
    SystemClock clock;
    WidgetDialogs dialogs;
    MainWindow window;
    dialogs.setParentWidget(&window);
    Kestrum app(window.screen(), dialogs, port, clock, folder);
    Commands commands(app);
    window.attach(app, commands);

    // "Setup" and "About" open their window without blocking this one; a second
    // click brings the open one forward.
    QPointer<SettingsDialog> settings;
    QPointer<AboutDialog> about;
    QObject::connect(&window, &MainWindow::setupRequested, &window, [&] {
        if (!settings)
            settings = new SettingsDialog(app, &window);
        settings->show();
        settings->raise();
        settings->activateWindow();
    });
    QObject::connect(&window, &MainWindow::aboutRequested, &window, [&] {
        if (!about)
            about = new AboutDialog(app, &window);
        about->show();
        about->raise();
        about->activateWindow();
    });
    QObject::connect(&window, &MainWindow::closed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    app.StartProgram(QCoreApplication::arguments().mid(1).join(QLatin1Char(' ')));

    PageTour tour(window, app);
    tour.install();

    // Soak runs only (bench/soak.sh, KESTRUM_SOAK=1): "Read all" again whenever the
    // engine has nothing left to do, for as long as the program runs.
    QTimer soak;
    if (qEnvironmentVariableIntValue("KESTRUM_SOAK") == 1) {
        QObject::connect(&soak, &QTimer::timeout, &window, [&] {
            if (app.engine.isQuiet())
                commands.CmdLeesAlles();
        });
        soak.start(1000);
    }
    window.show();
    const int result = application.exec();
    window.detach();
    return result;
}
