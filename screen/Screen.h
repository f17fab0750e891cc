#pragma once

#include "serial/PortCaption.h"

#include <QString>
#include <array>

// Controls that are not setting controls, addressed like items.
constexpr int CTRL_TEST_BLEEP = 300;   // ComboTestBleepCode
constexpr int CTRL_TEST_ADDRESS = 301; // TxtTestPagerAdres
constexpr int CTRL_TEST_MESSAGE = 302; // TxtTestPagerDisplayInfo

// The two colour roles of a setting control.
enum class ControlColour {
    Unset,            // as created
    EqualToUnit,      // system colour of inactive title text
    DifferentFromUnit // system colour of window text
};

enum class Lamp { Tx, Rx };

// Everything the logic needs of "the screen": the setting controls, the test-call
// controls, the progress pane and bar, the port caption, the lamps, the message
// window and the service view. The window implements it with widgets; the headless
// implementation keeps the same state in plain members for the command-line tool
// and the tests.
//
// Setting controls are addressed by item number: CHAR 0..78 (ComboInstellingen),
// INT 100..143 (TxtIntInput), TEKST 150..232 (TxtTekstInput); the test-call
// controls by the CTRL_ numbers above. Calls for a number without a control do
// nothing and read as not in use, legend hidden, "" and -1.
class Screen : public PortCaption
{
public:
    virtual ~Screen() = default;

    static bool hasSettingControl(int item)
    {
        return (item >= 0 && item <= 78) || (item >= 100 && item <= 143) ||
               (item >= 150 && item <= 232);
    }

    // The control's own visibility flag ("in use"), whether or not its page is shown.
    virtual bool inUse(int control) const = 0;
    virtual void setInUse(int control, bool inUse) = 0;

    // The fixed legend beside a setting control and its own visibility flag.
    virtual bool legendShown(int item) const = 0;
    virtual QString legendText(int item) const = 0;

    // The text the control shows: a combo's edit text, a box's text.
    virtual QString valueText(int control) const = 0;
    // Puts a text into a box; a text longer than the box's typing limit is kept whole.
    virtual void setValueText(int control, const QString &text) = 0;

    // Choice lists (CHAR items and CTRL_TEST_BLEEP). Entries are only appended.
    virtual void clearChoices(int control) = 0;
    virtual void appendChoice(int control, const QString &text) = 0;
    virtual int choiceCount(int control) const = 0;
    virtual QString choiceText(int control, int index) const = 0;
    // The entry whose text equals the edit text, else -1 (typed text that matches no
    // entry gives -1).
    virtual int selectedIndex(int control) const = 0;
    // -1 clears the selection. An index below -1 or past the last entry is refused
    // and gives false, leaving the control as it was.
    virtual bool setSelectedIndex(int control, int index) = 0;
    // Removes the text highlight from a combo's edit field.
    virtual void clearSelectionHighlight(int control) = 0;

    virtual ControlColour colour(int control) const = 0;
    virtual void setColour(int control, ControlColour colour) = 0;

    // A number that grows whenever what a setting control shows, its list or its
    // colour may have changed: the same number twice means nothing changed in
    // between. A screen that cannot tell gives a new number every time.
    virtual quint64 contentGeneration() { return ++m_untrackedGeneration; }

    // Per-item buttons: the pair CmdReadSingleSetting/CmdWriteSingleSetting(item) for
    // CHAR items 0..65, the pair CmdReadSingleTekstSetting/CmdWriteSingleTekstSetting(0)
    // as item 150.
    virtual bool buttonsInUse(int item) const = 0;
    virtual void setButtonsInUse(int item, bool inUse) = 0;

    // TxtProgress: the text is appended and the caret put at the end.
    virtual void appendProgress(const QString &text) = 0;
    virtual QString progressText() const = 0;
    virtual void clearProgress() = 0;

    // ProgressBarProgrammeren, range 0..40.
    virtual void setProgressBar(bool visible, int value) = 0;
    virtual bool progressBarVisible() const = 0;
    virtual int progressBarValue() const = 0;

    // Caption of FrmCommunicatie (set through PortCaption).
    virtual QString portCaption() const = 0;

    virtual void setLamp(Lamp lamp, bool bright) = 0;

    // Copies the message buffer into Text2(0..24).
    virtual void UpdateMessageWindow(const std::array<QString, 25> &lines) = 0;

    // Service view: FrameCmdButtonsAlgemeen and FrameCmdButtonsPaging shown and
    // "Save as default" enabled when on; hidden and disabled when off.
    virtual void setServiceView(bool on) = 0;
    // Offers the four settings pages and brings the first pages to the front, then
    // applies the service view for the level.
    virtual void ArrangeTabs(qint16 debugLevel) = 0;

private:
    quint64 m_untrackedGeneration = 0;
};
