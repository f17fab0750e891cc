#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class Kestrum;
class MainWindow;
class QTabWidget;

// Development aids of the window program, switched on by environment variables:
// - KESTRUM_BENCH_STARTUP=1: prints "shown-at-ms <epoch ms>" when the window is
//   first painted, then ends the program (bench/startup_time.sh);
// - KESTRUM_SCREENSHOT_DIR=<folder>: brings each page the user can reach to the
//   front in turn, saves a picture of the window for each as <prefix><page>.png
//   (prefix from KESTRUM_SCREENSHOT_PREFIX; KESTRUM_SCREENSHOT_PAGES=a,b limits the
//   tour to those pages), then ends the program. With
//   KESTRUM_SCREENSHOT_READALL=1 it first reads all settings from the converter.
class PageTour : public QObject
{
public:
    PageTour(MainWindow &window, Kestrum &app);

    // Installs what the environment asks for; false when nothing was asked.
    bool install();

    // The pages of the tour, as file names without extension.
    static QStringList pageNames();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void startTour();
    void waitForReadAll(int ticksLeft);
    void shootPage(int index);
    void finish();

    MainWindow &m_window;
    Kestrum &m_app;
    bool m_bench = false;
    bool m_benchReported = false;
    QString m_folder;
    QString m_prefix;
    QStringList m_pages;
};
