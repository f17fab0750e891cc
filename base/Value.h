#pragma once

#include <QString>
#include <optional>

// Reads the longest leading decimal number of a text: leading blanks skipped,
// blanks between digits ignored, optional sign, fraction after a full stop and
// exponent "E"/"e" with optional sign. A text without a leading number gives 0.
// A number too large for a double gives +-infinity, so callers can tell an overflow.
double TextToNumber(const QString &text);

// One slot of the settings table: empty, a signed 16-bit integer, a floating-point
// number or a text (Latin-1 characters).
class Value
{
public:
    enum class Kind { Empty, Int16, Double, Text };

    Value() = default;
    static Value int16(qint16 v);
    static Value number(double v);
    static Value text(const QString &v);

    Kind kind() const { return m_kind; }
    bool isEmpty() const { return m_kind == Kind::Empty; }
    bool isNumber() const { return m_kind == Kind::Int16 || m_kind == Kind::Double; }
    bool isText() const { return m_kind == Kind::Text; }

    // A text unchanged; a number as its shortest decimal text (minus sign for
    // negatives, no leading blank); empty gives "".
    QString asText() const;
    // TextToNumber of the text form (numbers directly).
    double asNumber() const;
    // Rounded to the nearest integer, halves to the even neighbour. A text must read
    // entirely as a number (blanks around it allowed); empty gives 0. No value for a
    // text that is no number or a result outside -32768..32767.
    std::optional<qint16> asInt16() const;

    // Numbers compare by value whatever their form; a number and a text compare by
    // value when the whole text (blanks around it aside) reads as a number, and are
    // unequal otherwise; two texts compare exactly; empty equals 0 and "".
    bool operator==(const Value &other) const;
    bool operator!=(const Value &other) const { return !(*this == other); }

private:
    Kind m_kind = Kind::Empty;
    double m_number = 0;
    QString m_text;
};

// Reads a whole text as a number: blanks around it allowed, nothing else. No value
// when any other character is left over or there is no number at all.
std::optional<double> WholeTextAsNumber(const QString &text);
