#include "app/SettingsFileCheck.h"
#include "base/Globals.h"
#include "screen/Catalogue.h"
#include "screen/HeadlessScreen.h"
#include "screen/ScreenTransfer.h"
#include "settings/SettingsFiles.h"
#include "settings/SettingsHistory.h"
#include "settings/SettingsTable.h"
#include "support/FileBytes.h"
#include "support/FileSizeLimit.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <map>

namespace {

// The settings table, screen and files of a program that has just started in an
// empty program folder: the table reset, the screen built, the default file read.
struct Rig
{
    QTemporaryDir home;
    Globals globals;
    SettingsTable table;
    HeadlessScreen screen;
    ScriptedDialogs dialogs;
    ScreenTransfer transfer{table, screen};
    SettingsFiles files{globals, table, transfer, dialogs};

    Rig()
    {
        globals.ProgramFolder = home.path();
        table.ResetSettingValues();
        BuildScreen(screen);
        files.ReadDefaultFile();
    }
    QString path(const QString &name) const { return home.filePath(name); }
};

// The 27 CHAR items of the visible tabs, each with a choice list and a ChoiceLimit.
const QList<int> BulkItems = {0,  5,  7,  10, 11, 12, 13, 14, 15, 16, 17, 20, 21, 22,
                              23, 24, 25, 26, 27, 30, 31, 32, 33, 34, 35, 36, 37};

// What a save right after a start without a default file holds, item by item:
// every number 0, except the bleep codes 40..78, which are in use but have no
// ChoiceLimit, so nothing ever selects one of their entries and the save takes their
// "no selection" (-1) back; every text empty.
std::map<int, QByteArray> StartValues()
{
    std::map<int, QByteArray> values;
    for (int item = 0; item < 250; ++item) {
        if (item >= 150)
            values[item] = "";
        else if (item >= 40 && item <= 78)
            values[item] = "-1";
        else
            values[item] = "0";
    }
    return values;
}

// A whole file in the written format: "<item>    -><value>" CR LF for 0..249.
QByteArray FileBytes(const std::map<int, QByteArray> &values)
{
    QByteArray bytes;
    for (const auto &[item, value] : values)
        bytes += QByteArray::number(item) + "    ->" + value + "\r\n";
    return bytes;
}

QByteArray FileBytes(std::map<int, QByteArray> values, const std::map<int, QByteArray> &changes)
{
    for (const auto &[item, value] : changes)
        values[item] = value;
    return FileBytes(values);
}

// The value part of one item's line in a written file.
QByteArray LineValue(const QByteArray &file, int item)
{
    const QByteArray prefix = QByteArray::number(item) + "    ->";
    qsizetype at = 0;
    if (file.startsWith(prefix)) {
        at = prefix.size();
    } else {
        at = file.indexOf("\r\n" + prefix);
        if (at < 0)
            return "<no line>";
        at += 2 + prefix.size();
    }
    return file.mid(at, file.indexOf("\r\n", at) - at);
}

// Everything a failed read must leave alone: the working values, the converter's
// values and what every setting control shows.
QStringList StateOf(const Rig &rig)
{
    QStringList state;
    for (int item = 0; item < ItemSlots; ++item) {
        state << QStringLiteral("S%1 %2 %3")
                     .arg(item)
                     .arg(int(rig.table.SettingValue[item].kind()))
                     .arg(rig.table.SettingValue[item].asText());
        state << QStringLiteral("U%1 %2 %3")
                     .arg(item)
                     .arg(int(rig.table.UnitValue[item].kind()))
                     .arg(rig.table.UnitValue[item].asText());
        if (Screen::hasSettingControl(item)) {
            state << QStringLiteral("C%1 %2 %3")
                         .arg(item)
                         .arg(rig.screen.selectedIndex(item))
                         .arg(rig.screen.valueText(item));
        }
    }
    return state;
}

// Child-process mode: saves two different tables in turn, as fast as it can, and
// reports every finished save on stdout, until it is killed.
int SaveLoop(const QString &path)
{
    Rig rig;
    rig.home.remove(); // a killed process cannot clean up after itself
    for (int round = 0;; ++round) {
        const QString text(2000, round % 2 ? QLatin1Char('B') : QLatin1Char('A'));
        for (int item = 151; item <= 232; ++item)
            rig.screen.setValueText(item, text);
        if (!rig.files.WriteSettingsFile(path))
            return 1;
        std::fputs("saved\n", stdout);
        std::fflush(stdout);
    }
}

} // namespace

class TestSettingsFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void saveRightAfterStartWithoutDefaultFileHoldsTheStartTable();
    void missingDefaultFileGivesZeroAndEmptyWithoutMessage();
    void defaultFileIsReadBackFromTheProgramFolder();
    void defaultFileThatCannotBeAppliedFallsBackToZeroAndEmpty();
    void loadFollowsTheReadingRules_data();
    void loadFollowsTheReadingRules();
    void loadReplacesTypedValuesAndForgetsConverterValues();
    void valuesRoundTripThroughSaveAndLoad_data();
    void valuesRoundTripThroughSaveAndLoad();
    void everyByteValueButLineFeedSurvivesLoadAndSave();
    void savingTwiceGivesIdenticalBytes();
    void userFileThatCannotBeReadChangesNothing_data();
    void userFileThatCannotBeReadChangesNothing();
    void hostileFilesLoadInOnePass_data();
    void hostileFilesLoadInOnePass();
    void emptyPathDoesNothing();
    void failedWriteShowsErrorAndKeepsOldFile_data();
    void failedWriteShowsErrorAndKeepsOldFile();
    void killedSaveLeavesEitherOldOrNewFile();
    void fileIsCheckedBeforeAToolWithoutWindowUsesIt_data();
    void fileIsCheckedBeforeAToolWithoutWindowUsesIt();
    void snapshotNamesHoldThePortSafely_data();
    void snapshotNamesHoldThePortSafely();
    void historyKeepsTheFirstAndTheNewest();
};

void TestSettingsFiles::saveRightAfterStartWithoutDefaultFileHoldsTheStartTable()
{
    Rig rig;
    QVERIFY(rig.dialogs.boxes.isEmpty());

    // The reasoning behind the expected file, checked on the screen itself: a bulk
    // item shows its first choice; a bleep-code item is in use with 16 entries but
    // none selected; an item not in use has no list.
    QCOMPARE(rig.screen.selectedIndex(15), 0);
    QVERIFY(rig.screen.inUse(40));
    QCOMPARE(rig.screen.choiceCount(40), 16);
    QCOMPARE(rig.screen.selectedIndex(40), -1);
    QVERIFY(!rig.screen.inUse(1));
    QVERIFY(!rig.screen.inUse(150));

    QVERIFY(rig.files.WriteDefaultFile());
    QCOMPARE(rig.files.defaultFilePath(), rig.home.path() + "/default.set");
    const QByteArray written = ReadAll(rig.home.path() + "/default.set");

    QVERIFY(written.startsWith("0    ->0\r\n1    ->0\r\n2    ->0\r\n"));
    QVERIFY(written.contains("\r\n39    ->0\r\n40    ->-1\r\n"));
    QVERIFY(written.contains("\r\n78    ->-1\r\n79    ->0\r\n"));
    QVERIFY(written.contains("\r\n149    ->0\r\n150    ->\r\n151    ->\r\n"));
    QVERIFY(written.endsWith("\r\n249    ->\r\n"));
    QCOMPARE(written.count("\r\n"), 250);
    for (int item : BulkItems)
        QCOMPARE(LineValue(written, item), QByteArray("0"));
    QCOMPARE(written, FileBytes(StartValues()));

    // The save took the screen into the table.
    QCOMPARE(rig.table.SettingValue[40].asText(), QString("-1"));
    QCOMPARE(rig.table.SettingValue[0].asText(), QString("0"));
}

void TestSettingsFiles::missingDefaultFileGivesZeroAndEmptyWithoutMessage()
{
    Rig rig;
    QVERIFY(WriteAll(rig.path("some.cfg"), "15    ->30\r\n80    ->7\r\n200    ->x\r\n"));
    QVERIFY(rig.files.ReadSettingsFile(rig.path("some.cfg")));
    QCOMPARE(rig.table.SettingValue[80].asText(), QString("7"));

    QVERIFY(!rig.files.ReadDefaultFile());
    QVERIFY(rig.dialogs.boxes.isEmpty());
    for (int item = 0; item < 250; ++item) {
        const Value &v = rig.table.SettingValue[item];
        if (item < 150)
            QVERIFY2(v.isNumber() && v.asText() == "0", qPrintable(QString::number(item)));
        else
            QVERIFY2(v.isText() && v.asText().isEmpty(), qPrintable(QString::number(item)));
    }
    QCOMPARE(rig.screen.selectedIndex(15), 0);
    QCOMPARE(rig.screen.valueText(200), QString());
}

void TestSettingsFiles::defaultFileIsReadBackFromTheProgramFolder()
{
    Rig rig;
    rig.screen.setSelectedIndex(13, 2);
    rig.screen.setValueText(120, "77");
    rig.screen.setValueText(160, "pager 1");
    QVERIFY(rig.files.WriteDefaultFile());
    QVERIFY(QFile::exists(rig.home.filePath("default.set")));

    rig.screen.setSelectedIndex(13, 0);
    rig.screen.setValueText(120, "");
    rig.screen.setValueText(160, "");
    QVERIFY(rig.files.ReadDefaultFile());
    QCOMPARE(rig.screen.selectedIndex(13), 2);
    QCOMPARE(rig.screen.valueText(120), QString("77"));
    QCOMPARE(rig.screen.valueText(160), QString("pager 1"));
    QVERIFY(rig.dialogs.boxes.isEmpty());
}

