#include "settings/SettingsTable.h"

#include <QTest>

Q_DECLARE_METATYPE(ItemKind)

namespace {

bool isInt16(const Value &v, int expected)
{
    return v.kind() == Value::Kind::Int16 && v.asInt16() == qint16(expected);
}

} // namespace

class TestSettingsTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kindOfItemFollowsTheItemNumber_data();
    void kindOfItemFollowsTheItemNumber();
    void isBulkItemHoldsExactlyTheTwentySevenItems();
    void choiceLimitMatchesTheTable_data();
    void choiceLimitMatchesTheTable();
    void aNewTableHoldsMinusOneAndNoJobs();
    void resetSettingValuesTouchesOnlySettingValue();
    void forgetUnitValuesTouchesOnlyUnitValue();
    void clearSettingJobsClearsEveryJob();
    void fileToSettingsCopiesEverySlotIncludingEmptyOnes();
    void settingsToFileCopiesEverySlot();
};

void TestSettingsTable::kindOfItemFollowsTheItemNumber_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<ItemKind>("kind");

    QTest::newRow("-1") << -1 << ItemKind::Invalid;
    QTest::newRow("0") << 0 << ItemKind::Char;
    QTest::newRow("78") << 78 << ItemKind::Char;
    QTest::newRow("79") << 79 << ItemKind::CharNoControl;
    QTest::newRow("99") << 99 << ItemKind::CharNoControl;
    QTest::newRow("100") << 100 << ItemKind::Int;
    QTest::newRow("143") << 143 << ItemKind::Int;
    QTest::newRow("144") << 144 << ItemKind::IntNoControl;
    QTest::newRow("149") << 149 << ItemKind::IntNoControl;
    QTest::newRow("150") << 150 << ItemKind::Tekst;
    QTest::newRow("232") << 232 << ItemKind::Tekst;
    QTest::newRow("233") << 233 << ItemKind::TekstNoControl;
    QTest::newRow("249") << 249 << ItemKind::TekstNoControl;
    QTest::newRow("250") << 250 << ItemKind::Spare;
    QTest::newRow("251") << 251 << ItemKind::Invalid;
    QTest::newRow("32767") << 32767 << ItemKind::Invalid;
}

void TestSettingsTable::kindOfItemFollowsTheItemNumber()
{
    QFETCH(int, item);
    QFETCH(ItemKind, kind);
    QCOMPARE(KindOfItem(item), kind);
}

void TestSettingsTable::isBulkItemHoldsExactlyTheTwentySevenItems()
{
    const QList<int> expected = {0,  5,  7,  10, 11, 12, 13, 14, 15, 16, 17, 20, 21, 22,
                                 23, 24, 25, 26, 27, 30, 31, 32, 33, 34, 35, 36, 37};
    QList<int> found;
    for (int item = -300; item <= 300; ++item) {
        if (IsBulkItem(item))
            found << item;
    }
    QCOMPARE(found, expected);
    QCOMPARE(found.size(), 27);
}

void TestSettingsTable::choiceLimitMatchesTheTable_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("limit");

    QTest::newRow("general settings") << 0 << 4;
    QTest::newRow("address length") << 5 << 10;
    QTest::newRow("text length") << 7 << 150;
    const char *const lines[] = {"ESPA out", "ESPA in 1", "ESPA in 2"};
    for (int line = 0; line < 3; ++line) {
        const int base = 10 * (line + 1);
        const char *name = lines[line];
        QTest::addRow("%s speed", name) << base << 5;
        QTest::addRow("%s bits", name) << base + 1 << 2;
        QTest::addRow("%s stop bits", name) << base + 2 << 2;
        QTest::addRow("%s parity", name) << base + 3 << 3;
        QTest::addRow("%s handshake", name) << base + 4 << 3;
        QTest::addRow("%s poll watch", name) << base + 5 << 60;
        QTest::addRow("%s tx-data delay", name) << base + 7 << 10;
    }
    QTest::newRow("ESPA out request for status") << 16 << 2;
    QTest::newRow("ESPA in 1 status response") << 26 << 6;
    QTest::newRow("ESPA in 2 status response") << 36 << 6;

    for (int item : {-1, 1, 4, 6, 8, 9, 18, 19, 28, 38, 40, 78, 100, 150, 250, 251})
        QTest::addRow("no limit for %d", item) << item << -1;
}

void TestSettingsTable::choiceLimitMatchesTheTable()
{
    QFETCH(int, item);
    QFETCH(int, limit);
    QCOMPARE(ChoiceLimit(item), limit);
}

