#pragma once

#include <QDialog>
#include <QFrame>

class Kestrum;
class QLabel;

// The logo frame; a double-click on it steps the service mode.
class LogoFrame : public QFrame
{
    Q_OBJECT

public:
    using QFrame::QFrame;

Q_SIGNALS:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// The maker's logo, drawn by the program itself.
class LogoImage : public QWidget
{
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {120, 90}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};

// frmAbout: version, logo, copyright and web address.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    AboutDialog(Kestrum &app, QWidget *mainWindow);

    static QString VersionText();

    // Double-click on the logo: DebugLevel 0 -> 1 -> 2 -> 0; the service view follows.
    void FrameLogoDoubleClick();
    void CmdSluit();

private:
    Kestrum &m_app;
};
