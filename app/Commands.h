#pragma once

#include <QString>

class Kestrum;

// The handlers of the main window's buttons. They never touch the port: they ask,
// move values between screen, table and files, set jobs or raise requests.
class Commands
{
public:
    explicit Commands(Kestrum &app);

    // "File" page
    void CmdInstellingenLezen();   // Read default from file
    void CmdInstellingenOpslaan(); // Save as default
    void CmdLezenUnitgegevens();   // Read from file
    void CmdOpslaanUnitGegevens(); // Save to file
    void CmdHistory();             // History...

    // "Unit" page
    void CmdLeesAlles();       // Read all settings from unit
    void CmdSchrijfAlles();    // Write all settings to unit
    void CmdWriteChanged();    // Write changed settings to unit
    void CmdCancelReadWrite(); // Cancel
    void CmdWisLogVenster();   // Clear log

    // per-item buttons
    void CmdReadSingleSetting(int item);
    void CmdWriteSingleSetting(int item);
    void CmdReadSingleTekstSetting(int index);
    void CmdWriteSingleTekstSetting(int index);

    // "Service" page
    void CmdTestHerstart();    // Restart
    void CmdTestOproepPager(); // Call
    void TxtTestPagerAdresDoubleClick();
    void TxtTestPagerDisplayInfoDoubleClick();
    void CmdReOpenCom(); // Open ComPort

    // hidden test controls
    void Command1(); // SluitCom
    void Command2(); // TestButton
    bool Command3(); // TestCom: true when the port is open

    // a click on a page tab of SSTab1, SSTab2 or SSTab3
    void TabClicked();

    // The folder first offered by the file dialogs.
    QString InitialSettingsFolder() const;

private:
    void WorkSet();

    Kestrum &m_app;
};
