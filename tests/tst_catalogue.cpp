#include "screen/Catalogue.h"
#include "screen/HeadlessScreen.h"
#include "screen/ScreenTransfer.h"
#include "settings/SettingsTable.h"

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

Q_DECLARE_METATYPE(ChoiceList)

class TestCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choiceListsHaveTheirEntriesInOrder_data();
    void choiceListsHaveTheirEntriesInOrder();
    void bleepCodesUseOneUpperCaseHexDigit();
    void legendsAreLetterForLetter_data();
    void legendsAreLetterForLetter();
    void lengthLimitsRestrictTheTextBoxes();
    void buildScreenSetsExactlyTheStatedInUseFlags();
    void buildScreenFillsEachItemWithItsList_data();
    void buildScreenFillsEachItemWithItsList();
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

void TestCatalogue::choiceListsHaveTheirEntriesInOrder_data()
{
    QTest::addColumn<ChoiceList>("list");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("probe");
    QTest::addColumn<QString>("probeText");
    QTest::addColumn<QString>("last");

    QTest::newRow("diagnostic level")
        << ChoiceList::DiagnosticLevel << 4 << "None" << 1 << "Diagnose"
        << "Protocol debug info";
    QTest::newRow("address length")
        << ChoiceList::AddressLength << 11 << "Not limited" << 1 << "Address length: 1 digits"
        << "Address length: 10 digits";
    QTest::newRow("text length") << ChoiceList::TextLength << 151 << "Not limited" << 1
                                 << "Length: 1 characters"
                                 << "Length: 150 characters";
    QTest::newRow("serial speed") << ChoiceList::SerialSpeed << 5 << "1200 baud" << 3 << "9600 baud"
                                  << "19200 baud";
    QTest::newRow("data bits") << ChoiceList::DataBits << 2 << "7 bits" << 1 << "8 bits"
                               << "8 bits";
    QTest::newRow("stop bits") << ChoiceList::StopBits << 2 << "1 stopbit" << 1 << "2 stopbits"
                               << "2 stopbits";
    QTest::newRow("parity") << ChoiceList::Parity << 3 << "no parity" << 1 << "even parity"
                            << "odd parity";
    QTest::newRow("handshake") << ChoiceList::Handshake << 3 << "No HandShake" << 1
                               << "No HandShake, RTS active"
                               << "CTS/RTS HandShake";
    QTest::newRow("output poll watchdog")
        << ChoiceList::OutputPollWatchdog << 60 << "Espa-Out Poll Watchdog 0 sec" << 30
        << "Espa-Out Poll Watchdog 30 sec"
        << "Espa-Out Poll Watchdog 59 sec";
    QTest::newRow("input poll watchdog")
        << ChoiceList::InputPollWatchdog << 60 << "Espa-In Poll Watchdog 0 sec" << 7
        << "Espa-In Poll Watchdog 7 sec"
        << "Espa-In Poll Watchdog 59 sec";
    QTest::newRow("request for status") << ChoiceList::RequestForStatus << 2 << "Request for status"
                                        << 1 << "No request for status (Fire and forget)"
                                        << "No request for status (Fire and forget)";
    QTest::newRow("status request response")
        << ChoiceList::StatusRequestResponse << 6 << "standard, according to protocol" << 4
        << "non-standard, Reply EOT, unless asked for status"
        << "non-standard, tbd";
    QTest::newRow("tx-data delay")
        << ChoiceList::TxDataDelay << 10 << "no delay" << 1 << "10 milliseconcs delay"
        << "90 milliseconcs delay";
    QTest::newRow("bleep code") << ChoiceList::BleepCode << 16 << "BleepCode: 0" << 1
                                << "BleepCode: 1"
                                << "BleepCode: F";
}

void TestCatalogue::choiceListsHaveTheirEntriesInOrder()
{
    QFETCH(ChoiceList, list);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(int, probe);
    QFETCH(QString, probeText);
    QFETCH(QString, last);

    const QStringList entries = ChoiceEntries(list);
    QCOMPARE(entries.size(), count);
    QCOMPARE(entries.first(), first);
    QCOMPARE(entries.at(probe), probeText);
    QCOMPARE(entries.last(), last);
    QCOMPARE(QSet<QString>(entries.begin(), entries.end()).size(), count);
}

void TestCatalogue::bleepCodesUseOneUpperCaseHexDigit()
{
    const QStringList entries = ChoiceEntries(ChoiceList::BleepCode);
    const QString digits = QStringLiteral("0123456789ABCDEF");
    for (int k = 0; k < 16; ++k)
        QCOMPARE(entries.at(k), QStringLiteral("BleepCode: ") + digits.at(k));
    QVERIFY(ChoiceEntries(ChoiceList::None).isEmpty());
}

