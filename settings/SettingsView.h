#pragma once

// What the settings files need of the screen: a table loaded from a file is shown
// in the setting controls, and a save first takes the values typed there.
class SettingsView
{
public:
    virtual ~SettingsView() = default;
    virtual void SettingsToControls() = 0;
    virtual void ControlsToSettings() = 0;
};
