#pragma once

#include "base/Value.h"

#include <array>

// Item numbers 0..250. The number alone decides the kind and the control.
constexpr int ItemSlots = 251;     // 0..250
constexpr int FileItemCount = 250; // 0..249 travel through settings files

enum class ItemKind {
    Char,           // 0..78, ComboInstellingen(item)
    CharNoControl,  // 79..99, stored as a number
    Int,            // 100..143, TxtIntInput(item - 100)
    IntNoControl,   // 144..149, stored as a number
    Tekst,          // 150..232, TxtTekstInput(item - 150)
    TekstNoControl, // 233..249, stored as a text
    Spare,          // 250, never stored or served
    Invalid         // anything else
};
ItemKind KindOfItem(int item);
// True for items stored as numbers in settings files (0..149).
inline bool IsNumberItem(int item)
{
    return item >= 0 && item <= 149;
}

constexpr qint16 JOB_NONE = 0;
constexpr qint16 JOB_READ = 1;
constexpr qint16 JOB_WRITE = 10;

// The 27 CHAR items of "Read all" and "Write all".
bool IsBulkItem(int item);
// Display bound of a stored choice index; -1 for items without one.
int ChoiceLimit(int item);

// The in-memory mirror of the converter's settings (module ModUnitUpdate).
class SettingsTable
{
public:
    SettingsTable();

    std::array<Value, ItemSlots> SettingValue;
    std::array<Value, ItemSlots> UnitValue;
    std::array<Value, ItemSlots> FileValue;
    std::array<qint16, ItemSlots> SettingJob{};

    void ResetSettingValues();
    void ForgetUnitValues();
    void ClearSettingJobs();
    void FileToSettings();
    void SettingsToFile();
};
