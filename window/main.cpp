#include "window/CommandLine.h"
#include "window/MainWindow.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    // --help and --version answer before any window exists, also without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (const std::optional<QString> text = WindowInfoText(arguments)) {
        const QByteArray bytes = text->toLocal8Bit();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        return 0;
    }

    QApplication application(argc, argv);
    return MainWindow::runProgram(application);
}
