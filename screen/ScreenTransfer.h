#pragma once

#include "settings/SettingsTable.h"
#include "settings/SettingsView.h"

#include <array>

class SettingsTable;
class Screen;

// Moves values between the settings table and the setting controls, and colours
// each control by whether it equals the converter's value (modules ModUnitUpdate
// and ModuleToUnit).
class ScreenTransfer : public SettingsView
{
public:
    ScreenTransfer(SettingsTable &table, Screen &screen);

    void SettingToControl(int item);
    void SelectChoice(int item, int choice);
    void ControlToSetting(int item);
    void SettingsToControls() override;
    void ControlsToSettings() override;
    void MarkControls();
    void ClearComboSelections();

private:
    SettingsTable &m_table;
    Screen &m_screen;
    // What the last marking saw; marking again with all of it unchanged would
    // change nothing.
    bool m_marked = false;
    quint64 m_markedGeneration = 0;
    std::array<Value, ItemSlots> m_markedUnitValue;
    std::array<qint16, ItemSlots> m_markedJobs{};
};
