#include "screen/Catalogue.h"
#include "screen/HeadlessScreen.h"
#include "screen/ScreenTransfer.h"
#include "settings/SettingsTable.h"
#include "window/MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <memory>

// The same cases run against every implementation of the screen: each test class
// below only says how to make its screen (and how the user types into it).

Q_DECLARE_METATYPE(Value)

namespace {

QString Describe(const Value &value)
{
    switch (value.kind()) {
    case Value::Kind::Empty:
        return QStringLiteral("empty");
    case Value::Kind::Int16:
        return QStringLiteral("int16 ") + value.asText();
    case Value::Kind::Double:
        return QStringLiteral("double ") + value.asText();
    case Value::Kind::Text:
        return QStringLiteral("text \"%1\"").arg(value.asText());
    }
    return {};
}

// Same kind and same value, so a 16-bit 0 is not mistaken for a text "0".
bool Same(const Value &a, const Value &b)
{
    return a.kind() == b.kind() && a == b;
}

#define COMPARE_VALUE(actual, expected)                                                            \
    QVERIFY2(Same(actual, expected),                                                               \
             qPrintable(                                                                           \
                 QStringLiteral("got %1, expected %2").arg(Describe(actual), Describe(expected))))

// Forwards every call to another screen.
class ForwardingScreen : public Screen
{
public:
    explicit ForwardingScreen(Screen &inner) : m_inner(inner) {}

    bool inUse(int c) const override { return m_inner.inUse(c); }
    void setInUse(int c, bool u) override { m_inner.setInUse(c, u); }
    bool legendShown(int i) const override { return m_inner.legendShown(i); }
    QString legendText(int i) const override { return m_inner.legendText(i); }
    QString valueText(int c) const override { return m_inner.valueText(c); }
    void setValueText(int c, const QString &t) override { m_inner.setValueText(c, t); }
    void clearChoices(int c) override { m_inner.clearChoices(c); }
    void appendChoice(int c, const QString &t) override { m_inner.appendChoice(c, t); }
    int choiceCount(int c) const override { return m_inner.choiceCount(c); }
    QString choiceText(int c, int i) const override { return m_inner.choiceText(c, i); }
    int selectedIndex(int c) const override { return m_inner.selectedIndex(c); }
    bool setSelectedIndex(int c, int i) override { return m_inner.setSelectedIndex(c, i); }
    void clearSelectionHighlight(int c) override { m_inner.clearSelectionHighlight(c); }
    ControlColour colour(int c) const override { return m_inner.colour(c); }
    void setColour(int c, ControlColour colour) override { m_inner.setColour(c, colour); }
    bool buttonsInUse(int i) const override { return m_inner.buttonsInUse(i); }
    void setButtonsInUse(int i, bool u) override { m_inner.setButtonsInUse(i, u); }
    void appendProgress(const QString &t) override { m_inner.appendProgress(t); }
    QString progressText() const override { return m_inner.progressText(); }
    void clearProgress() override { m_inner.clearProgress(); }
    void setProgressBar(bool v, int n) override { m_inner.setProgressBar(v, n); }
    bool progressBarVisible() const override { return m_inner.progressBarVisible(); }
    int progressBarValue() const override { return m_inner.progressBarValue(); }
    void setPortCaption(const QString &c) override { m_inner.setPortCaption(c); }
    QString portCaption() const override { return m_inner.portCaption(); }
    void setLamp(Lamp l, bool b) override { m_inner.setLamp(l, b); }
    void UpdateMessageWindow(const std::array<QString, 25> &l) override
    {
        m_inner.UpdateMessageWindow(l);
    }
    void setServiceView(bool on) override { m_inner.setServiceView(on); }
    void ArrangeTabs(qint16 level) override { m_inner.ArrangeTabs(level); }

private:
    Screen &m_inner;
};

// Counts colour writes: the marking tick runs ten times a second and must not
// repaint an idle window.
class CountingScreen : public ForwardingScreen
{
public:
    using ForwardingScreen::ForwardingScreen;
    int colourWrites = 0;

    void setColour(int c, ControlColour colour) override
    {
        ++colourWrites;
        ForwardingScreen::setColour(c, colour);
    }
};

// The main window's own screen; the window lives as long as the screen.
struct OwnedWindow
{
    std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>();
};

class WindowScreen : private OwnedWindow, public ForwardingScreen
{
public:
    WindowScreen() : ForwardingScreen(window->screen()) {}
    MainWindow &mainWindow() { return *window; }
};

} // namespace

