#include "base/Value.h"

#include <QTest>
#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(Value)

class TestValue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textToNumberReadsTheLongestLeadingNumber_data();
    void textToNumberReadsTheLongestLeadingNumber();
    void textToNumberGivesInfinityForANumberTooLargeForADouble();
    void wholeTextAsNumberAcceptsOnlyBlanksAroundTheNumber_data();
    void wholeTextAsNumberAcceptsOnlyBlanksAroundTheNumber();
    void asInt16RoundsHalvesToEvenAndFailsOutsideTheRange_data();
    void asInt16RoundsHalvesToEvenAndFailsOutsideTheRange();
    void asTextGivesTheShortestDecimalText_data();
    void asTextGivesTheShortestDecimalText();
    void asTextOfADoubleReadsBackExactly_data();
    void asTextOfADoubleReadsBackExactly();
    void asNumberReadsEveryForm_data();
    void asNumberReadsEveryForm();
    void equalityFollowsTheSlotRules_data();
    void equalityFollowsTheSlotRules();
};

void TestValue::textToNumberReadsTheLongestLeadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("plain integer") << "42" << 42.0;
    QTest::newRow("leading blanks") << "   7" << 7.0;
    QTest::newRow("leading tab") << "\t9" << 9.0;
    QTest::newRow("blanks between digits") << " 12 3" << 123.0;
    QTest::newRow("blanks around the point") << "1 2 . 5" << 12.5;
    QTest::newRow("exponent upper case") << "1.5E2" << 150.0;
    QTest::newRow("negative with exponent and blanks") << " -7.5e1 " << -75.0;
    QTest::newRow("negative exponent") << "25e-1" << 2.5;
    QTest::newRow("explicit plus exponent") << "3e+2" << 300.0;
    QTest::newRow("minus one") << "-1" << -1.0;
    QTest::newRow("plus sign") << "+8" << 8.0;
    QTest::newRow("blank after the sign") << "- 5" << -5.0;
    QTest::newRow("lowest 16-bit") << "-32768" << -32768.0;
    QTest::newRow("fraction without integer part") << ".5" << 0.5;
    QTest::newRow("point without fraction") << "3." << 3.0;
    QTest::newRow("trailing letters") << "12abc" << 12.0;
    QTest::newRow("second point ends the number") << "1.2.3" << 1.2;
    QTest::newRow("comma is no decimal point") << "1,5" << 1.0;
    QTest::newRow("exponent letter without digits") << "12e" << 12.0;
    QTest::newRow("exponent sign without digits") << "12e+" << 12.0;
    QTest::newRow("exponent letter then text") << "7Ex" << 7.0;
    QTest::newRow("leading zeros") << "007" << 7.0;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("empty text") << "" << 0.0;
    QTest::newRow("blanks only") << "   " << 0.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("hexadecimal is not read") << "0x1F" << 0.0;
    QTest::newRow("too small for a double") << "1e-400" << 0.0;
}

void TestValue::textToNumberReadsTheLongestLeadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(TextToNumber(text), expected);
}

void TestValue::textToNumberGivesInfinityForANumberTooLargeForADouble()
{
    QCOMPARE(TextToNumber("1e400"), std::numeric_limits<double>::infinity());
    QCOMPARE(TextToNumber("-1e400"), -std::numeric_limits<double>::infinity());
}

void TestValue::wholeTextAsNumberAcceptsOnlyBlanksAroundTheNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("expected");

    QTest::newRow("plain") << "123" << true << 123.0;
    QTest::newRow("blanks around") << "  123 " << true << 123.0;
    QTest::newRow("tab around") << "\t-4\t" << true << -4.0;
    QTest::newRow("fraction and exponent") << " 1.5E2" << true << 150.0;
    QTest::newRow("point without fraction") << "3." << true << 3.0;
    QTest::newRow("fraction without integer part") << "-.25" << true << -0.25;
    QTest::newRow("blank between digits") << " 12 3" << false << 0.0;
    QTest::newRow("trailing letters") << "12abc" << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blanks only") << "   " << false << 0.0;
    QTest::newRow("exponent letter without digits") << "1e" << false << 0.0;
    QTest::newRow("sign alone") << "+" << false << 0.0;
    QTest::newRow("point alone") << "." << false << 0.0;
    QTest::newRow("two numbers") << "1 -2" << false << 0.0;
}

void TestValue::wholeTextAsNumberAcceptsOnlyBlanksAroundTheNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, expected);

    const std::optional<double> result = WholeTextAsNumber(text);
    QCOMPARE(result.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*result, expected);
}

