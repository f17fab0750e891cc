#include "window/WidgetScreen.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextCursor>

const QColor WidgetScreen::TxDark = QColor(192, 0, 0);
const QColor WidgetScreen::TxBright = QColor(255, 128, 128);
const QColor WidgetScreen::RxDark = QColor(0, 192, 0);
const QColor WidgetScreen::RxBright = QColor(128, 255, 128);

namespace {
// QLineEdit's own ceiling, which stands for "no limit".
constexpr int NoLimit = 32767;

int typingLimit(int limit)
{
    return limit > 0 ? limit : NoLimit;
}
} // namespace

void WidgetScreen::addCombo(int control, QComboBox *combo)
{
    m_combos[control] = combo;
    // Typing, picking and a list that changes all may change what the control shows.
    const auto changed = [this] { ++m_generation; };
    QObject::connect(combo, &QComboBox::editTextChanged, combo, changed);
    QObject::connect(combo, &QComboBox::currentIndexChanged, combo, changed);
    QObject::connect(combo->model(), &QAbstractItemModel::rowsInserted, combo, changed);
    QObject::connect(combo->model(), &QAbstractItemModel::rowsRemoved, combo, changed);
    QObject::connect(combo->model(), &QAbstractItemModel::modelReset, combo, changed);
    QObject::connect(combo->model(), &QAbstractItemModel::dataChanged, combo, changed);
}

void WidgetScreen::addBox(int control, QLineEdit *box, int limit)
{
    m_boxes[control] = Box{box, limit};
    box->setMaxLength(typingLimit(limit));
    QObject::connect(box, &QLineEdit::textChanged, box, [this] { ++m_generation; });
    // A long text the program put in stays whole; what the user deletes from it
    // cannot be typed back beyond the box's own limit.
    QObject::connect(box, &QLineEdit::textEdited, box, [box, limit](const QString &text) {
        const int lowered = qMax(typingLimit(limit), int(text.size()));
        if (lowered < box->maxLength())
            box->setMaxLength(lowered);
    });
}

void WidgetScreen::addLegend(int item, QLabel *legend)
{
    m_legends[item] = legend;
}

void WidgetScreen::addButtonPair(int item, QPushButton *read, QPushButton *write)
{
    m_buttons[item] = {read, write};
}

void WidgetScreen::setProgressWidgets(QPlainTextEdit *pane, QProgressBar *bar)
{
    m_progressPane = pane;
    m_progressBar = bar;
}

void WidgetScreen::setPortFrame(QGroupBox *frame)
{
    m_portFrame = frame;
}

void WidgetScreen::setLamps(QWidget *tx, QWidget *rx)
{
    m_txLamp = tx;
    m_rxLamp = rx;
}

void WidgetScreen::setMessageBoxes(const std::array<QLineEdit *, 25> &boxes)
{
    m_messageBoxes = boxes;
}

void WidgetScreen::setServiceWidgets(QWidget *frameAlgemeen, QWidget *framePaging,
                                     QPushButton *saveAsDefault)
{
    m_frameAlgemeen = frameAlgemeen;
    m_framePaging = framePaging;
    m_saveAsDefault = saveAsDefault;
}

void WidgetScreen::setTabs(QTabWidget *tab1, QTabWidget *tab2, QTabWidget *tab3)
{
    m_tab1 = tab1;
    m_tab2 = tab2;
    m_tab3 = tab3;
}

void WidgetScreen::setBoxText(QLineEdit *box, const QString &text, int limit)
{
    // QLineEdit cuts a text to its maximum length; the program's own texts (from a
    // settings file or the converter) are kept whole, so the limit makes room first.
    box->setMaxLength(qMax(typingLimit(limit), int(text.size())));
    box->setText(text);
}

