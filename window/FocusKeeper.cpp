#include "window/FocusKeeper.h"

#include "base/Dialogs.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {
const char *const KeptProperty = "kestrumFocusKept";
}

FocusKeeper::FocusKeeper(QWidget &window, Dialogs &dialogs, bool hideOnLeave)
    : QObject(&window), m_window(window), m_dialogs(dialogs), m_hideOnLeave(hideOnLeave)
{
    m_window.setProperty(KeptProperty, true);
    qApp->installEventFilter(this);
}

bool FocusKeeper::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_window.isVisible())
        return false;
    if (event->type() == QEvent::WindowActivate && watched != &m_window &&
        watched->isWidgetType()) {
        auto *other = static_cast<QWidget *>(watched);
        if (other->isWindow() && !other->isModal() && !other->property(KeptProperty).toBool()) {
            m_window.raise();
            m_window.activateWindow();
            m_dialogs.beep();
        }
    } else if (m_hideOnLeave && watched == &m_window && event->type() == QEvent::WindowDeactivate) {
        // Which window takes over is known only once the deactivation is through.
        QTimer::singleShot(0, &m_window, [this] {
            if (!QApplication::activeWindow())
                m_window.hide();
        });
    }
    return false;
}
