#include "screen/ScreenTransfer.h"

#include "base/TextHelpers.h"
#include "screen/Screen.h"
#include "settings/SettingsTable.h"

namespace {

bool IsChar(int item)
{
    return item >= 0 && item <= 78;
}
bool IsInt(int item)
{
    return item >= 100 && item <= 143;
}

// Selects a choice bounded by the item's ChoiceLimit. False when the combo refuses
// the index; items without a ChoiceLimit are left alone and count as done.
bool SelectBounded(Screen &screen, int item, int choice)
{
    const int limit = ChoiceLimit(item);
    if (!IsChar(item) || limit < 0)
        return true;
    return screen.setSelectedIndex(item, choice >= limit ? 0 : choice);
}

} // namespace

ScreenTransfer::ScreenTransfer(SettingsTable &table, Screen &screen)
    : m_table(table), m_screen(screen)
{
}

void ScreenTransfer::SettingToControl(int item)
{
    if (!Screen::hasSettingControl(item) || !m_screen.inUse(item))
        return;

    const Value &value = m_table.SettingValue[item];
    bool ok = true;
    if (IsChar(item)) {
        const std::optional<qint16> choice = Value::number(TextToNumber(value.asText())).asInt16();
        ok = choice && SelectBounded(m_screen, item, *choice);
    } else if (IsInt(item)) {
        const std::optional<qint16> n = value.asInt16();
        if (n)
            m_screen.setValueText(item, *n > 0 ? NumToText(*n) : QString());
        ok = n.has_value();
    } else {
        m_screen.setValueText(item, value.asText());
    }
    if (ok)
        return;

    // A value the control cannot show becomes 0, and the control shows that 0 so
    // screen and table agree again.
    m_table.SettingValue[item] = Value::int16(0);
    if (IsChar(item))
        SelectBounded(m_screen, item, 0);
    else if (IsInt(item))
        m_screen.setValueText(item, QString());
    else
        m_screen.setValueText(item, QStringLiteral("0"));
}

void ScreenTransfer::SelectChoice(int item, int choice)
{
    SelectBounded(m_screen, item, choice);
}

void ScreenTransfer::ControlToSetting(int item)
{
    if (!Screen::hasSettingControl(item))
        return;
    Value &target = m_table.SettingValue[item];
    const bool used = m_screen.inUse(item);
    if (IsChar(item)) {
        target = Value::int16(used ? qint16(m_screen.selectedIndex(item)) : qint16(0));
    } else if (IsInt(item)) {
        target = used ? Value::number(TextToNumber(m_screen.valueText(item))) : Value::int16(0);
    } else {
        target = Value::text(used ? m_screen.valueText(item) : QString());
    }
}

void ScreenTransfer::SettingsToControls()
{
    for (int item = 0; item < FileItemCount; ++item)
        SettingToControl(item);
}

void ScreenTransfer::ControlsToSettings()
{
    for (int item = 0; item < FileItemCount; ++item)
        ControlToSetting(item);
}

void ScreenTransfer::MarkControls()
{
    // Runs ten times a second: with the screen, the converter's values and the jobs
    // as they were at the last marking, nothing is read at all; otherwise colours
    // are written only when they change, so an idle screen is never repainted.
    if (m_marked && m_screen.contentGeneration() == m_markedGeneration &&
        m_table.UnitValue == m_markedUnitValue && m_table.SettingJob == m_markedJobs)
        return;
    auto mark = [this](int item, const Value &content) {
        if (m_table.SettingJob[item] != JOB_NONE)
            return;
        const ControlColour wanted = content == m_table.UnitValue[item]
                                         ? ControlColour::EqualToUnit
                                         : ControlColour::DifferentFromUnit;
        if (m_screen.colour(item) != wanted)
            m_screen.setColour(item, wanted);
    };
    for (int item = 0; item <= 78; ++item)
        mark(item, Value::int16(qint16(m_screen.selectedIndex(item))));
    for (int item = 100; item <= 143; ++item)
        mark(item, Value::number(TextToNumber(m_screen.valueText(item))));
    for (int item = 150; item <= 232; ++item)
        mark(item, Value::text(m_screen.valueText(item)));
    m_marked = true;
    m_markedGeneration = m_screen.contentGeneration();
    m_markedUnitValue = m_table.UnitValue;
    m_markedJobs = m_table.SettingJob;
}

void ScreenTransfer::ClearComboSelections()
{
    for (int item = 0; item <= 78; ++item)
        m_screen.clearSelectionHighlight(item);
}