class TransferTests : public QObject
{
    Q_OBJECT

protected:
    virtual std::unique_ptr<Screen> makeScreen() = 0;
    // The user types into a control's edit field.
    virtual void type(Screen &screen, int control, const QString &text)
    {
        screen.setValueText(control, text);
    }

    struct Rig
    {
        explicit Rig(std::unique_ptr<Screen> made)
            : screen(std::move(made)), transfer(table, *screen)
        {
            BuildScreen(*screen);
        }
        std::unique_ptr<Screen> screen;
        SettingsTable table;
        ScreenTransfer transfer;
    };
    std::unique_ptr<Rig> rig() { return std::make_unique<Rig>(makeScreen()); }

private Q_SLOTS:
    void intItemsShowPositiveWholeNumbers_data();
    void intItemsShowPositiveWholeNumbers();
    void charItemsSelectBoundedChoices_data();
    void charItemsSelectBoundedChoices();
    void selectChoiceOnlyTouchesTheScreen();
    void charItemWithoutLimitIsNeverSelected();
    void resetValuesShowAsMinusOne();
    void controlsNotInUseAreLeftAloneAndGiveNothing();
    void longTextsComeBackWhole();
    void typedTextMatchingNoEntryIsStoredAsNoSelection();
    void itemsWithoutControlKeepTheirValues();
    void startUpColours();
    void pendingJobKeepsItsColour();
    void idleMarkingWritesNoColour();
};

void TransferTests::intItemsShowPositiveWholeNumbers_data()
{
    QTest::addColumn<Value>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<Value>("storedAfter");
    QTest::addColumn<double>("takenBack");

    QTest::newRow("0 is empty") << Value::int16(0) << "" << Value::int16(0) << 0.0;
    QTest::newRow("12.6 rounds up") << Value::number(12.6) << "13" << Value::number(12.6) << 13.0;
    QTest::newRow("2.5 halves to even") << Value::number(2.5) << "2" << Value::number(2.5) << 2.0;
    QTest::newRow("3.5 halves to even") << Value::number(3.5) << "4" << Value::number(3.5) << 4.0;
    QTest::newRow("-5 is empty") << Value::int16(-5) << "" << Value::int16(-5) << 0.0;
    QTest::newRow("-1 is empty") << Value::int16(-1) << "" << Value::int16(-1) << 0.0;
    QTest::newRow("empty slot") << Value() << "" << Value() << 0.0;
    QTest::newRow("text number") << Value::text(" 42 ") << "42" << Value::text(" 42 ") << 42.0;
    QTest::newRow("largest") << Value::number(32767) << "32767" << Value::number(32767) << 32767.0;
    QTest::newRow("40000 trips the guard") << Value::number(40000) << "" << Value::int16(0) << 0.0;
    QTest::newRow("-40000 trips the guard")
        << Value::number(-40000) << "" << Value::int16(0) << 0.0;
    QTest::newRow("text no number trips the guard")
        << Value::text("12abc") << "" << Value::int16(0) << 0.0;
}

void TransferTests::intItemsShowPositiveWholeNumbers()
{
    QFETCH(Value, stored);
    QFETCH(QString, shown);
    QFETCH(Value, storedAfter);
    QFETCH(double, takenBack);

    auto r = rig();
    r->screen->setValueText(120, QStringLiteral("77"));
    r->table.SettingValue[120] = stored;
    r->transfer.SettingToControl(120);
    QCOMPARE(r->screen->valueText(120), shown);
    COMPARE_VALUE(r->table.SettingValue[120], storedAfter);

    r->transfer.ControlToSetting(120);
    COMPARE_VALUE(r->table.SettingValue[120], Value::number(takenBack));
}

