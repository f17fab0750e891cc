#pragma once

#include "app/Commands.h"
#include "app/Kestrum.h"
#include "serial/MemorySerialBackend.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "window/MainWindow.h"
#include "window/WidgetDialogs.h"

#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// A whole window program over an in-memory port, started as the program starts:
// start-up sequence first, then the window is shown. The program folder is a fresh
// temporary folder, also named by KESTRUM_HOME.
struct WindowRig
{
    static QString exportedHome(const QTemporaryDir &home)
    {
        qputenv("KESTRUM_HOME", home.path().toLocal8Bit());
        return home.path();
    }

    QTemporaryDir home;
    MemorySerialBackend port;
    ScriptedDialogs scripted;
    WidgetDialogs widgetDialogs;
    FakeClock clock;
    MainWindow window;
    Kestrum app;
    Commands commands{app};

    explicit WindowRig(const QString &commandLine = QString(), bool realDialogs = false)
        : app(window.screen(), realDialogs ? static_cast<Dialogs &>(widgetDialogs) : scripted, port,
              clock, exportedHome(home))
    {
        widgetDialogs.setParentWidget(&window);
        window.attach(app, commands);
        app.StartProgram(commandLine);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qWarning("the window was not exposed");
    }

    template <typename T = QWidget> T *child(const QString &name)
    {
        return window.findChild<T *>(name);
    }
    QTimer *timer(const QString &name) { return window.findChild<QTimer *>(name); }
};

// The object name of a control-array element: "Name_N".
inline QString indexed(const char *name, int index)
{
    return QLatin1String(name) + QLatin1Char('_') + QString::number(index);
}

// The pages that are never offered are disabled as well, and so is everything on
// them; a test that types into a control or presses a button there enables the
// pages first.
inline void enableAllSettingsPages(WindowRig &rig)
{
    auto *tab2 = rig.child<QTabWidget>("SSTab2");
    for (int i = 0; i < tab2->count(); ++i)
        tab2->setTabEnabled(i, true);
}

// Presses a button of a window as the user does: every tab page on the way to it is
// brought to the front, then the mouse clicks it. False when the button does not
// exist or cannot be seen or pressed.
inline bool pressButton(QWidget &window, const QString &name)
{
    auto *button = window.findChild<QPushButton *>(name);
    if (!button)
        return false;
    for (QWidget *w = button; w && w != &window; w = w->parentWidget()) {
        auto *stack = qobject_cast<QStackedWidget *>(w->parentWidget());
        auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr;
        if (tabs)
            tabs->setCurrentWidget(w);
    }
    if (!button->isVisible() || !button->isEnabled())
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}
