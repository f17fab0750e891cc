#pragma once

#include <QDialog>

class Kestrum;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// frmInstellingen: the serial port and the settings folder, kept in "Kestrum.set".
// It opens without blocking the main window and stays in front of it while open.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    SettingsDialog(Kestrum &app, QWidget *mainWindow);

    void LockCombo();
    void UnlockCombo();
    void UpdateCombo();
    void ComboToSettings();

    // The buttons' handlers, public so tests can press them without a mouse.
    void CmdWijzigen();
    void CmdCancel();
    void CmdSave();
    void CmdClose();

    bool isEditing() const;

private:
    void showDevice();

    Kestrum &m_app;
    QComboBox *m_comboCom;
    QLineEdit *m_txtSetPath;
    QLabel *m_device;
    QPushButton *m_cmdCancel;
    QPushButton *m_cmdWijzigen;
    QPushButton *m_cmdSave;
    QPushButton *m_cmdClose;
};
