#include "window/MainWindow.h"

#include "app/Commands.h"
#include "app/Kestrum.h"
#include "base/ProgramFolder.h"
#include "serial/PortBackend.h"
#include "window/AboutDialog.h"
#include "window/SettingsDialog.h"
#include "window/WidgetDialogs.h"

#include <QApplication>
#include <QPointer>

// The window program: everything is made here, on the stack, in the order each part
// needs the other; the window goes last, after the start-up sequence has run.
int MainWindow::runProgram(QApplication &application, const BeforeShow &beforeShow)
{
    const QString folder = ResolveProgramFolder(QCoreApplication::applicationDirPath());
    PortBackend port;
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

    if (beforeShow)
        beforeShow(window, app, commands);
    window.show();
    const int result = application.exec();
    window.detach();
    return result;
}