void TransferTests::charItemsSelectBoundedChoices_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<Value>("stored");
    QTest::addColumn<int>("selected");
    QTest::addColumn<Value>("storedAfter");

    QTest::newRow("0: 3 is shown") << 0 << Value::int16(3) << 3 << Value::int16(3);
    QTest::newRow("0: limit 4 shows the first choice")
        << 0 << Value::int16(4) << 0 << Value::int16(4);
    QTest::newRow("13: -1 selects nothing") << 13 << Value::int16(-1) << -1 << Value::int16(-1);
    QTest::newRow("13: -3 trips the guard") << 13 << Value::int16(-3) << 0 << Value::int16(0);
    QTest::newRow("10: from a file 2.0") << 10 << Value::number(2) << 2 << Value::number(2);
    QTest::newRow("10: 2.5 halves to even") << 10 << Value::number(2.5) << 2 << Value::number(2.5);
    QTest::newRow("10: text with trailing rubbish")
        << 10 << Value::text(" 2 x") << 2 << Value::text(" 2 x");
    QTest::newRow("10: empty slot is the first choice") << 10 << Value() << 0 << Value();
    QTest::newRow("10: huge number trips the guard")
        << 10 << Value::number(1e6) << 0 << Value::int16(0);
    QTest::newRow("15: 59 seconds") << 15 << Value::int16(59) << 59 << Value::int16(59);
    QTest::newRow("37: 10 is past the limit") << 37 << Value::int16(10) << 0 << Value::int16(10);
}

void TransferTests::charItemsSelectBoundedChoices()
{
    QFETCH(int, item);
    QFETCH(Value, stored);
    QFETCH(int, selected);
    QFETCH(Value, storedAfter);

    auto r = rig();
    QVERIFY(r->screen->setSelectedIndex(item, 1));
    r->table.SettingValue[item] = stored;
    r->transfer.SettingToControl(item);
    QCOMPARE(r->screen->selectedIndex(item), selected);
    COMPARE_VALUE(r->table.SettingValue[item], storedAfter);

    r->transfer.ControlToSetting(item);
    COMPARE_VALUE(r->table.SettingValue[item], Value::int16(qint16(selected)));
}

void TransferTests::selectChoiceOnlyTouchesTheScreen()
{
    auto r = rig();
    r->table.SettingValue[0] = Value::int16(2);
    r->transfer.SelectChoice(0, 3);
    QCOMPARE(r->screen->selectedIndex(0), 3);
    r->transfer.SelectChoice(0, 9);
    QCOMPARE(r->screen->selectedIndex(0), 0);
    r->transfer.SelectChoice(0, -1);
    QCOMPARE(r->screen->selectedIndex(0), -1);
    QCOMPARE(r->screen->valueText(0), QString());
    r->transfer.SelectChoice(0, 1);
    r->transfer.SelectChoice(0, -2); // refused by the combo
    QCOMPARE(r->screen->selectedIndex(0), 1);
    COMPARE_VALUE(r->table.SettingValue[0], Value::int16(2));
}

void TransferTests::charItemWithoutLimitIsNeverSelected()
{
    auto r = rig();
    QVERIFY(r->screen->setSelectedIndex(40, 5));
    for (const Value &stored : {Value::int16(3), Value::int16(-1), Value::int16(20), Value()}) {
        r->table.SettingValue[40] = stored;
        r->transfer.SettingToControl(40);
        QCOMPARE(r->screen->selectedIndex(40), 5);
        COMPARE_VALUE(r->table.SettingValue[40], stored);
    }
    r->transfer.ControlToSetting(40);
    COMPARE_VALUE(r->table.SettingValue[40], Value::int16(5));
}

void TransferTests::resetValuesShowAsMinusOne()
{
    auto r = rig();
    r->table.ResetSettingValues();
    r->transfer.SettingsToControls();
    QCOMPARE(r->screen->valueText(151), QStringLiteral("-1"));
    QCOMPARE(r->screen->valueText(232), QStringLiteral("-1"));
    QCOMPARE(r->screen->valueText(100), QString());
    QCOMPARE(r->screen->selectedIndex(0), -1);
    QCOMPARE(r->screen->selectedIndex(37), -1);

    r->transfer.ControlsToSettings();
    COMPARE_VALUE(r->table.SettingValue[151], Value::text("-1"));
    COMPARE_VALUE(r->table.SettingValue[0], Value::int16(-1));
    COMPARE_VALUE(r->table.SettingValue[100], Value::number(0));
}

