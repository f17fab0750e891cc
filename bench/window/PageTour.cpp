#include "bench/window/PageTour.h"

#include "app/Kestrum.h"
#include "window/MainWindow.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

namespace {
struct Page
{
    const char *name;
    int tab1;
    int tab2; // -1: leave SSTab2 alone
};

constexpr Page Pages[] = {
    {"status", 0, -1},         {"setup-general", 1, 0},   {"setup-espa-out", 1, 1},
    {"setup-espa-in-1", 1, 2}, {"setup-espa-in-2", 1, 3}, {"file", 2, -1},
    {"unit", 3, -1},           {"service", 4, -1},
};
constexpr int PageCount = int(sizeof(Pages) / sizeof(Pages[0]));
} // namespace

PageTour::PageTour(MainWindow &window, Kestrum &app) : m_window(window), m_app(app) {}

QStringList PageTour::pageNames()
{
    QStringList names;
    for (const Page &page : Pages)
        names.append(QLatin1String(page.name));
    return names;
}

bool PageTour::install()
{
    m_bench = qEnvironmentVariableIntValue("KESTRUM_BENCH_STARTUP") == 1;
    m_folder = qEnvironmentVariable("KESTRUM_SCREENSHOT_DIR");
    m_prefix = qEnvironmentVariable("KESTRUM_SCREENSHOT_PREFIX");
    const QString pages = qEnvironmentVariable("KESTRUM_SCREENSHOT_PAGES");
    m_pages = pages.isEmpty() ? pageNames() : pages.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (m_bench)
        m_window.installEventFilter(this);
    if (!m_folder.isEmpty()) {
        QDir().mkpath(m_folder);
        // After the one-shot refresh has shown the settings table.
        QTimer::singleShot(800, this, &PageTour::startTour);
    }
    return m_bench || !m_folder.isEmpty();
}

bool PageTour::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::Paint && !m_benchReported) {
        m_benchReported = true;
        std::printf("shown-at-ms %lld\n",
                    static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        std::fflush(stdout);
        QTimer::singleShot(0, &m_window, &MainWindow::close);
    }
    return QObject::eventFilter(watched, event);
}

void PageTour::startTour()
{
    if (qEnvironmentVariableIntValue("KESTRUM_SCREENSHOT_READALL") == 1) {
        if (auto *readAll = m_window.findChild<QPushButton *>(QStringLiteral("CmdLeesAlles")))
            readAll->click();
        waitForReadAll(400);
        return;
    }
    shootPage(0);
}

void PageTour::waitForReadAll(int ticksLeft)
{
    // Polled every 50 ms; the engine runs on its own timer meanwhile.
    if (ticksLeft <= 0 || (m_app.engine.isQuiet() && m_app.engine.ReadAllRequest == 0)) {
        QTimer::singleShot(600, this, [this] { shootPage(0); });
        return;
    }
    QTimer::singleShot(50, this, [this, ticksLeft] { waitForReadAll(ticksLeft - 1); });
}

void PageTour::shootPage(int index)
{
    if (index >= PageCount) {
        finish();
        return;
    }
    if (!m_pages.contains(QLatin1String(Pages[index].name))) {
        shootPage(index + 1);
        return;
    }
    auto *tab1 = m_window.findChild<QTabWidget *>(QStringLiteral("SSTab1"));
    auto *tab2 = m_window.findChild<QTabWidget *>(QStringLiteral("SSTab2"));
    tab1->setCurrentIndex(Pages[index].tab1);
    if (Pages[index].tab2 >= 0)
        tab2->setCurrentIndex(Pages[index].tab2);
    // Give the page one round of layout and painting before the picture.
    QTimer::singleShot(150, this, [this, index] {
        const QString file =
            QDir(m_folder).filePath(m_prefix + QLatin1String(Pages[index].name) + ".png");
        if (!m_window.grab().save(file))
            std::fprintf(stderr, "could not save %s\n", qPrintable(file));
        shootPage(index + 1);
    });
}

void PageTour::finish()
{
    m_window.close();
}