void WidgetScreen::paintFill(QWidget *widget, const QColor &colour)
{
    if (!widget)
        return;
    if (widget->autoFillBackground() && widget->palette().color(QPalette::Window) == colour)
        return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QColor WidgetScreen::differentFromUnitColour()
{
    return QApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

QColor WidgetScreen::equalToUnitColour()
{
    // Greyed like inactive text, but dark enough to read on the box's base: halfway
    // between the style's disabled text and its window text; a plain grey when the
    // style draws both alike.
    const QPalette palette = QApplication::palette();
    const QColor inactive = palette.color(QPalette::Disabled, QPalette::WindowText);
    const QColor active = differentFromUnitColour();
    if (inactive == active)
        return QColor(128, 128, 128);
    return QColor((inactive.red() + active.red()) / 2, (inactive.green() + active.green()) / 2,
                  (inactive.blue() + active.blue()) / 2);
}

QComboBox *WidgetScreen::combo(int control) const
{
    auto it = m_combos.find(control);
    return it == m_combos.end() ? nullptr : it->second;
}

const WidgetScreen::Box *WidgetScreen::box(int control) const
{
    auto it = m_boxes.find(control);
    return it == m_boxes.end() ? nullptr : &it->second;
}

QWidget *WidgetScreen::valueWidget(int control) const
{
    if (QComboBox *c = combo(control))
        return c;
    if (const Box *b = box(control))
        return b->edit;
    return nullptr;
}

bool WidgetScreen::inUse(int control) const
{
    const QWidget *widget = valueWidget(control);
    return widget && !widget->isHidden();
}

void WidgetScreen::setInUse(int control, bool inUse)
{
    if (QWidget *widget = valueWidget(control))
        widget->setVisible(inUse);
}

bool WidgetScreen::legendShown(int item) const
{
    auto it = m_legends.find(item);
    return it != m_legends.end() && !it->second->isHidden();
}

QString WidgetScreen::legendText(int item) const
{
    auto it = m_legends.find(item);
    return it == m_legends.end() ? QString() : it->second->text();
}

QString WidgetScreen::valueText(int control) const
{
    if (QComboBox *c = combo(control))
        return c->currentText();
    if (const Box *b = box(control))
        return b->edit->text();
    return QString();
}

void WidgetScreen::setValueText(int control, const QString &text)
{
    if (QComboBox *c = combo(control))
        c->setEditText(text);
    else if (const Box *b = box(control))
        setBoxText(b->edit, text, b->limit);
}

void WidgetScreen::clearChoices(int control)
{
    // Emptying a drop-down list also empties its edit field.
    if (QComboBox *c = combo(control)) {
        c->clear();
        c->setEditText(QString());
    }
}

void WidgetScreen::appendChoice(int control, const QString &text)
{
    QComboBox *c = combo(control);
    if (!c)
        return;
    // QComboBox selects the first entry put into an empty list; a list here only
    // gets entries and keeps what its edit field showed.
    const bool wasEmpty = c->count() == 0;
    const QString shown = c->currentText();
    c->addItem(text);
    if (wasEmpty) {
        c->setCurrentIndex(-1);
        c->setEditText(shown);
    }
}

int WidgetScreen::choiceCount(int control) const
{
    QComboBox *c = combo(control);
    return c ? c->count() : 0;
}

QString WidgetScreen::choiceText(int control, int index) const
{
    QComboBox *c = combo(control);
    if (!c || index < 0 || index >= c->count())
        return QString();
    return c->itemText(index);
}

int WidgetScreen::selectedIndex(int control) const
{
    // Decided by the edit text, not by QComboBox::currentIndex: an editable combo
    // keeps its old index when the user types a text that matches no entry.
    QComboBox *c = combo(control);
    if (!c)
        return -1;
    const QString text = c->currentText();
    for (int i = 0; i < c->count(); ++i) {
        if (c->itemText(i) == text)
            return i;
    }
    return -1;
}

bool WidgetScreen::setSelectedIndex(int control, int index)
{
    QComboBox *c = combo(control);
    if (!c || index < -1 || index >= c->count())
        return false;
    c->setCurrentIndex(index);
    // Setting the index that is already current leaves a typed text in place.
    c->setEditText(index == -1 ? QString() : c->itemText(index));
    return true;
}

void WidgetScreen::clearSelectionHighlight(int control)
{
    if (QComboBox *c = combo(control)) {
        if (QLineEdit *edit = c->lineEdit())
            edit->deselect();
    }
}

ControlColour WidgetScreen::colour(int control) const
{
    auto it = m_colours.find(control);
    return it == m_colours.end() ? ControlColour::Unset : it->second;
}

void WidgetScreen::setColour(int control, ControlColour colour)
{
    QWidget *widget = valueWidget(control);
    if (!widget || this->colour(control) == colour)
        return;
    m_colours[control] = colour;
    ++m_generation;

    if (colour == ControlColour::Unset) {
        widget->setPalette(QPalette());
        return;
    }
    const QColor text =
        colour == ControlColour::EqualToUnit ? equalToUnitColour() : differentFromUnitColour();
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Text, text);
    }
    widget->setPalette(palette);
}

