#pragma once

#include "app/ConverterFinder.h"

#include <QDialog>
#include <QTimer>

#include <memory>
#include <optional>

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
    ~SettingsDialog() override;

    void LockCombo();
    void UnlockCombo();
    void UpdateCombo();
    void ComboToSettings();

    // The buttons' handlers, public so tests can press them without a mouse.
    void CmdWijzigen();
    void CmdCancel();
    void CmdSave();
    void CmdClose();
    // Beside the port list and the settings folder: the converter search, and the
    // link that ties a port number to a USB adapter.
    void CmdFindConverter();
    void CmdKeepAdapter();
    // "Use a network address...": the selected number reaches a serial device
    // server; Save writes the address into ports/comN.
    void CmdNetworkAddress();

    bool isEditing() const;
    bool isSearching() const { return m_finder != nullptr; }

private:
    void showDevice();
    int selectedNumber() const;
    // The device the selected number leads to, or will lead to after Save.
    PortDevice selectedDevice() const;
    void searchTick();
    void endSearch();

    Kestrum &m_app;
    QComboBox *m_comboCom;
    QLineEdit *m_txtSetPath;
    QLabel *m_device;
    QLabel *m_deviceInfo;
    QLabel *m_findText;
    QPushButton *m_cmdFind;
    QPushButton *m_cmdKeep;
    QPushButton *m_cmdAddress;
    QPushButton *m_cmdCancel;
    QPushButton *m_cmdWijzigen;
    QPushButton *m_cmdSave;
    QPushButton *m_cmdClose;

    QTimer m_searchTimer;
    std::unique_ptr<ConverterFinder> m_finder;
    // A device the search found without a Com number: Save makes the link.
    std::optional<ConverterFinder::Found> m_pendingLink;
};
