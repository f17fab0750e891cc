#include "base/TextHelpers.h"

#include <QTest>

using OptionalNumber = std::optional<qint64>;
Q_DECLARE_METATYPE(OptionalNumber)

class TestTextHelpers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numToTextWritesDigitsAndKeepsTheMinusSign_data();
    void numToTextWritesDigitsAndKeepsTheMinusSign();
    void hexWithWidthCutsOrPadsTheDigits_data();
    void hexWithWidthCutsOrPadsTheDigits();
    void hexTextKeepsAllDigits_data();
    void hexTextKeepsAllDigits();
    void controlCharNameSpellsControlBytes_data();
    void controlCharNameSpellsControlBytes();
    void controlCharNameGivesTheLatin1CharacterForOtherBytes();
};

void TestTextHelpers::numToTextWritesDigitsAndKeepsTheMinusSign_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << qint64(0) << "0";
    QTest::newRow("29") << qint64(29) << "29";
    QTest::newRow("32767") << qint64(32767) << "32767";
    QTest::newRow("minus one") << qint64(-1) << "-1";
    QTest::newRow("lowest 16-bit") << qint64(-32768) << "-32768";
    QTest::newRow("beyond 16 bits") << qint64(70000) << "70000";
}

void TestTextHelpers::numToTextWritesDigitsAndKeepsTheMinusSign()
{
    QFETCH(qint64, value);
    QFETCH(QString, expected);
    QCOMPARE(NumToText(value), expected);
}

void TestTextHelpers::hexWithWidthCutsOrPadsTheDigits_data()
{
    QTest::addColumn<OptionalNumber>("value");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("10 width 2") << OptionalNumber(10) << 2 << "0A";
    QTest::newRow("10 width -1") << OptionalNumber(10) << -1 << "A";
    QTest::newRow("0x1234 width 2 keeps the last digits") << OptionalNumber(0x1234) << 2 << "34";
    QTest::newRow("5 width 4") << OptionalNumber(5) << 4 << "0005";
    QTest::newRow("255 width exact") << OptionalNumber(255) << 2 << "FF";
    QTest::newRow("upper case digits") << OptionalNumber(0xabcdef) << -1 << "ABCDEF";
    QTest::newRow("zero width -1") << OptionalNumber(0) << -1 << "0";
    QTest::newRow("width 0 keeps nothing") << OptionalNumber(0x12) << 0 << "";
    QTest::newRow("-1 is FFFF") << OptionalNumber(-1) << -1 << "FFFF";
    QTest::newRow("-32768 is 8000") << OptionalNumber(-32768) << -1 << "8000";
    QTest::newRow("-2 width 2") << OptionalNumber(-2) << 2 << "FE";
    QTest::newRow("-2 width 6") << OptionalNumber(-2) << 6 << "00FFFE";
    QTest::newRow("-65536 in 32 bits") << OptionalNumber(-65536) << -1 << "FFFF0000";
    QTest::newRow("empty value") << OptionalNumber() << -1 << "";
    QTest::newRow("empty value with width") << OptionalNumber() << 4 << "";
}

void TestTextHelpers::hexWithWidthCutsOrPadsTheDigits()
{
    QFETCH(OptionalNumber, value);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(HexWithWidth(value, width), expected);
}

void TestTextHelpers::hexTextKeepsAllDigits_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected");

    for (int k = 0; k <= 9; ++k)
        QTest::addRow("%d", k) << qint64(k) << QString(QChar(u'0' + k));
    QTest::newRow("10") << qint64(10) << "A";
    QTest::newRow("15") << qint64(15) << "F";
    QTest::newRow("16") << qint64(16) << "10";
    QTest::newRow("4660") << qint64(4660) << "1234";
    QTest::newRow("-1") << qint64(-1) << "FFFF";
}

void TestTextHelpers::hexTextKeepsAllDigits()
{
    QFETCH(qint64, value);
    QFETCH(QString, expected);
    QCOMPARE(HexText(value), expected);
}

void TestTextHelpers::controlCharNameSpellsControlBytes_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("expected");

    const char *const names[] = {
        "[NULL]", "[SOH]", "[STX]", "[ETX]", "[EOT]", "[ENQ]",  "[ACK]", "[BEL]",
        "[BS]",   "[HT]",  "[LF]",  "[VT]",  "[FF]",  "[CR]",   "[SO]",  "[SI]",
        "[DLE]",  "[DC1]", "[DC2]", "[DC3]", "[DC4]", "[NACK]", "[SYN]", "[ETB]",
        "[CAN]",  "[EM]",  "[SUB]", "[ESC]", "[FS]",  "[GS]",   "[RS]",  "[US]",
    };
    for (int byte = 0; byte < 32; ++byte)
        QTest::addRow("%d %s", byte, names[byte]) << byte << QString::fromLatin1(names[byte]);
    QTest::newRow("127 rubout") << 127 << "[RUBOUT]";
    QTest::newRow("32 blank") << 32 << " ";
    QTest::newRow("65 letter A") << 65 << "A";
    QTest::newRow("126 tilde") << 126 << "~";
    QTest::newRow("128") << 128 << QString(QChar(0x80));
    QTest::newRow("200 E grave") << 200 << QString(QChar(0xC8));
    QTest::newRow("233 e acute") << 233 << QString(QChar(0xE9));
    QTest::newRow("255 y diaeresis") << 255 << QString(QChar(0xFF));
    QTest::newRow("not a byte") << 256 << "";
    QTest::newRow("negative") << -1 << "";
}

void TestTextHelpers::controlCharNameSpellsControlBytes()
{
    QFETCH(int, byte);
    QFETCH(QString, expected);
    QCOMPARE(ControlCharName(byte), expected);
}

void TestTextHelpers::controlCharNameGivesTheLatin1CharacterForOtherBytes()
{
    // Every printable byte is one character that goes back to the same byte in Latin-1.
    for (int byte = 32; byte <= 255; ++byte) {
        if (byte == 127)
            continue;
        const QString name = ControlCharName(byte);
        QCOMPARE(name.size(), 1);
        QCOMPARE(name.toLatin1(), QByteArray(1, char(byte)));
    }
}

QTEST_GUILESS_MAIN(TestTextHelpers)
#include "tst_texthelpers.moc"