void TestSettingsFiles::defaultFileThatCannotBeAppliedFallsBackToZeroAndEmpty()
{
    Rig rig;
    QVERIFY(WriteAll(rig.path("some.cfg"), "15    ->30\r\n200    ->x\r\n"));
    QVERIFY(rig.files.ReadSettingsFile(rig.path("some.cfg")));
    QVERIFY(WriteAll(rig.path("default.set"), "13    ->2\r\n16    ->1e999\r\n"));

    QVERIFY(!rig.files.ReadDefaultFile());
    QCOMPARE(rig.dialogs.boxes.size(), 1);
    QCOMPARE(rig.dialogs.boxes[0].text, QString("Error reading setup-file"));
    QCOMPARE(rig.dialogs.boxes[0].title, QString("Kestrum by Brivane"));
    QCOMPARE(rig.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    // Nothing of the damaged file is taken, not even its good lines.
    QCOMPARE(rig.table.SettingValue[13].asText(), QString("0"));
    QCOMPARE(rig.table.SettingValue[15].asText(), QString("0"));
    QCOMPARE(rig.table.SettingValue[200].asText(), QString());
    QCOMPARE(rig.screen.selectedIndex(15), 0);
}

void TestSettingsFiles::loadFollowsTheReadingRules_data()
{
    QTest::addColumn<QByteArray>("file");
    // Items whose value differs from the 0 or "" of an item the file lacks; each is
    // checked as a number (items below 150) or as an exact text.
    QTest::addColumn<QVariantMap>("expected");

    auto row = [](const char *name, const QByteArray &file, const QVariantMap &expected) {
        QTest::newRow(name) << file << expected;
    };
    row("one line for item 15", "15    ->30\r\n", {{"15", "30"}});
    row("line ends without CR", "15    ->30\n16    ->1\n", {{"15", "30"}, {"16", "1"}});
    row("last line without line end", "15    ->30", {{"15", "30"}});
    row("empty lines are skipped", "\r\n\r\n15    ->30\r\n\r\n\n16    ->1\r\n",
        {{"15", "30"}, {"16", "1"}});
    row("commas and a further arrow stay in the text", "150    ->a,b->c, d\r\n",
        {{"150", "a,b->c, d"}});
    row("two leading blanks stay in the text", "151    ->  x\r\n", {{"151", "  x"}});
    row("trailing blanks stay in the text", "151    ->x  \r\n", {{"151", "x  "}});
    row("blanks before a number are passed over", "15    ->   30\r\n", {{"15", "30"}});
    row("the last of two lines for item 5 wins", "5    ->1\r\n5    ->3\r\n", {{"5", "3"}});
    row("items 250 and 300 are ignored", "250    ->7\r\n300    ->8\r\n", {});
    row("a line starting with a word counts as item 0", "abc    ->2\r\n", {{"0", "2"}});
    row("one digit and three blanks", "7   ->5\r\n", {{"7", "5"}});
    row("three digits and one blank", "151 ->abc\r\n", {{"151", "abc"}});
    row("blanks between digits are ignored", "1 5 ->4\r\n", {{"15", "4"}});
    row("only the first four characters hold the number", "1234    ->5\r\n12345->6\r\n", {});
    row("a negative item number is ignored", "-1  ->5\r\n", {});
    row("a fractional item number rounds half to even", "4.5 ->9\r\n2.5 ->8\r\n",
        {{"4", "9"}, {"2", "8"}});
    row("an item number too large for 16 bits is ignored", "9e99->5\r\n", {});
    row("a line without arrow takes the previous line's value",
        "20    ->3\r\n151    ->abc\r\n152 nothing\r\n",
        {{"20", "3"}, {"151", "abc"}, {"152", "abc"}});
    row("a value taken from a line of an ignored item", "300    ->4\r\n21 x\r\n", {{"21", "4"}});
    row("a line without arrow before any arrow gives empty", "22 x\r\n23    ->1\r\n",
        {{"23", "1"}});
    row("a line without arrow after an empty value gives empty", "22    ->1\r\n23    ->\r\n22\r\n",
        {});
    row("a CR inside a line stays in the text", "151    ->a\rb\r\n", {{"151", "a\rb"}});
    row("only one CR ends a line", "151    ->ab\r\r\n", {{"151", "ab\r"}});
    row("Latin-1 bytes", "151    ->\xe9t\xe9 \xff\r\n",
        {{"151", QString::fromLatin1("\xe9t\xe9 \xff")}});
    row("a negative number", "15    ->-1\r\n", {{"15", "-1"}});
    row("a number with a fraction is kept for an item without control", "80    ->2.75\r\n",
        {{"80", "2.75"}});
    row("a value with text after its number reads the number", "81    ->12abc\r\n", {{"81", "12"}});
    row("a word as value of a number item gives 0", "82    ->abc\r\n", {});
    row("a text item with a number stays a text", "240    ->007\r\n", {{"240", "007"}});
    row("the button table", "40    ->3\r\n105    ->12\r\n155    ->1234\r\n194    ->FIRE\r\n",
        {{"40", "3"}, {"105", "12"}, {"155", "1234"}, {"194", "FIRE"}});
}

void TestSettingsFiles::loadFollowsTheReadingRules()
{
    QFETCH(QByteArray, file);
    QFETCH(QVariantMap, expected);

    Rig rig;
    // Values that every load must replace.
    for (int item = 0; item < 250; ++item)
        rig.table.SettingValue[item] = Value::text("stale");
    QVERIFY(WriteAll(rig.path("in.cfg"), file));
    QVERIFY(rig.files.ReadSettingsFile(rig.path("in.cfg")));
    QVERIFY(rig.dialogs.boxes.isEmpty());

    for (int item = 0; item < 250; ++item) {
        const Value &v = rig.table.SettingValue[item];
        const QString want = expected.value(QString::number(item)).toString();
        const QByteArray where = "item " + QByteArray::number(item);
        if (item < 150) {
            QVERIFY2(v.isNumber(), where.constData());
            QCOMPARE(v.asText(), want.isEmpty() ? QString("0") : want);
        } else {
            QVERIFY2(v.isText(), where.constData());
            QCOMPARE(v.asText(), want);
        }
    }
    // A line for item 250 never reaches the spare slot.
    QVERIFY(rig.table.SettingValue[250].asText() != "7");
}

void TestSettingsFiles::loadReplacesTypedValuesAndForgetsConverterValues()
{
    Rig rig;
    for (int item = 0; item < ItemSlots; ++item)
        rig.table.UnitValue[item] = Value::int16(qint16(item % 5));
    rig.screen.typeText(151, "typed");
    rig.screen.typeText(120, "55");
    rig.screen.setSelectedIndex(13, 1);

    QVERIFY(WriteAll(rig.path("in.cfg"), "13    ->2\r\n151    ->from file\r\n"));
    QVERIFY(rig.files.ReadSettingsFile(rig.path("in.cfg")));

    for (int item = 0; item < ItemSlots; ++item)
        QCOMPARE(rig.table.UnitValue[item].asText(), QString("-1"));
    QCOMPARE(rig.screen.valueText(151), QString("from file"));
    QCOMPARE(rig.screen.valueText(120), QString());
    QCOMPARE(rig.screen.selectedIndex(13), 2);
    QCOMPARE(rig.table.FileValue[151].asText(), QString("from file"));
}

void TestSettingsFiles::valuesRoundTripThroughSaveAndLoad_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("putInto"); // a control given a text before the save, or -1
    QTest::addColumn<QString>("putText");
    QTest::addColumn<int>("item");
    QTest::addColumn<QByteArray>("written"); // the value part of the item's line
    QTest::addColumn<QString>("reloaded");   // the item's value after loading the save

    const QByteArray text300 = QByteArray("0123456789,-> ").repeated(22).left(300);
    QTest::newRow("no choice selected keeps its minus sign")
        << QByteArray("15    ->-1\r\n") << -1 << QString() << 15 << QByteArray("-1") << "-1";
    QTest::newRow("negative number typed into an INT box")
        << QByteArray() << 105 << "-12" << 105 << QByteArray("-12") << "-12";
    QTest::newRow("negative number of an item without control")
        << QByteArray("144    ->-300\r\n") << -1 << QString() << 144 << QByteArray("-300")
        << "-300";
    QTest::newRow("half rounds down to even")
        << QByteArray("144    ->2.5\r\n") << -1 << QString() << 144 << QByteArray("2") << "2";
    QTest::newRow("half rounds up to even")
        << QByteArray("145    ->3.5\r\n") << -1 << QString() << 145 << QByteArray("4") << "4";
    QTest::newRow("largest 16-bit number") << QByteArray("80    ->32767\r\n") << -1 << QString()
                                           << 80 << QByteArray("32767") << "32767";
    QTest::newRow("smallest 16-bit number") << QByteArray("81    ->-32768\r\n") << -1 << QString()
                                            << 81 << QByteArray("-32768") << "-32768";
    QTest::newRow("number beyond 16 bits is written as 0")
        << QByteArray("80    ->40000\r\n") << -1 << QString() << 80 << QByteArray("0") << "0";
    QTest::newRow("number typed beyond 16 bits is written as 0")
        << QByteArray() << 110 << "99999" << 110 << QByteArray("0") << "0";
    QTest::newRow("chosen entry 10 of item 5")
        << QByteArray("5    ->10\r\n") << -1 << QString() << 5 << QByteArray("0") << "0";
    QTest::newRow("300-character text")
        << QByteArray("151    ->" + text300 + "\r\n") << -1 << QString() << 151 << text300
        << QString::fromLatin1(text300);
    QTest::newRow("text of an item without control")
        << QByteArray("240    ->some text\r\n") << -1 << QString() << 240 << QByteArray("some text")
        << "some text";
    QTest::newRow("text of an item not in use is dropped")
        << QByteArray("150    ->a,b->c\r\n") << -1 << QString() << 150 << QByteArray() << "";
    QTest::newRow("text ending in CR") << QByteArray("151    ->ab\r\r\n") << -1 << QString() << 151
                                       << QByteArray("ab\r") << "ab\r";
    QTest::newRow("LF inside a text is written as a blank")
        << QByteArray() << 152 << "ab\ncd" << 152 << QByteArray("ab cd") << "ab cd";
    QTest::newRow("character outside Latin-1 is written as a question mark")
        << QByteArray() << 153 << QString::fromUtf8("a\u20acb") << 153 << QByteArray("a?b")
        << "a?b";
}

