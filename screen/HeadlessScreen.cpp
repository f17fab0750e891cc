#include "screen/HeadlessScreen.h"

#include "screen/Catalogue.h"

HeadlessScreen::HeadlessScreen()
{
    for (const CatalogueItem &entry : Catalogue()) {
        Control control;
        control.isCombo = entry.item <= 78;
        // The combos start in use like any created widget; BuildScreen decides.
        control.inUse = control.isCombo || entry.item != 150;
        control.lengthLimit = entry.lengthLimit;
        m_controls[entry.item] = control;
    }

    Control bleep;
    bleep.isCombo = true;
    m_controls[CTRL_TEST_BLEEP] = bleep;
    Control address;
    address.lengthLimit = 10;
    m_controls[CTRL_TEST_ADDRESS] = address;
    Control message;
    message.lengthLimit = 40;
    m_controls[CTRL_TEST_MESSAGE] = message;

    for (int item = 0; item <= 65; ++item)
        m_buttonsInUse[item] = item <= 40;
    m_buttonsInUse[150] = false;
}

HeadlessScreen::Control *HeadlessScreen::find(int control)
{
    auto it = m_controls.find(control);
    return it == m_controls.end() ? nullptr : &it->second;
}

const HeadlessScreen::Control *HeadlessScreen::find(int control) const
{
    auto it = m_controls.find(control);
    return it == m_controls.end() ? nullptr : &it->second;
}

bool HeadlessScreen::hasControl(int control) const
{
    return find(control) != nullptr;
}

bool HeadlessScreen::inUse(int control) const
{
    const Control *c = find(control);
    return c && c->inUse;
}

void HeadlessScreen::setInUse(int control, bool inUse)
{
    if (Control *c = find(control))
        c->inUse = inUse;
}

bool HeadlessScreen::legendShown(int item) const
{
    const CatalogueItem *entry = CatalogueEntry(item);
    return entry && entry->legendShown;
}

QString HeadlessScreen::legendText(int item) const
{
    const CatalogueItem *entry = CatalogueEntry(item);
    return entry ? entry->legend : QString();
}

QString HeadlessScreen::valueText(int control) const
{
    const Control *c = find(control);
    return c ? c->text : QString();
}

void HeadlessScreen::setValueText(int control, const QString &text)
{
    // The program's own text is kept whole; the limit only stops typing.
    if (Control *c = find(control)) {
        c->text = text;
        c->selectionLength = 0;
    }
}

void HeadlessScreen::typeText(int control, const QString &text)
{
    Control *c = find(control);
    if (!c)
        return;
    c->text = c->lengthLimit > 0 ? text.left(c->lengthLimit) : text;
    c->selectionLength = 0;
}

void HeadlessScreen::clearChoices(int control)
{
    // Emptying a drop-down list also empties its edit field.
    Control *c = find(control);
    if (!c || !c->isCombo)
        return;
    c->choices.clear();
    c->text.clear();
    c->selectionLength = 0;
}

void HeadlessScreen::appendChoice(int control, const QString &text)
{
    Control *c = find(control);
    if (c && c->isCombo)
        c->choices.append(text);
}

int HeadlessScreen::choiceCount(int control) const
{
    const Control *c = find(control);
    return c ? int(c->choices.size()) : 0;
}

QString HeadlessScreen::choiceText(int control, int index) const
{
    const Control *c = find(control);
    if (!c || index < 0 || index >= c->choices.size())
        return QString();
    return c->choices.at(index);
}

QStringList HeadlessScreen::choices(int control) const
{
    const Control *c = find(control);
    return c ? c->choices : QStringList();
}

int HeadlessScreen::selectedIndex(int control) const
{
    const Control *c = find(control);
    if (!c || !c->isCombo)
        return -1;
    return int(c->choices.indexOf(c->text));
}

bool HeadlessScreen::setSelectedIndex(int control, int index)
{
    Control *c = find(control);
    if (!c || !c->isCombo || index < -1 || index >= c->choices.size())
        return false;
    c->text = index == -1 ? QString() : c->choices.at(index);
    c->selectionLength = 0;
    return true;
}

bool HeadlessScreen::pickChoice(int control, int index)
{
    Control *c = find(control);
    if (!c || !c->isCombo || index < 0 || index >= c->choices.size())
        return false;
    c->text = c->choices.at(index);
    c->selectionLength = int(c->text.size());
    return true;
}

int HeadlessScreen::selectionLength(int control) const
{
    const Control *c = find(control);
    return c ? c->selectionLength : 0;
}

int HeadlessScreen::lengthLimit(int control) const
{
    const Control *c = find(control);
    return c ? c->lengthLimit : 0;
}

void HeadlessScreen::clearSelectionHighlight(int control)
{
    if (Control *c = find(control))
        c->selectionLength = 0;
}

ControlColour HeadlessScreen::colour(int control) const
{
    const Control *c = find(control);
    return c ? c->colour : ControlColour::Unset;
}

void HeadlessScreen::setColour(int control, ControlColour colour)
{
    Control *c = find(control);
    if (!c || c->colour == colour)
        return;
    c->colour = colour;
    ++m_colourChanges;
}

bool HeadlessScreen::buttonsInUse(int item) const
{
    auto it = m_buttonsInUse.find(item);
    return it != m_buttonsInUse.end() && it->second;
}

void HeadlessScreen::setButtonsInUse(int item, bool inUse)
{
    auto it = m_buttonsInUse.find(item);
    if (it != m_buttonsInUse.end())
        it->second = inUse;
}

void HeadlessScreen::appendProgress(const QString &text)
{
    m_progress.append(text);
}

QString HeadlessScreen::progressText() const
{
    return m_progress.text();
}

void HeadlessScreen::clearProgress()
{
    m_progress.clear();
}

void HeadlessScreen::setProgressBar(bool visible, int value)
{
    m_progressBarVisible = visible;
    // Like the bar itself: a value outside 0..40 leaves the shown value as it was.
    if (value >= 0 && value <= 40)
        m_progressBarValue = value;
}

bool HeadlessScreen::progressBarVisible() const
{
    return m_progressBarVisible;
}

int HeadlessScreen::progressBarValue() const
{
    return m_progressBarValue;
}

void HeadlessScreen::setPortCaption(const QString &caption)
{
    m_portCaption = caption;
}

QString HeadlessScreen::portCaption() const
{
    return m_portCaption;
}

void HeadlessScreen::setLamp(Lamp lamp, bool bright)
{
    (lamp == Lamp::Tx ? m_txBright : m_rxBright) = bright;
}

bool HeadlessScreen::lampBright(Lamp lamp) const
{
    return lamp == Lamp::Tx ? m_txBright : m_rxBright;
}

void HeadlessScreen::UpdateMessageWindow(const std::array<QString, 25> &lines)
{
    m_messageLines = lines;
    ++m_messageWindowUpdates;
}

void HeadlessScreen::setServiceView(bool on)
{
    m_algemeenShown = on;
    m_pagingShown = on;
    m_saveAsDefaultEnabled = on;
}

void HeadlessScreen::ArrangeTabs(qint16 debugLevel)
{
    m_arrangedLevel = debugLevel;
    setServiceView(debugLevel == 2);
}
