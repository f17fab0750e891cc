#include "screen/Catalogue.h"
#include "screen/HeadlessScreen.h"
#include "screen/ScreenTransfer.h"
#include "settings/SettingsTable.h"
#include "support/CatalogueTexts.h"

#include <QSet>
#include <QTest>

namespace {

QSet<int> Range(int first, int last)
{
    QSet<int> set;
    for (int i = first; i <= last; ++i)
        set.insert(i);
    return set;
}

// Everything BuildScreen may touch, as one comparable text per control.
QStringList Snapshot(const HeadlessScreen &screen)
{
    QStringList lines;
    for (int control = 0; control <= 302; ++control) {
        if (!screen.hasControl(control))
            continue;
        lines << QStringLiteral("%1 use=%2 sel=%3 text=%4 [%5]")
                     .arg(control)
                     .arg(screen.inUse(control))
                     .arg(screen.selectedIndex(control))
                     .arg(screen.valueText(control), screen.choices(control).join(u'|'));
    }
    for (int item = 0; item <= 150; ++item)
        lines << QStringLiteral("buttons %1 %2").arg(item).arg(screen.buttonsInUse(item));
    return lines;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyLegendAndListEntryLetterForLetter_data();
    void everyLegendAndListEntryLetterForLetter();
    void lengthLimitsRestrictTheTextBoxes();
    void buildScreenSetsExactlyTheStatedInUseFlags();
    void buildScreenLeavesNoSelectionButTheTestBleepCode();
    void buildScreenTwiceGivesTheSameScreen();
    void buildScreenLeavesTextBoxesAlone();
    void visibleItemsAreTheBulkItemsWithTheirLimits();
    void storedLimitIsShownAsFirstChoiceButSelectable_data();
    void storedLimitIsShownAsFirstChoiceButSelectable();
    void bleepItemsNeverFollowTheStoredValue();
    void buttonCaptions();
    void unknownNumbersHaveNoEntry();
};

void TestCatalogue::everyLegendAndListEntryLetterForLetter_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("legend");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QStringList>("entries");

    for (const ExpectedItem &e : ExpectedCatalogue())
        QTest::addRow("%d", e.item) << e.item << e.legend << e.legendShown << e.entries;
    QTest::newRow("test call") << int(CTRL_TEST_BLEEP) << "" << false << ExpectedBleepCodes();
}

void TestCatalogue::everyLegendAndListEntryLetterForLetter()
{
    QFETCH(int, item);
    QFETCH(QString, legend);
    QFETCH(bool, shown);
    QFETCH(QStringList, entries);

    HeadlessScreen screen;
    // Entries left from before must go, so start from a list that is not empty.
    screen.appendChoice(item, QStringLiteral("stale"));
    BuildScreen(screen);
    QCOMPARE(screen.legendText(item), legend);
    QCOMPARE(screen.legendShown(item), shown);
    QCOMPARE(screen.choices(item), entries);
}

void TestCatalogue::lengthLimitsRestrictTheTextBoxes()
{
    HeadlessScreen screen;
    for (int item = 150; item <= 232; ++item)
        QCOMPARE(screen.lengthLimit(item), item <= 154 ? 10 : 15);
    for (int item = 100; item <= 143; ++item)
        QCOMPARE(screen.lengthLimit(item), 0);
    QCOMPARE(screen.lengthLimit(CTRL_TEST_ADDRESS), 10);
    QCOMPARE(screen.lengthLimit(CTRL_TEST_MESSAGE), 40);

    // Typing stops at the limit; text put in by the program is kept whole.
    screen.typeText(151, QStringLiteral("0123456789ABC"));
    QCOMPARE(screen.valueText(151), QStringLiteral("0123456789"));
    screen.setValueText(151, QStringLiteral("0123456789ABC"));
    QCOMPARE(screen.valueText(151), QStringLiteral("0123456789ABC"));
}

void TestCatalogue::buildScreenSetsExactlyTheStatedInUseFlags()
{
    const QSet<int> visible = QSet<int>{0, 5, 7} + Range(10, 17) + Range(20, 27) + Range(30, 37);
    const QSet<int> charInUse = visible + Range(40, 78);

    HeadlessScreen screen;
    BuildScreen(screen);
    for (int item = 0; item <= 78; ++item) {
        QVERIFY2(screen.inUse(item) == charInUse.contains(item), qPrintable(QString::number(item)));
        QVERIFY2(CatalogueEntry(item)->inUse == charInUse.contains(item),
                 qPrintable(QString::number(item)));
    }
    for (int item = 100; item <= 143; ++item)
        QVERIFY(screen.inUse(item));
    QVERIFY(!screen.inUse(150));
    for (int item = 151; item <= 232; ++item)
        QVERIFY(screen.inUse(item));

    for (int item = 0; item <= 65; ++item)
        QVERIFY2(screen.buttonsInUse(item) == visible.contains(item),
                 qPrintable(QString::number(item)));
    QVERIFY(!screen.buttonsInUse(150));
    QVERIFY(screen.inUse(CTRL_TEST_BLEEP));
}