void TestSettingsFiles::valuesRoundTripThroughSaveAndLoad()
{
    QFETCH(QByteArray, file);
    QFETCH(int, putInto);
    QFETCH(QString, putText);
    QFETCH(int, item);
    QFETCH(QByteArray, written);
    QFETCH(QString, reloaded);

    Rig rig;
    QVERIFY(WriteAll(rig.path("in.cfg"), file));
    QVERIFY(rig.files.ReadSettingsFile(rig.path("in.cfg")));
    if (putInto >= 0)
        rig.screen.setValueText(putInto, putText);

    QVERIFY(rig.files.WriteSettingsFile(rig.path("out.cfg")));
    const QByteArray bytes = ReadAll(rig.path("out.cfg"));
    QCOMPARE(LineValue(bytes, item), written);
    QCOMPARE(bytes.count("\r\n"), 250);

    QVERIFY(rig.files.ReadSettingsFile(rig.path("out.cfg")));
    QCOMPARE(rig.table.SettingValue[item].asText(), reloaded);
    QVERIFY(rig.dialogs.boxes.isEmpty());
}

void TestSettingsFiles::everyByteValueButLineFeedSurvivesLoadAndSave()
{
    QByteArray value;
    for (int byte = 0; byte < 256; ++byte) {
        if (byte != '\n')
            value += char(byte);
    }
    value += 'x'; // so the CR inside is not the last character

    Rig rig;
    QVERIFY(WriteAll(rig.path("in.cfg"), "151    ->" + value + "\r\n240    ->" + value + "\r\n"));
    QVERIFY(rig.files.ReadSettingsFile(rig.path("in.cfg")));
    QCOMPARE(rig.table.SettingValue[151].asText(), QString::fromLatin1(value));
    QCOMPARE(rig.screen.valueText(151), QString::fromLatin1(value));

    QVERIFY(rig.files.WriteSettingsFile(rig.path("out.cfg")));
    const QByteArray bytes = ReadAll(rig.path("out.cfg"));
    QVERIFY(bytes.contains("\r\n151    ->" + value + "\r\n152    ->\r\n"));
    QVERIFY(bytes.contains("\r\n240    ->" + value + "\r\n241    ->\r\n"));
}

