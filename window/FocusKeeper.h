#pragma once

#include <QObject>

class Dialogs;
class QWidget;

// Keeps a small window of the program in front while it is shown: when any other
// window of the program is activated, the kept window takes the focus back and the
// system beeps. Modal boxes are left alone (they need the focus to be answered), and
// so are other kept windows, so two of them never take the focus from each other in
// turn. With hideOnLeave, the window hides when the focus goes to another program.
class FocusKeeper : public QObject
{
public:
    FocusKeeper(QWidget &window, Dialogs &dialogs, bool hideOnLeave);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
    Dialogs &m_dialogs;
    bool m_hideOnLeave;
};