void TestSettingsTable::aNewTableHoldsMinusOneAndNoJobs()
{
    const SettingsTable table;
    for (int item = 0; item < ItemSlots; ++item) {
        QVERIFY2(isInt16(table.SettingValue[item], -1), qPrintable(QString::number(item)));
        QVERIFY2(isInt16(table.UnitValue[item], -1), qPrintable(QString::number(item)));
        QVERIFY2(table.FileValue[item].isEmpty(), qPrintable(QString::number(item)));
        QCOMPARE(table.SettingJob[item], JOB_NONE);
    }
}

void TestSettingsTable::resetSettingValuesTouchesOnlySettingValue()
{
    SettingsTable table;
    for (int item = 0; item < ItemSlots; ++item) {
        table.SettingValue[item] = Value::text("x");
        table.UnitValue[item] = Value::number(3);
        table.FileValue[item] = Value::text("f");
        table.SettingJob[item] = JOB_READ;
    }
    table.ResetSettingValues();
    for (int item = 0; item < ItemSlots; ++item) {
        QVERIFY(isInt16(table.SettingValue[item], -1));
        QCOMPARE(table.UnitValue[item].asText(), QStringLiteral("3"));
        QCOMPARE(table.FileValue[item].asText(), QStringLiteral("f"));
        QCOMPARE(table.SettingJob[item], JOB_READ);
    }
}

void TestSettingsTable::forgetUnitValuesTouchesOnlyUnitValue()
{
    SettingsTable table;
    for (int item = 0; item < ItemSlots; ++item) {
        table.SettingValue[item] = Value::text("s");
        table.UnitValue[item] = Value::text("u");
        table.SettingJob[item] = JOB_WRITE;
    }
    table.ForgetUnitValues();
    for (int item = 0; item < ItemSlots; ++item) {
        QVERIFY(isInt16(table.UnitValue[item], -1));
        QCOMPARE(table.SettingValue[item].asText(), QStringLiteral("s"));
        QCOMPARE(table.SettingJob[item], JOB_WRITE);
    }
}

void TestSettingsTable::clearSettingJobsClearsEveryJob()
{
    SettingsTable table;
    table.SettingJob[0] = JOB_READ;
    table.SettingJob[37] = JOB_WRITE;
    table.SettingJob[250] = JOB_WRITE;
    table.SettingValue[37] = Value::int16(2);
    table.ClearSettingJobs();
    for (int item = 0; item < ItemSlots; ++item)
        QCOMPARE(table.SettingJob[item], JOB_NONE);
    QVERIFY(isInt16(table.SettingValue[37], 2));
}

void TestSettingsTable::fileToSettingsCopiesEverySlotIncludingEmptyOnes()
{
    SettingsTable table;
    table.FileValue[3] = Value::number(2);
    table.FileValue[150] = Value::text("  Dunvale");
    table.FileValue[250] = Value::text("spare");
    table.SettingValue[4] = Value::int16(7);
    table.UnitValue[3] = Value::int16(5);

    table.FileToSettings();

    QCOMPARE(table.SettingValue[3].kind(), Value::Kind::Double);
    QCOMPARE(table.SettingValue[3].asNumber(), 2.0);
    QCOMPARE(table.SettingValue[150].asText(), QStringLiteral("  Dunvale"));
    QCOMPARE(table.SettingValue[250].asText(), QStringLiteral("spare"));
    // Slots the file staging left empty become empty, not -1.
    QVERIFY(table.SettingValue[0].isEmpty());
    QVERIFY(table.SettingValue[4].isEmpty());
    QVERIFY(table.SettingValue[249].isEmpty());
    QVERIFY(isInt16(table.UnitValue[3], 5));
    QCOMPARE(table.FileValue[150].asText(), QStringLiteral("  Dunvale"));
}

void TestSettingsTable::settingsToFileCopiesEverySlot()
{
    SettingsTable table;
    table.SettingValue[0] = Value::int16(2);
    table.SettingValue[120] = Value::number(12.6);
    table.SettingValue[233] = Value::text("");
    table.SettingValue[240] = Value();
    table.FileValue[5] = Value::text("stale");

    table.SettingsToFile();

    QVERIFY(isInt16(table.FileValue[0], 2));
    QCOMPARE(table.FileValue[120].kind(), Value::Kind::Double);
    QCOMPARE(table.FileValue[120].asText(), QStringLiteral("12.6"));
    QCOMPARE(table.FileValue[233].kind(), Value::Kind::Text);
    QVERIFY(table.FileValue[240].isEmpty());
    QVERIFY(isInt16(table.FileValue[5], -1));
    QVERIFY(isInt16(table.FileValue[250], -1));
}

QTEST_GUILESS_MAIN(TestSettingsTable)
#include "tst_settingstable.moc"