void TestSettingsFiles::savingTwiceGivesIdenticalBytes()
{
    Rig rig;
    QVERIFY(WriteAll(rig.path("in.cfg"), "0    ->2\r\n15    ->-1\r\n40    ->3\r\n80    ->2.5\r\n"
                                         "105    ->17\r\n151    -> a,b \r\n240    ->z\r\n"));
    QVERIFY(rig.files.ReadSettingsFile(rig.path("in.cfg")));
    QVERIFY(rig.files.WriteSettingsFile(rig.path("a.cfg")));
    QVERIFY(rig.files.WriteSettingsFile(rig.path("b.cfg")));
    const QByteArray first = ReadAll(rig.path("a.cfg"));
    QCOMPARE(ReadAll(rig.path("b.cfg")), first);
    QVERIFY(rig.files.WriteSettingsFile(rig.path("a.cfg")));
    QCOMPARE(ReadAll(rig.path("a.cfg")), first);

    // Loading the save and saving again changes nothing either.
    QVERIFY(rig.files.ReadSettingsFile(rig.path("a.cfg")));
    QVERIFY(rig.files.WriteSettingsFile(rig.path("c.cfg")));
    QCOMPARE(ReadAll(rig.path("c.cfg")), first);
    QCOMPARE(first, FileBytes(StartValues(), {{0, "2"},
                                              {15, "-1"},
                                              {40, "-1"},
                                              {80, "2"},
                                              {105, "17"},
                                              {151, " a,b "},
                                              {240, "z"}}));
}

void TestSettingsFiles::userFileThatCannotBeReadChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // written as the file unless empty
    QTest::addColumn<bool>("directory");     // the name is a folder instead

    QTest::newRow("a missing file") << "missing.cfg" << QByteArray() << false;
    QTest::newRow("a directory") << "folder.cfg" << QByteArray() << true;
    QTest::newRow("a number too large for a floating-point number")
        << "big.cfg" << QByteArray("13    ->1\r\n15    ->1e999\r\n") << false;
    QTest::newRow("a negative number too large")
        << "big.cfg" << QByteArray("105    ->-2e400\r\n") << false;
    QTest::newRow("a line longer than any settings line can be")
        << "long.cfg" << QByteArray("13    ->1\r\n151    ->" + QByteArray(33 << 20, 'x')) << false;
}