void TestValue::asInt16RoundsHalvesToEvenAndFailsOutsideTheRange_data()
{
    QTest::addColumn<Value>("value");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("expected");

    QTest::newRow("2.5 to 2") << Value::number(2.5) << true << 2;
    QTest::newRow("3.5 to 4") << Value::number(3.5) << true << 4;
    QTest::newRow("-2.5 to -2") << Value::number(-2.5) << true << -2;
    QTest::newRow("-3.5 to -4") << Value::number(-3.5) << true << -4;
    QTest::newRow("0.5 to 0") << Value::number(0.5) << true << 0;
    QTest::newRow("-0.5 to 0") << Value::number(-0.5) << true << 0;
    QTest::newRow("2.4 to 2") << Value::number(2.4) << true << 2;
    QTest::newRow("2.6 to 3") << Value::number(2.6) << true << 3;
    QTest::newRow("12.6 to 13") << Value::number(12.6) << true << 13;
    QTest::newRow("-2.6 to -3") << Value::number(-2.6) << true << -3;
    QTest::newRow("32767.4 stays in range") << Value::number(32767.4) << true << 32767;
    QTest::newRow("32767.5 rounds out of range") << Value::number(32767.5) << false << 0;
    QTest::newRow("-32768.5 rounds to -32768") << Value::number(-32768.5) << true << -32768;
    QTest::newRow("-32769 fails") << Value::number(-32769) << false << 0;
    QTest::newRow("40000 fails") << Value::number(40000) << false << 0;
    QTest::newRow("infinity fails")
        << Value::number(std::numeric_limits<double>::infinity()) << false << 0;
    QTest::newRow("16-bit -1") << Value::int16(-1) << true << -1;
    QTest::newRow("16-bit 32767") << Value::int16(32767) << true << 32767;
    QTest::newRow("empty slot gives 0") << Value() << true << 0;
    QTest::newRow("text -32768") << Value::text("-32768") << true << -32768;
    QTest::newRow("text 32768 fails") << Value::text("32768") << false << 0;
    QTest::newRow("text -1") << Value::text("-1") << true << -1;
    QTest::newRow("text with blanks around") << Value::text(" 42 ") << true << 42;
    QTest::newRow("text with exponent") << Value::text(" -7.5e1 ") << true << -75;
    QTest::newRow("text 2.5 to 2") << Value::text("2.5") << true << 2;
    QTest::newRow("text 12abc fails") << Value::text("12abc") << false << 0;
    QTest::newRow("text abc fails") << Value::text("abc") << false << 0;
    QTest::newRow("empty text fails") << Value::text("") << false << 0;
    QTest::newRow("text with inner blank fails") << Value::text(" 12 3") << false << 0;
}

void TestValue::asInt16RoundsHalvesToEvenAndFailsOutsideTheRange()
{
    QFETCH(Value, value);
    QFETCH(bool, converts);
    QFETCH(int, expected);

    const std::optional<qint16> result = value.asInt16();
    QCOMPARE(result.has_value(), converts);
    if (converts)
        QCOMPARE(int(*result), expected);
}

void TestValue::asTextGivesTheShortestDecimalText_data()
{
    QTest::addColumn<Value>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty slot") << Value() << "";
    QTest::newRow("16-bit -1") << Value::int16(-1) << "-1";
    QTest::newRow("16-bit 0") << Value::int16(0) << "0";
    QTest::newRow("16-bit -32768") << Value::int16(-32768) << "-32768";
    QTest::newRow("whole double") << Value::number(1.0) << "1";
    QTest::newRow("12.6") << Value::number(12.6) << "12.6";
    QTest::newRow("0.1") << Value::number(0.1) << "0.1";
    QTest::newRow("-2.5") << Value::number(-2.5) << "-2.5";
    QTest::newRow("negative zero") << Value::number(-0.0) << "0";
    QTest::newRow("one third") << Value::number(1.0 / 3) << "0.3333333333333333";
    QTest::newRow("large whole number") << Value::number(123456789012.0) << "123456789012";
    QTest::newRow("1e20 in digits") << Value::number(1e20) << "100000000000000000000";
    QTest::newRow("1e21 with exponent") << Value::number(1e21) << "1e+21";
    QTest::newRow("1.5e22") << Value::number(1.5e22) << "1.5e+22";
    QTest::newRow("0.000001 in digits") << Value::number(0.000001) << "0.000001";
    QTest::newRow("1e-7 with exponent") << Value::number(1e-7) << "1e-7";
    QTest::newRow("-0.00012") << Value::number(-0.00012) << "-0.00012";
    QTest::newRow("text unchanged") << Value::text("  a,b->c ") << "  a,b->c ";
    QTest::newRow("empty text") << Value::text("") << "";
}

