#include "settings/SettingsTable.h"

ItemKind KindOfItem(int item)
{
    if (item < 0)
        return ItemKind::Invalid;
    if (item <= 78)
        return ItemKind::Char;
    if (item <= 99)
        return ItemKind::CharNoControl;
    if (item <= 143)
        return ItemKind::Int;
    if (item <= 149)
        return ItemKind::IntNoControl;
    if (item <= 232)
        return ItemKind::Tekst;
    if (item <= 249)
        return ItemKind::TekstNoControl;
    if (item == 250)
        return ItemKind::Spare;
    return ItemKind::Invalid;
}

namespace {

struct Limit
{
    int item;
    int limit;
};

// The 27 items of "Read all" and "Write all" with the number of choices shown for each.
// Items 5 and 7 have one list entry more than their limit: a stored 10 or 150 is still
// shown as the first choice.
constexpr Limit choiceLimits[] = {
    {0, 4},            // general settings
    {5, 10}, {7, 150}, // ESPA out: address and text length
    {10, 5}, {11, 2},  {12, 2}, {13, 3}, {14, 3}, {15, 60}, {16, 2}, {17, 10}, // ESPA out
    {20, 5}, {21, 2},  {22, 2}, {23, 3}, {24, 3}, {25, 60}, {26, 6}, {27, 10}, // ESPA in 1
    {30, 5}, {31, 2},  {32, 2}, {33, 3}, {34, 3}, {35, 60}, {36, 6}, {37, 10}, // ESPA in 2
};

} // namespace

int ChoiceLimit(int item)
{
    for (const Limit &entry : choiceLimits) {
        if (entry.item == item)
            return entry.limit;
    }
    return -1;
}

bool IsBulkItem(int item)
{
    return ChoiceLimit(item) > 0;
}

SettingsTable::SettingsTable()
{
    ResetSettingValues();
    ForgetUnitValues();
    ClearSettingJobs();
}

void SettingsTable::ResetSettingValues()
{
    SettingValue.fill(Value::int16(-1));
}

void SettingsTable::ForgetUnitValues()
{
    UnitValue.fill(Value::int16(-1));
}

void SettingsTable::ClearSettingJobs()
{
    SettingJob.fill(JOB_NONE);
}

void SettingsTable::FileToSettings()
{
    SettingValue = FileValue;
}

void SettingsTable::SettingsToFile()
{
    FileValue = SettingValue;
}
