#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class Value;

class Screen;

// Which choice list a CHAR item (or the test call's bleep code) uses.
enum class ChoiceList {
    None,
    DiagnosticLevel,
    AddressLength,
    TextLength,
    SerialSpeed,
    DataBits,
    StopBits,
    Parity,
    Handshake,
    OutputPollWatchdog,
    InputPollWatchdog,
    RequestForStatus,
    StatusRequestResponse,
    TxDataDelay,
    BleepCode
};

// The entries of a list, entry 0 first.
QStringList ChoiceEntries(ChoiceList list);

// One setting control of the catalogue.
struct CatalogueItem
{
    int item = -1;           // item number
    QString legend;          // letter for letter, trailing blanks included
    bool legendShown = true; // the legend's own visibility flag
    bool inUse = false;      // the value control's visibility flag after BuildScreen
    ChoiceList list = ChoiceList::None;
    int lengthLimit = 0; // typing limit of a text box; 0 for none
};

// The 206 setting controls: CHAR 0..78, INT 100..143, TEKST 150..232.
const CatalogueItem *CatalogueEntry(int item);
// The legend of a setting without its trailing blanks; "" for a setting without one.
QString LegendOf(int item);
// The text of choice `value` of a setting with a list of choices, if it has one.
std::optional<QString> ChoiceTextOf(int item, const Value &value);
const QList<CatalogueItem> &Catalogue();

// Per-item button captions: "Lezen"/"Schrijven" or "Read"/"PROGRAM".
bool ButtonsAreDutch(int item);

// Fills every list and sets the in-use flags of the setting controls and per-item
// buttons; afterwards no ComboInstellingen has a selection and ComboTestBleepCode
// is on entry 1. Repeatable.
void BuildScreen(Screen &screen);
