#include "app/Commands.h"
#include "app/Kestrum.h"
#include "bench/window/PageTour.h"
#include "window/MainWindow.h"

#include <QApplication>
#include <QTimer>

// The window program with the drivers that benchmarks and the documentation need;
// the shipped program has none of them. Switched on by environment variables:
// KESTRUM_SOAK=1 presses "Read all" again whenever the engine has nothing left to
// do; the others are described with PageTour.
int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    PageTour *tour = nullptr;
    QTimer soak;
    const int result = MainWindow::runProgram(
        application, [&](MainWindow &window, Kestrum &app, Commands &commands) {
            tour = new PageTour(window, app);
            tour->install();
            if (qEnvironmentVariableIntValue("KESTRUM_SOAK") == 1) {
                QObject::connect(&soak, &QTimer::timeout, &window, [&app, &commands] {
                    if (app.engine.isQuiet())
                        commands.CmdLeesAlles();
                });
                soak.start(1000);
            }
        });
    delete tour;
    return result;
}