bool WidgetScreen::buttonsInUse(int item) const
{
    auto it = m_buttons.find(item);
    return it != m_buttons.end() && !it->second.first->isHidden();
}

void WidgetScreen::setButtonsInUse(int item, bool inUse)
{
    auto it = m_buttons.find(item);
    if (it == m_buttons.end())
        return;
    it->second.first->setVisible(inUse);
    it->second.second->setVisible(inUse);
}

void WidgetScreen::appendProgress(const QString &text)
{
    if (!m_progressPane)
        return;
    const bool lineEndSplit =
        m_progress.text().endsWith(QLatin1Char('\r')) && text.startsWith(QLatin1Char('\n'));
    m_progress.append(text);
    // The widget gets only the new text, so a long pane costs nothing per line; a
    // CR LF split over two pieces is one line break on screen.
    QTextCursor cursor(m_progressPane->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(lineEndSplit ? text.mid(1) : text);
    m_progressPane->setTextCursor(cursor);
    m_progressPane->ensureCursorVisible();
}

QString WidgetScreen::progressText() const
{
    return m_progress.text();
}

void WidgetScreen::clearProgress()
{
    m_progress.clear();
    if (m_progressPane)
        m_progressPane->clear();
}

void WidgetScreen::setProgressBar(bool visible, int value)
{
    if (!m_progressBar)
        return;
    m_progressBar->setVisible(visible);
    // Like the bar itself: a value outside its range leaves the shown value.
    m_progressBar->setValue(value);
}

bool WidgetScreen::progressBarVisible() const
{
    return m_progressBar && !m_progressBar->isHidden();
}

int WidgetScreen::progressBarValue() const
{
    return m_progressBar ? qMax(m_progressBar->value(), 0) : 0;
}

void WidgetScreen::setPortCaption(const QString &caption)
{
    if (m_portFrame)
        m_portFrame->setTitle(caption);
}

QString WidgetScreen::portCaption() const
{
    return m_portFrame ? m_portFrame->title() : QString();
}

void WidgetScreen::setLamp(Lamp lamp, bool bright)
{
    if (lamp == Lamp::Tx)
        paintFill(m_txLamp, bright ? TxBright : TxDark);
    else
        paintFill(m_rxLamp, bright ? RxBright : RxDark);
}

void WidgetScreen::UpdateMessageWindow(const std::array<QString, 25> &lines)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        QLineEdit *box = m_messageBoxes[i];
        // Only changed lines are written, so an idle window does not repaint.
        if (box && box->text() != lines[i]) {
            setBoxText(box, lines[i], 0);
            // A line wider than its box shows its time stamp, not its end.
            box->setCursorPosition(0);
        }
    }
}

void WidgetScreen::setServiceView(bool on)
{
    if (m_frameAlgemeen)
        m_frameAlgemeen->setVisible(on);
    if (m_framePaging)
        m_framePaging->setVisible(on);
    if (m_saveAsDefault)
        m_saveAsDefault->setEnabled(on);
}

void WidgetScreen::ArrangeTabs(qint16 debugLevel)
{
    if (m_tab2) {
        for (int page = 1; page < m_tab2->count(); ++page) {
            const bool offered = page <= 3;
            m_tab2->setTabEnabled(page, offered);
            m_tab2->setTabVisible(page, offered);
        }
    }
    setServiceView(debugLevel == 2);
    if (m_tab1 && m_tab1->count() > 4) {
        m_tab1->setTabEnabled(4, true);
        m_tab1->setTabVisible(4, true);
    }
    if (m_tab3)
        m_tab3->setCurrentIndex(2);
    if (m_tab2)
        m_tab2->setCurrentIndex(0);
    if (m_tab1)
        m_tab1->setCurrentIndex(0);
}