void TransferTests::controlsNotInUseAreLeftAloneAndGiveNothing()
{
    auto r = rig();
    QVERIFY(!r->screen->inUse(150));
    QVERIFY(!r->screen->inUse(1));
    r->screen->setValueText(150, QStringLiteral("keep"));
    r->table.SettingValue[150] = Value::text("new");
    r->transfer.SettingToControl(150);
    QCOMPARE(r->screen->valueText(150), QStringLiteral("keep"));
    r->transfer.ControlToSetting(150);
    COMPARE_VALUE(r->table.SettingValue[150], Value::text(""));

    r->table.SettingValue[1] = Value::int16(5);
    r->transfer.SettingToControl(1);
    COMPARE_VALUE(r->table.SettingValue[1], Value::int16(5));
    r->transfer.ControlToSetting(1);
    COMPARE_VALUE(r->table.SettingValue[1], Value::int16(0));

    r->screen->setInUse(103, false);
    r->screen->setValueText(103, QStringLiteral("9"));
    r->table.SettingValue[103] = Value::number(4);
    r->transfer.SettingToControl(103);
    QCOMPARE(r->screen->valueText(103), QStringLiteral("9"));
    r->transfer.ControlToSetting(103);
    COMPARE_VALUE(r->table.SettingValue[103], Value::int16(0));
}

void TransferTests::longTextsComeBackWhole()
{
    auto r = rig();
    const QString longText = QString(1000, u'x') + QStringLiteral("end");
    r->table.SettingValue[160] = Value::text(longText);
    r->transfer.SettingToControl(160);
    QCOMPARE(r->screen->valueText(160), longText);
    r->table.SettingValue[160] = Value();
    r->transfer.ControlToSetting(160);
    COMPARE_VALUE(r->table.SettingValue[160], Value::text(longText));

    // Blanks are kept too: the transfer neither pads nor trims.
    r->table.SettingValue[152] = Value::text(QStringLiteral("  a "));
    r->transfer.SettingToControl(152);
    r->transfer.ControlToSetting(152);
    COMPARE_VALUE(r->table.SettingValue[152], Value::text("  a "));
}

void TransferTests::typedTextMatchingNoEntryIsStoredAsNoSelection()
{
    auto r = rig();
    type(*r->screen, 10, QStringLiteral("9601 baud"));
    QCOMPARE(r->screen->selectedIndex(10), -1);
    r->transfer.ControlToSetting(10);
    COMPARE_VALUE(r->table.SettingValue[10], Value::int16(-1));

    type(*r->screen, 10, QStringLiteral("9600 baud"));
    QCOMPARE(r->screen->selectedIndex(10), 3);
    r->transfer.ControlToSetting(10);
    COMPARE_VALUE(r->table.SettingValue[10], Value::int16(3));
}

void TransferTests::itemsWithoutControlKeepTheirValues()
{
    auto r = rig();
    r->table.SettingValue[90] = Value::number(7.5);
    r->table.SettingValue[145] = Value::text("abc");
    r->table.SettingValue[240] = Value::text("kept");
    r->table.SettingValue[249] = Value::int16(-1);
    r->table.SettingValue[250] = Value::text("spare");
    r->transfer.ControlsToSettings();
    r->transfer.SettingsToControls();
    COMPARE_VALUE(r->table.SettingValue[90], Value::number(7.5));
    COMPARE_VALUE(r->table.SettingValue[145], Value::text("abc"));
    COMPARE_VALUE(r->table.SettingValue[240], Value::text("kept"));
    COMPARE_VALUE(r->table.SettingValue[249], Value::int16(-1));
    COMPARE_VALUE(r->table.SettingValue[250], Value::text("spare"));
}

void TransferTests::startUpColours()
{
    auto r = rig();
    SettingsTable &t = r->table;
    t.ForgetUnitValues();
    for (int item = 0; item < FileItemCount; ++item)
        t.SettingValue[item] = item < 150 ? Value::number(0) : Value::text("");
    t.SettingValue[5] = Value::number(-1);
    t.SettingValue[151] = Value::text(" -1 ");
    r->transfer.SettingsToControls();
    r->transfer.MarkControls();

    const auto equal = ControlColour::EqualToUnit;
    const auto differs = ControlColour::DifferentFromUnit;
    QCOMPARE(r->screen->colour(0), differs); // shows "None"
    QCOMPARE(r->screen->colour(5), equal);   // no selection, like the unit's -1
    QCOMPARE(r->screen->colour(1), equal);   // not in use: still visited
    QCOMPARE(r->screen->colour(40), equal);  // bleep lists show no choice
    QCOMPARE(r->screen->colour(100), differs);
    QCOMPARE(r->screen->colour(152), differs);
    QCOMPARE(r->screen->colour(151), equal); // the text reads as the number -1
    QCOMPARE(r->screen->colour(150), differs);

    // A value the converter confirmed is drawn as equal.
    t.UnitValue[0] = Value::int16(0);
    t.UnitValue[100] = Value::int16(0);
    t.UnitValue[152] = Value::text("");
    r->transfer.MarkControls();
    QCOMPARE(r->screen->colour(0), equal);
    QCOMPARE(r->screen->colour(100), equal);
    QCOMPARE(r->screen->colour(152), equal);

    r->screen->setValueText(152, QStringLiteral("Abc"));
    t.UnitValue[152] = Value::text("abc");
    r->transfer.MarkControls();
    QCOMPARE(r->screen->colour(152), differs);
}