void TestValue::asTextGivesTheShortestDecimalText()
{
    QFETCH(Value, value);
    QFETCH(QString, expected);
    QCOMPARE(value.asText(), expected);
}

void TestValue::asTextOfADoubleReadsBackExactly_data()
{
    QTest::addColumn<double>("number");

    QTest::newRow("0.1") << 0.1;
    QTest::newRow("one third") << 1.0 / 3;
    QTest::newRow("negative small") << -1.2345678901234567e-9;
    QTest::newRow("large") << 9.87654321e300;
    QTest::newRow("largest double") << std::numeric_limits<double>::max();
    QTest::newRow("smallest denormal") << std::numeric_limits<double>::denorm_min();
}

void TestValue::asTextOfADoubleReadsBackExactly()
{
    QFETCH(double, number);
    QCOMPARE(TextToNumber(Value::number(number).asText()), number);
}

void TestValue::asNumberReadsEveryForm_data()
{
    QTest::addColumn<Value>("value");
    QTest::addColumn<double>("expected");

    QTest::newRow("empty slot") << Value() << 0.0;
    QTest::newRow("16-bit") << Value::int16(-5) << -5.0;
    QTest::newRow("double") << Value::number(12.6) << 12.6;
    QTest::newRow("text with leading number") << Value::text("12abc") << 12.0;
    QTest::newRow("text without number") << Value::text("abc") << 0.0;
}

void TestValue::asNumberReadsEveryForm()
{
    QFETCH(Value, value);
    QFETCH(double, expected);
    QCOMPARE(value.asNumber(), expected);
}

void TestValue::equalityFollowsTheSlotRules_data()
{
    QTest::addColumn<Value>("a");
    QTest::addColumn<Value>("b");
    QTest::addColumn<bool>("equal");

    QTest::newRow("16-bit 1 and double 1.0") << Value::int16(1) << Value::number(1.0) << true;
    QTest::newRow("16-bit 1 and double 1.5") << Value::int16(1) << Value::number(1.5) << false;
    QTest::newRow("two doubles") << Value::number(12.6) << Value::number(12.6) << true;
    QTest::newRow("negative zero and 16-bit 0") << Value::number(-0.0) << Value::int16(0) << true;
    QTest::newRow("123 and text with leading blank")
        << Value::number(123) << Value::text(" 123") << true;
    QTest::newRow("123 and text with trailing blank")
        << Value::int16(123) << Value::text("123 ") << true;
    QTest::newRow("100 and text in exponent form")
        << Value::number(100) << Value::text("1e2") << true;
    QTest::newRow("1 and text 1.0") << Value::int16(1) << Value::text(" 1.0 ") << true;
    QTest::newRow("-1 and text -1") << Value::int16(-1) << Value::text("-1") << true;
    QTest::newRow("123 and text with inner blank")
        << Value::int16(123) << Value::text("12 3") << false;
    QTest::newRow("12 and text 12abc") << Value::int16(12) << Value::text("12abc") << false;
    QTest::newRow("0 and text abc") << Value::int16(0) << Value::text("abc") << false;
    QTest::newRow("0 and empty text") << Value::int16(0) << Value::text("") << false;
    QTest::newRow("empty and 16-bit 0") << Value() << Value::int16(0) << true;
    QTest::newRow("empty and double 0") << Value() << Value::number(0) << true;
    QTest::newRow("empty and empty text") << Value() << Value::text("") << true;
    QTest::newRow("empty and empty") << Value() << Value() << true;
    QTest::newRow("empty and -1") << Value() << Value::int16(-1) << false;
    QTest::newRow("empty and text a") << Value() << Value::text("a") << false;
    QTest::newRow("texts differing in case") << Value::text("a") << Value::text("A") << false;
    QTest::newRow("texts differing in blanks") << Value::text("1") << Value::text(" 1") << false;
    QTest::newRow("equal texts") << Value::text("Espa 1") << Value::text("Espa 1") << true;
}

void TestValue::equalityFollowsTheSlotRules()
{
    QFETCH(Value, a);
    QFETCH(Value, b);
    QFETCH(bool, equal);

    QCOMPARE(a == b, equal);
    QCOMPARE(b == a, equal);
    QCOMPARE(a != b, !equal);
}

QTEST_GUILESS_MAIN(TestValue)
#include "tst_value.moc"