void TestSettingsFiles::userFileThatCannotBeReadChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, directory);

    Rig rig;
    QVERIFY(WriteAll(rig.path("good.cfg"), "13    ->2\r\n120    ->5\r\n151    ->good\r\n"));
    QVERIFY(rig.files.ReadSettingsFile(rig.path("good.cfg")));
    rig.table.UnitValue[13] = Value::int16(2);
    rig.table.UnitValue[151] = Value::text("unit");
    rig.screen.typeText(152, "typed");
    const QStringList before = StateOf(rig);

    if (directory)
        QVERIFY(QDir(rig.home.path()).mkdir(name));
    else if (!content.isEmpty())
        QVERIFY(WriteAll(rig.path(name), content));

    QVERIFY(!rig.files.ReadSettingsFile(rig.path(name)));
    QCOMPARE(rig.dialogs.boxes.size(), 1);
    QCOMPARE(rig.dialogs.boxes[0].title, QString("Kestrum by Brivane"));
    QCOMPARE(rig.dialogs.boxes[0].text, QString("Error reading setup-file"));
    QCOMPARE(rig.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    QCOMPARE(StateOf(rig), before);
}

void TestSettingsFiles::hostileFilesLoadInOnePass_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("length"); // of the item's value as text

    QTest::newRow("a megabyte of NUL bytes") << QByteArray(1 << 20, '\0') << true << 0 << 1;
    QTest::newRow("NUL bytes in the number and the value")
        << QByteArrayLiteral("\0\0\0\0->4\r\n151    ->a\0b\r\n") << true << 151 << 3;
    QTest::newRow("a 10 MB line for a text item")
        << QByteArray("151    ->" + QByteArray(10 << 20, 'y')) << true << 151 << (10 << 20);
    QTest::newRow("a 10 MB line of blanks for a number item")
        << QByteArray("15    ->" + QByteArray(10 << 20, ' ') + "7") << true << 15 << 1;
    QTest::newRow("a 10 MB line without arrow")
        << QByteArray("151    ->v\r\n" + QByteArray(10 << 20, 'z')) << true << 0 << 1;
    QTest::newRow("a million short lines")
        << QByteArray("5    ->3\r\n").repeated(1 << 20) << true << 5 << 1;
    QTest::newRow("10 MB of digits are too large a number")
        << QByteArray("15    ->" + QByteArray(10 << 20, '1')) << false << 15 << 1;
}

void TestSettingsFiles::hostileFilesLoadInOnePass()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, loads);
    QFETCH(int, item);
    QFETCH(int, length);

    Rig rig;
    QVERIFY(WriteAll(rig.path("hostile.cfg"), content));
    QCOMPARE(rig.files.ReadSettingsFile(rig.path("hostile.cfg")), loads);
    QCOMPARE(rig.dialogs.boxes.size(), loads ? 0 : 1);
    QCOMPARE(rig.table.SettingValue[item].asText().size(), length);
}

