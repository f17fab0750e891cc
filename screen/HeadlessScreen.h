#pragma once

#include "screen/ProgressText.h"
#include "screen/Screen.h"

#include <QStringList>
#include <map>
#include <optional>

// The screen without widgets: every control is a plain record, created in the same
// state as the main window's controls, and every bit of state can be read back. The
// command-line tool runs on it and the tests inspect it.
//
// Creation state, as the window creates its controls:
// - legends: text and visibility from the catalogue;
// - INT and TEKST boxes: in use except TEKST item 150, empty, typing limit from the
//   catalogue;
// - ComboInstellingen: in use, no entries (BuildScreen decides which are in use);
// - ComboTestBleepCode, TxtTestPagerAdres (limit 10), TxtTestPagerDisplayInfo
//   (limit 40): in use;
// - per-item buttons: pairs 0..40 in use, 41..65 and the TEKST pair (150) not;
// - every colour Unset; progress pane empty; progress bar hidden at 0; port caption
//   "Serial port: XXXX "; both lamps dark; message window 25 empty lines;
//   FrameCmdButtonsAlgemeen hidden, FrameCmdButtonsPaging shown and "Save as default"
//   enabled until the service view is applied.
class HeadlessScreen : public Screen
{
public:
    HeadlessScreen();

    bool inUse(int control) const override;
    void setInUse(int control, bool inUse) override;
    bool legendShown(int item) const override;
    QString legendText(int item) const override;
    QString valueText(int control) const override;
    void setValueText(int control, const QString &text) override;
    void clearChoices(int control) override;
    void appendChoice(int control, const QString &text) override;
    int choiceCount(int control) const override;
    QString choiceText(int control, int index) const override;
    int selectedIndex(int control) const override;
    bool setSelectedIndex(int control, int index) override;
    void clearSelectionHighlight(int control) override;
    ControlColour colour(int control) const override;
    void setColour(int control, ControlColour colour) override;
    bool buttonsInUse(int item) const override;
    void setButtonsInUse(int item, bool inUse) override;
    void appendProgress(const QString &text) override;
    QString progressText() const override;
    void clearProgress() override;
    void setProgressBar(bool visible, int value) override;
    bool progressBarVisible() const override;
    int progressBarValue() const override;
    void setPortCaption(const QString &caption) override;
    QString portCaption() const override;
    void setLamp(Lamp lamp, bool bright) override;
    void UpdateMessageWindow(const std::array<QString, 25> &lines) override;
    void setServiceView(bool on) override;
    void ArrangeTabs(qint16 debugLevel) override;

    // What the user does at the keyboard: typing replaces the control's text. A box
    // takes at most its typing limit; a combo's edit field takes any text (which
    // then matches an entry or not).
    void typeText(int control, const QString &text);
    // The user picks an entry from a combo's drop-down: the edit field shows the
    // entry, highlighted. False for an index that has no entry.
    bool pickChoice(int control, int index);
    // Length of the highlighted text in a combo's edit field.
    int selectionLength(int control) const;
    // Typing limit of a box; 0 for none (and for combos).
    int lengthLimit(int control) const;
    QStringList choices(int control) const;
    bool hasControl(int control) const;

    bool lampBright(Lamp lamp) const;
    const std::array<QString, 25> &messageLines() const { return m_messageLines; }
    int messageWindowUpdates() const { return m_messageWindowUpdates; }

    bool serviceFrameAlgemeenShown() const { return m_algemeenShown; }
    bool serviceFramePagingShown() const { return m_pagingShown; }
    bool saveAsDefaultEnabled() const { return m_saveAsDefaultEnabled; }
    // The level of the last ArrangeTabs; none before it ran.
    std::optional<qint16> arrangedLevel() const { return m_arrangedLevel; }

    // How many times a colour actually changed, so tests can see that an idle
    // marking pass writes nothing.
    int colourChanges() const { return m_colourChanges; }

private:
    struct Control
    {
        bool inUse = true;
        bool isCombo = false;
        QStringList choices;
        QString text;
        int selectionLength = 0;
        int lengthLimit = 0;
        ControlColour colour = ControlColour::Unset;
    };

    Control *find(int control);
    const Control *find(int control) const;

    std::map<int, Control> m_controls;
    std::map<int, bool> m_buttonsInUse;

    ProgressText m_progress;
    bool m_progressBarVisible = false;
    int m_progressBarValue = 0;
    QString m_portCaption = QStringLiteral("Serial port: XXXX ");
    bool m_txBright = false;
    bool m_rxBright = false;
    std::array<QString, 25> m_messageLines;
    int m_messageWindowUpdates = 0;
    bool m_algemeenShown = false;
    bool m_pagingShown = true;
    bool m_saveAsDefaultEnabled = true;
    std::optional<qint16> m_arrangedLevel;
    int m_colourChanges = 0;
};