void TransferTests::pendingJobKeepsItsColour()
{
    auto r = rig();
    r->table.ForgetUnitValues();
    r->transfer.MarkControls();
    QCOMPARE(r->screen->colour(12), ControlColour::EqualToUnit);
    QCOMPARE(r->screen->colour(130), ControlColour::DifferentFromUnit);

    r->table.SettingJob[12] = JOB_WRITE;
    r->table.SettingJob[130] = JOB_READ;
    QVERIFY(r->screen->setSelectedIndex(12, 1));
    r->screen->setValueText(130, QStringLiteral("-1"));
    r->transfer.MarkControls();
    QCOMPARE(r->screen->colour(12), ControlColour::EqualToUnit);
    QCOMPARE(r->screen->colour(130), ControlColour::DifferentFromUnit);

    r->table.ClearSettingJobs();
    r->transfer.MarkControls();
    QCOMPARE(r->screen->colour(12), ControlColour::DifferentFromUnit);
    QCOMPARE(r->screen->colour(130), ControlColour::EqualToUnit);
}

void TransferTests::idleMarkingWritesNoColour()
{
    auto made = makeScreen();
    CountingScreen screen(*made);
    BuildScreen(screen);
    SettingsTable table;
    ScreenTransfer transfer(table, screen);
    table.ForgetUnitValues();

    transfer.MarkControls();
    QCOMPARE(screen.colourWrites, 206); // every control leaves its creation colour
    transfer.MarkControls();
    QCOMPARE(screen.colourWrites, 206);

    QVERIFY(screen.setSelectedIndex(0, 2));
    transfer.MarkControls();
    QCOMPARE(screen.colourWrites, 207);
}

class HeadlessTransferTests : public TransferTests
{
    Q_OBJECT

protected:
    std::unique_ptr<Screen> makeScreen() override { return std::make_unique<HeadlessScreen>(); }
    void type(Screen &screen, int control, const QString &text) override
    {
        static_cast<HeadlessScreen &>(screen).typeText(control, text);
    }

private Q_SLOTS:
    void tabClickRemovesEveryHighlight()
    {
        HeadlessScreen screen;
        BuildScreen(screen);
        SettingsTable table;
        ScreenTransfer transfer(table, screen);
        QVERIFY(screen.pickChoice(0, 2));
        QVERIFY(screen.pickChoice(78, 15));
        QCOMPARE(screen.selectionLength(78), 12);
        transfer.ClearComboSelections();
        QCOMPARE(screen.selectionLength(0), 0);
        QCOMPARE(screen.selectionLength(78), 0);
        QCOMPARE(screen.selectedIndex(78), 15);
    }
};

class WidgetTransferTests : public TransferTests
{
    Q_OBJECT

protected:
    std::unique_ptr<Screen> makeScreen() override { return std::make_unique<WindowScreen>(); }
    void type(Screen &screen, int control, const QString &text) override
    {
        // Real key strokes into the combo's edit field.
        auto *combo = static_cast<WindowScreen &>(screen).mainWindow().findChild<QComboBox *>(
            QStringLiteral("ComboInstellingen_%1").arg(control));
        QVERIFY(combo && combo->lineEdit());
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), text);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int status = 0;
    HeadlessTransferTests headless;
    status |= QTest::qExec(&headless, argc, argv);
    WidgetTransferTests widgets;
    status |= QTest::qExec(&widgets, argc, argv);
    return status;
}

#include "tst_transfer.moc"