void TestSettingsFiles::emptyPathDoesNothing()
{
    Rig rig;
    rig.screen.typeText(151, "typed");
    rig.table.UnitValue[13] = Value::int16(1);
    const QStringList before = StateOf(rig);
    QVERIFY(!rig.files.ReadSettingsFile(QString()));
    QVERIFY(!rig.files.WriteSettingsFile(QString()));
    QCOMPARE(StateOf(rig), before);
    QVERIFY(rig.dialogs.boxes.isEmpty());
    QCOMPARE(QDir(rig.home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
}

void TestSettingsFiles::failedWriteShowsErrorAndKeepsOldFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("how");

    QTest::newRow("folder does not exist") << "missing/out.cfg"
                                           << "nothing";
    QTest::newRow("target is a directory") << "out.cfg"
                                           << "directory";
    QTest::newRow("disk takes no more bytes") << "out.cfg"
                                              << "file size limit";
}

void TestSettingsFiles::failedWriteShowsErrorAndKeepsOldFile()
{
    QFETCH(QString, name);
    QFETCH(QString, how);

    Rig rig;
    const QString path = rig.path(name);
    const QByteArray old = "5    ->1\r\nold content\r\n";
    if (how == "directory")
        QVERIFY(QDir(rig.home.path()).mkdir(name));
    else if (how == "file size limit")
        QVERIFY(WriteAll(path, old));
    const QStringList entriesBefore =
        QDir(rig.home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);

    bool written = true;
    if (how == "file size limit") {
        // The save's temporary file cannot grow past 100 bytes.
        FileSizeLimit limit(100);
        QVERIFY(limit.isActive());
        written = rig.files.WriteSettingsFile(path);
    } else {
        written = rig.files.WriteSettingsFile(path);
    }

    QVERIFY(!written);
    QCOMPARE(rig.dialogs.boxes.size(), 1);
    QCOMPARE(rig.dialogs.boxes[0].title, QString("Kestrum by Brivane"));
    QCOMPARE(rig.dialogs.boxes[0].text, "Error writing settings-file\r\n" + path);
    QCOMPARE(rig.dialogs.boxes[0].icon, Dialogs::Icon::Critical);

    // No temporary file is left behind, and what was there is untouched.
    QCOMPARE(QDir(rig.home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             entriesBefore);
    if (how == "file size limit")
        QCOMPARE(ReadAll(path), old);
    if (how == "directory")
        QVERIFY(QFileInfo(path).isDir());
    if (how == "nothing")
        QVERIFY(!QFileInfo::exists(path));
}

void TestSettingsFiles::killedSaveLeavesEitherOldOrNewFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kill.cfg");
    std::map<int, QByteArray> versionA;
    std::map<int, QByteArray> versionB;
    for (int item = 151; item <= 232; ++item) {
        versionA[item] = QByteArray(2000, 'A');
        versionB[item] = QByteArray(2000, 'B');
    }
    const QByteArray fileA = FileBytes(StartValues(), versionA);
    const QByteArray fileB = FileBytes(StartValues(), versionB);

    int sawA = 0;
    int sawB = 0;
    for (int round = 0; round < 12; ++round) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--save-loop", path});
        QVERIFY(child.waitForStarted(10000));
        QVERIFY2(child.waitForReadyRead(30000), "the child never finished a save");
        // Where the kill lands decides only which of the two files survives; the
        // file must never be anything else.
        QThread::msleep(QRandomGenerator::global()->bounded(40));
        child.kill();
        QVERIFY(child.waitForFinished(10000));

        const QByteArray bytes = ReadAll(path);
        QVERIFY2(bytes == fileA || bytes == fileB,
                 qPrintable(QStringLiteral("round %1: a file of %2 bytes that is neither")
                                .arg(round)
                                .arg(bytes.size())));
        (bytes == fileA ? sawA : sawB) += 1;
    }
    qDebug("old or new file: %d times A, %d times B", sawA, sawB);
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--save-loop") == 0)
        return SaveLoop(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestSettingsFiles test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsfiles.moc"

Q_DECLARE_METATYPE(FileCheck)

// A file as the program writes it: bulk settings on choice 1, the rest 0 or "".
static QByteArray programFile(const std::map<int, QByteArray> &lines = {})
{
    QByteArray file;
    for (int item = 0; item < FileItemCount; ++item) {
        const auto line = lines.find(item);
        if (line != lines.end())
            file += line->second.isNull() ? QByteArray() : line->second + "\r\n";
        else
            file += QByteArray::number(item) + "    ->" + (IsBulkItem(item) ? "1" : "") + "\r\n";
    }
    return file;
}

void TestSettingsFiles::fileIsCheckedBeforeAToolWithoutWindowUsesIt_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<FileCheck>("check");
    QTest::addColumn<QString>("refusal"); // "" when taken
    QTest::addColumn<bool>("lenientTakesIt");
    QTest::addColumn<QString>("item10"); // when taken: the value as the window reads it

    const FileCheck send = FileCheck::Sendable, read = FileCheck::Readable;
    QTest::newRow("a file the program wrote") << programFile() << send << "" << false << "1";
    QTest::newRow("a choice rounded as the window rounds it")
        << programFile({{10, "10    ->4.4"}}) << send << "" << false << "4.4";
    QTest::newRow("no choice") << programFile({{13, "13    ->-1"}}) << send
                               << "f.cfg: line 14: -1 is no choice of ESPA out serial parity (0..2)"
                               << true << "";
    QTest::newRow("a word for a choice")
        << programFile({{26, "26    -> odd"}}) << send
        << "f.cfg: line 27: \" odd\" is no choice of ESPA in status request response (0..5)" << true
        << "";
    QTest::newRow("the list's extra entry is shown as the first choice")
        << programFile({{5, "5    ->10"}}) << send
        << "f.cfg: line 6: 10 is no choice of ESPA out max address length (0..9)" << true << "";
    QTest::newRow("a bulk setting without its line")
        << programFile({{37, QByteArray()}}) << send
        << "f.cfg: no line for setting 37 (ESPA in tx-data delay)" << true << "";
    // Its first four characters are blanks: the reader takes it for setting 0.
    QTest::newRow("a line the reader takes for another setting")
        << programFile({{13, "    13    ->2"}}) << send
        << "f.cfg: line 14: \"    13    ->2\" is no line of the form NUMBER    ->VALUE" << true
        << "";
    QTest::newRow("show and diff take a value outside the list")
        << programFile({{10, "10    ->99"}}) << read << "" << false << "99";
    QTest::newRow("lines without an arrow")
        << QByteArray("hello\r\nworld\r\n") << read
        << "f.cfg: no line of the form NUMBER    ->VALUE, so no settings file" << true << "";
    QTest::newRow("a binary file")
        << QByteArray("0    ->1\n\x7f"
                      "ELF\x02\0\0",
                      16)
        << read << "f.cfg: line 2: a NUL byte, so no text file" << true << "";
    QTest::newRow("more than 1 MiB")
        << QByteArray(1024 * 1024 + 1, '\n').append("0    ->1") << read
        << "f.cfg: larger than 1 MiB, so no settings file" << true << "";
    QTest::newRow("a number no window takes either")
        << programFile({{120, "120    ->1e999"}}) << read
        << "f.cfg: line 121: \"1e999\" is too large a number" << false << "";
    QTest::newRow("the window's reading takes any bytes")
        << programFile({{10, "10    ->99\0"}, {13, QByteArray()}}) << FileCheck::Lenient << ""
        << false << "99";
}

void TestSettingsFiles::fileIsCheckedBeforeAToolWithoutWindowUsesIt()
{
    QFETCH(QByteArray, bytes);
    QFETCH(FileCheck, check);
    const CheckedSettingsFile checked = CheckSettingsBytes(bytes, QStringLiteral("f.cfg"), check);
    QTEST(checked.refusal, "refusal");
    QTEST(checked.lenientTakesIt, "lenientTakesIt");
    if (checked.taken())
        QTEST(checked.values[10].asText(), "item10");
}

void TestSettingsFiles::snapshotNamesHoldThePortSafely_data()
{
    QTest::addColumn<QString>("port"); // as the program or --port names it
    QTest::addColumn<QString>("name");
    QTest::newRow("a number") << "Com3"
                              << "com3";
    QTest::newRow("a number as --port takes it") << "12"
                                                 << "com12";
    QTest::newRow("a device") << "/dev/ttyUSB1"
                              << "ttyUSB1";
    QTest::newRow("a by-id name") << "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"
                                  << "usb-FTDI_FT232R_A50285BI-if00-port0";
    QTest::newRow("blanks and odd characters") << "/tmp/my ports/tty:V0 (2)"
                                               << "tty_V0__2_";
    QTest::newRow("a hidden name") << "/dev/.ttyX"
                                   << "_.ttyX";
    QTest::newRow("a network server") << "tcp://10.0.0.7:4001"
                                      << "10.0.0.7-4001";
    QTest::newRow("a server by name") << "rfc2217://conv-3.site.example:2217"
                                      << "conv-3.site.example-2217";
    QTest::newRow("an IPv6 server") << "tcp://[fe80::1]:4001"
                                    << "fe80__1-4001";
}

void TestSettingsFiles::snapshotNamesHoldThePortSafely()
{
    QFETCH(QString, port);
    QFETCH(QString, name);
    QCOMPARE(SnapshotPortName(port), name);
}

// Snapshots of which the history keeps three besides the first. One equal to the
// newest of its port is not kept again, one equal to another port's is; one whose
// second a snapshot of its port already has takes the next free second.
void TestSettingsFiles::historyKeepsTheFirstAndTheNewest()
{
    Rig rig;
    SettingsHistory history(rig.globals);
    history.keptSnapshots = 3;
    FileValues values = *SettingsFileLines().values();
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 0, 0));
    // port, value of item 10, second
    const std::tuple<const char *, int, int> steps[] = {
        {"Com1", 0, 0}, {"Com1", 1, 1},         {"Com1", 2, 2}, {"Com1", 0, 3}, {"Com1", 1, 4},
        {"Com1", 2, 5}, {"/dev/ttyUSB1", 2, 6}, {"Com1", 2, 7}, {"Com1", 0, 5}};
    QStringList kept;
    for (const auto &[port, value, second] : steps) {
        values[10] = Value::number(value);
        const SettingsHistory::Kept k =
            history.keep(values, QLatin1String(port), Snapshot::Event::Read, start.addSecs(second));
        QCOMPARE(k.error, QString());
        kept.append(QFileInfo(k.path).fileName().remove(QStringLiteral("20261207-")));
    }
    QCOMPARE(kept,
             QStringList({"100000-com1-read.cfg", "100001-com1-read.cfg", "100002-com1-read.cfg",
                          "100003-com1-read.cfg", "100004-com1-read.cfg", "100005-com1-read.cfg",
                          "100006-ttyUSB1-read.cfg", "", "100006-com1-read.cfg"}));
    QStringList left;
    for (const auto &s : history.snapshots())
        left.append(QFileInfo(s.path).fileName().remove(QStringLiteral("20261207-")));
    QCOMPARE(left, QStringList({"100006-ttyUSB1-read.cfg", "100006-com1-read.cfg",
                                "100005-com1-read.cfg", "100000-com1-read.cfg"}));
    QCOMPARE(ReadAll(history.snapshots().first().path).count("\r\n"), 250);
}