void TestCatalogue::buildScreenLeavesNoSelectionButTheTestBleepCode()
{
    HeadlessScreen screen;
    BuildScreen(screen);
    SettingsTable table;
    ScreenTransfer transfer(table, screen);
    for (int item = 0; item < ItemSlots; ++item)
        table.SettingValue[item] = Value::int16(1);
    transfer.SettingsToControls();
    QCOMPARE(screen.selectedIndex(0), 1);

    BuildScreen(screen);
    for (int item = 0; item <= 78; ++item) {
        QCOMPARE(screen.selectedIndex(item), -1);
        QCOMPARE(screen.valueText(item), QString());
    }
    QCOMPARE(screen.selectedIndex(CTRL_TEST_BLEEP), 1);
    QCOMPARE(screen.valueText(CTRL_TEST_BLEEP), QStringLiteral("BleepCode: 1"));
}

void TestCatalogue::buildScreenTwiceGivesTheSameScreen()
{
    HeadlessScreen screen;
    BuildScreen(screen);
    const QStringList once = Snapshot(screen);
    BuildScreen(screen);
    QCOMPARE(Snapshot(screen), once);
}

void TestCatalogue::buildScreenLeavesTextBoxesAlone()
{
    HeadlessScreen screen;
    screen.setValueText(101, QStringLiteral("7"));
    screen.setValueText(151, QStringLiteral("pager"));
    screen.setInUse(102, false);
    BuildScreen(screen);
    QCOMPARE(screen.valueText(101), QStringLiteral("7"));
    QCOMPARE(screen.valueText(151), QStringLiteral("pager"));
    QVERIFY(!screen.inUse(102));
    // Pairs 41..65 keep their creation state even when it was changed.
    screen.setButtonsInUse(50, true);
    BuildScreen(screen);
    QVERIFY(screen.buttonsInUse(50));
}

void TestCatalogue::visibleItemsAreTheBulkItemsWithTheirLimits()
{
    HeadlessScreen screen;
    BuildScreen(screen);
    for (int item = 0; item <= 78; ++item) {
        const bool visible = screen.inUse(item) && item < 40;
        QCOMPARE(IsBulkItem(item), visible);
        if (!visible)
            continue;
        const int extra = (item == 5 || item == 7) ? 1 : 0;
        QCOMPARE(screen.choiceCount(item), ChoiceLimit(item) + extra);
    }
}

void TestCatalogue::storedLimitIsShownAsFirstChoiceButSelectable_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("entryText");

    QTest::newRow("address length 10") << 5 << 10 << "Address length: 10 digits";
    QTest::newRow("text length 150") << 7 << 150 << "Length: 150 characters";
}

void TestCatalogue::storedLimitIsShownAsFirstChoiceButSelectable()
{
    QFETCH(int, item);
    QFETCH(int, limit);
    QFETCH(QString, entryText);

    HeadlessScreen screen;
    BuildScreen(screen);
    SettingsTable table;
    ScreenTransfer transfer(table, screen);

    QVERIFY(screen.pickChoice(item, limit));
    QCOMPARE(screen.valueText(item), entryText);
    transfer.ControlToSetting(item);
    QCOMPARE(table.SettingValue[item].asInt16(), std::optional<qint16>(qint16(limit)));

    transfer.SettingToControl(item);
    QCOMPARE(screen.selectedIndex(item), 0);
    QCOMPARE(table.SettingValue[item].asInt16(), std::optional<qint16>(qint16(limit)));

    table.SettingValue[item] = Value::int16(qint16(limit - 1));
    transfer.SettingToControl(item);
    QCOMPARE(screen.selectedIndex(item), limit - 1);
}

void TestCatalogue::bleepItemsNeverFollowTheStoredValue()
{
    HeadlessScreen screen;
    BuildScreen(screen);
    SettingsTable table;
    ScreenTransfer transfer(table, screen);
    table.SettingValue[40] = Value::int16(3);
    transfer.SettingToControl(40);
    QCOMPARE(screen.selectedIndex(40), -1);
}

void TestCatalogue::buttonCaptions()
{
    const QSet<int> dutch =
        QSet<int>{0, 5, 7} + Range(10, 15) + Range(17, 19) + QSet<int>{25, 30, 31, 150};
    for (int item = 0; item <= 65; ++item)
        QVERIFY2(ButtonsAreDutch(item) == dutch.contains(item), qPrintable(QString::number(item)));
    QVERIFY(ButtonsAreDutch(150));
}

void TestCatalogue::unknownNumbersHaveNoEntry()
{
    QCOMPARE(Catalogue().size(), 206);
    for (int item : {-1, 79, 99, 144, 149, 233, 250, 300})
        QVERIFY(CatalogueEntry(item) == nullptr);

    HeadlessScreen screen;
    QVERIFY(!screen.inUse(90));
    QVERIFY(!screen.legendShown(90));
    QCOMPARE(screen.valueText(90), QString());
    QCOMPARE(screen.selectedIndex(90), -1);
    QVERIFY(!screen.setSelectedIndex(90, 0));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