void TestCatalogue::legendsAreLetterForLetter_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("legend");
    QTest::addColumn<bool>("shown");

    QTest::newRow("0") << 0 << "Diagnostic level:" << true;
    QTest::newRow("1 hidden") << 1 << "Diagnose Level:" << false;
    QTest::newRow("4 hidden") << 4 << "Diagnose Level:" << false;
    QTest::newRow("5") << 5 << "ESPA out max address length:" << true;
    QTest::newRow("6 hidden") << 6 << "Diagnose Level:" << false;
    QTest::newRow("7") << 7 << "ESPA out max text length:" << true;
    QTest::newRow("8 hidden") << 8 << "Diagnose Level:" << false;
    QTest::newRow("9 hidden") << 9 << "Diagnose Level:" << false;
    QTest::newRow("15") << 15 << "ESPA out poll watch alarm:" << true;
    QTest::newRow("17") << 17 << "ESPA out tx-data delay:" << true;
    QTest::newRow("18") << 18 << "Paging fixed info (BOSCH):" << true;
    QTest::newRow("19") << 19 << "Paging Info voor Alfa (BOSCH):" << true;
    QTest::newRow("25") << 25 << "ESPA in pollwatch timer (1sec):" << true;
    QTest::newRow("26") << 26 << "ESPA in status request response:" << true;
    QTest::newRow("28 hidden") << 28 << "Diagnose Level:" << false;
    QTest::newRow("29 hidden") << 29 << "Diagnose Level:" << false;
    QTest::newRow("30 mirrors 20") << 30 << "ESPA in serial speed:" << true;
    QTest::newRow("37 mirrors 27") << 37 << "ESPA in tx-data delay:" << true;
    QTest::newRow("38 hidden") << 38 << "Diagnose Level:" << false;
    QTest::newRow("39 hidden") << 39 << "Diagnose Level:" << false;
    QTest::newRow("40 heading") << 40 << "BleepCode  " << true;
    QTest::newRow("41") << 41 << "BleepCode Entry 2" << true;
    QTest::newRow("78") << 78 << "BleepCode Entry 39" << true;
    QTest::newRow("100") << 100 << "Niet in gebruik." << true;
    QTest::newRow("101") << 101 << "Int instelling 1" << true;
    QTest::newRow("104") << 104 << "Int instelling 1" << true;
    QTest::newRow("105 heading") << 105 << "EventNr" << true;
    QTest::newRow("106") << 106 << "EventId 2" << true;
    QTest::newRow("143") << 143 << "EventId 39" << true;
    QTest::newRow("150 hidden") << 150 << "Op te roepen pager bij ComStoring BMC:" << false;
    QTest::newRow("154") << 154 << "Op te roepen pager bij ComStoring BMC:" << true;
    QTest::newRow("155 heading") << 155 << "Pager-adres  " << true;
    QTest::newRow("156") << 156 << "PagerAdres 2" << true;
    QTest::newRow("193") << 193 << "PagerAdres 39" << true;
    QTest::newRow("194 heading") << 194 << "Vaste voorlooptekst  " << true;
    QTest::newRow("195") << 195 << "Vaste voorlooptekst 2" << true;
    QTest::newRow("232") << 232 << "Vaste voorlooptekst 39" << true;
}

void TestCatalogue::legendsAreLetterForLetter()
{
    QFETCH(int, item);
    QFETCH(QString, legend);
    QFETCH(bool, shown);

    HeadlessScreen screen;
    QCOMPARE(screen.legendText(item), legend);
    QCOMPARE(screen.legendShown(item), shown);
    QCOMPARE(CatalogueEntry(item)->item, item);
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

void TestCatalogue::buildScreenFillsEachItemWithItsList_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");

    QTest::newRow("0") << 0 << 4 << "Protocol debug info";
    QTest::newRow("1 not in use") << 1 << 0 << "";
    QTest::newRow("5") << 5 << 11 << "Address length: 10 digits";
    QTest::newRow("7") << 7 << 151 << "Length: 150 characters";
    QTest::newRow("15 refilled") << 15 << 60 << "Espa-Out Poll Watchdog 59 sec";
    QTest::newRow("16") << 16 << 2 << "No request for status (Fire and forget)";
    QTest::newRow("17 refilled") << 17 << 10 << "90 milliseconcs delay";
    QTest::newRow("18 not in use") << 18 << 0 << "";
    QTest::newRow("25 refilled") << 25 << 60 << "Espa-In Poll Watchdog 59 sec";
    QTest::newRow("26") << 26 << 6 << "non-standard, tbd";
    QTest::newRow("34") << 34 << 3 << "CTS/RTS HandShake";
    QTest::newRow("35 refilled") << 35 << 60 << "Espa-In Poll Watchdog 59 sec";
    QTest::newRow("37 refilled") << 37 << 10 << "90 milliseconcs delay";
    QTest::newRow("39 not in use") << 39 << 0 << "";
    QTest::newRow("40") << 40 << 16 << "BleepCode: F";
    QTest::newRow("78") << 78 << 16 << "BleepCode: F";
    QTest::newRow("test call") << CTRL_TEST_BLEEP << 16 << "BleepCode: F";
}

void TestCatalogue::buildScreenFillsEachItemWithItsList()
{
    QFETCH(int, item);
    QFETCH(int, count);
    QFETCH(QString, last);

    HeadlessScreen screen;
    // Entries left from before must go, so start from a list that is not empty.
    screen.appendChoice(item, QStringLiteral("stale"));
    BuildScreen(screen);
    QCOMPARE(screen.choiceCount(item), count);
    if (count > 0) {
        QCOMPARE(screen.choiceText(item, count - 1), last);
        QVERIFY(!screen.choices(item).contains(QStringLiteral("stale")));
    }
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
