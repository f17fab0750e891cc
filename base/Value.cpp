#include "base/Value.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {

// Blanks are the space and the tab: what a user types around or inside a number.
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The result of reading a decimal number from the front of a text.
struct Scan
{
    bool found = false; // at least one digit before the exponent
    double value = 0;
    qsizetype end = 0; // index just after the last character that belongs to the number
};

// Reads the longest leading number: sign, digits, optional full stop and fraction,
// optional exponent letter with optional sign and digits. With skipInnerBlanks the
// blanks anywhere inside the number are passed over, as the converter tool has always
// read numbers ("1 200" is 1200); without it, the number ends at the first blank.
// Leading blanks are always skipped.
Scan scanNumber(const QString &text, bool skipInnerBlanks)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skip = [&](bool always) {
        if (always || skipInnerBlanks) {
            while (i < n && isBlank(text.at(i)))
                ++i;
        }
    };

    skip(true);
    QString normal; // the number rebuilt without blanks, for the C-locale conversion
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        if (text.at(i) == u'-')
            normal += u'-';
        ++i;
        skip(false);
    }

    Scan scan;
    QString intDigits;
    QString fracDigits;
    while (true) {
        if (i < n && isDigit(text.at(i))) {
            intDigits += text.at(i++);
            scan.end = i;
            skip(false);
        } else {
            break;
        }
    }
    if (i < n && text.at(i) == u'.') {
        ++i;
        if (!intDigits.isEmpty())
            scan.end = i; // "12." reads whole as 12
        skip(false);
        while (i < n && isDigit(text.at(i))) {
            fracDigits += text.at(i++);
            scan.end = i;
            skip(false);
        }
    }
    if (intDigits.isEmpty() && fracDigits.isEmpty())
        return Scan{};
    scan.found = true;

    normal += intDigits.isEmpty() ? QStringLiteral("0") : intDigits;
    if (!fracDigits.isEmpty())
        normal += u'.' + fracDigits;

    // The exponent counts only when at least one digit follows the letter.
    if (i < n && (text.at(i) == u'E' || text.at(i) == u'e')) {
        qsizetype j = i + 1;
        auto skipAt = [&] {
            if (skipInnerBlanks) {
                while (j < n && isBlank(text.at(j)))
                    ++j;
            }
        };
        skipAt();
        QString exponent = QStringLiteral("e");
        if (j < n && (text.at(j) == u'+' || text.at(j) == u'-')) {
            exponent += text.at(j++);
            skipAt();
        }
        bool expDigits = false;
        while (j < n && isDigit(text.at(j))) {
            exponent += text.at(j++);
            expDigits = true;
            scan.end = j;
            skipAt();
        }
        if (expDigits)
            normal += exponent;
    }

    // QString::toDouble always reads the C locale. It gives +-infinity when the number
    // is too large for a double and 0 when it is too small; both are kept as they are,
    // so a caller can tell an overflow by a result that is not finite.
    scan.value = normal.toDouble();
    return scan;
}

// Nearest integer, halves to the even neighbour, when it fits in 16 bits.
std::optional<qint16> roundToInt16(double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    double r = std::round(v); // halves away from zero
    if (std::fabs(v - std::trunc(v)) == 0.5 && std::fmod(r, 2.0) != 0.0)
        r -= std::copysign(1.0, v);
    if (r < std::numeric_limits<qint16>::min() || r > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(r);
}

// Shortest text that reads back as exactly the same double: plain decimal digits for
// magnitudes from 1e-6 up to below 1e21, an exponent form ("1e+21", "1e-7") beyond.
QString shortestText(double v)
{
    if (v == 0)
        return QStringLiteral("0"); // also for -0
    if (!std::isfinite(v))
        return QString::number(v);

    // "d.ddde+XX": the shortest round-trip digits and the decimal exponent.
    const QString e = QString::number(std::fabs(v), 'e', QLocale::FloatingPointShortest);
    const qsizetype ePos = e.indexOf(u'e');
    QString digits = e.left(ePos);
    digits.remove(u'.');
    const int exponent = e.mid(ePos + 1).toInt();
    const int count = int(digits.size());

    QString out = v < 0 ? QStringLiteral("-") : QString();
    if (exponent >= 21 || exponent < -6) {
        out += digits.left(1);
        if (count > 1)
            out += u'.' + digits.mid(1);
        out += u'e';
        out += exponent < 0 ? u'-' : u'+';
        out += QString::number(std::abs(exponent));
    } else if (exponent >= count - 1) {
        out += digits + QString(exponent - (count - 1), u'0');
    } else if (exponent >= 0) {
        out += digits.left(exponent + 1) + u'.' + digits.mid(exponent + 1);
    } else {
        out += QStringLiteral("0.") + QString(-exponent - 1, u'0') + digits;
    }
    return out;
}

} // namespace

double TextToNumber(const QString &text)
{
    return scanNumber(text, true).value;
}

// A whole text is a number only when nothing but blanks surrounds it. Blanks inside the
// number are not passed over here: " 12 3" is not one number when a text has to be
// compared with a number or taken whole as a 16-bit integer, even though TextToNumber
// reads it as 123.
std::optional<double> WholeTextAsNumber(const QString &text)
{
    const Scan scan = scanNumber(text, false);
    if (!scan.found)
        return std::nullopt;
    for (qsizetype i = scan.end; i < text.size(); ++i) {
        if (!isBlank(text.at(i)))
            return std::nullopt;
    }
    return scan.value;
}

Value Value::int16(qint16 v)
{
    Value value;
    value.m_kind = Kind::Int16;
    value.m_number = v;
    return value;
}

Value Value::number(double v)
{
    Value value;
    value.m_kind = Kind::Double;
    value.m_number = v;
    return value;
}

Value Value::text(const QString &v)
{
    Value value;
    value.m_kind = Kind::Text;
    value.m_text = v;
    return value;
}

QString Value::asText() const
{
    switch (m_kind) {
    case Kind::Empty:
        return QString();
    case Kind::Int16:
        return QString::number(static_cast<qint16>(m_number));
    case Kind::Double:
        return shortestText(m_number);
    case Kind::Text:
        return m_text;
    }
    return QString();
}

double Value::asNumber() const
{
    switch (m_kind) {
    case Kind::Empty:
        return 0;
    case Kind::Int16:
    case Kind::Double:
        return m_number;
    case Kind::Text:
        return TextToNumber(m_text);
    }
    return 0;
}

std::optional<qint16> Value::asInt16() const
{
    switch (m_kind) {
    case Kind::Empty:
        return qint16(0);
    case Kind::Int16:
        return static_cast<qint16>(m_number);
    case Kind::Double:
        return roundToInt16(m_number);
    case Kind::Text:
        if (const auto number = WholeTextAsNumber(m_text))
            return roundToInt16(*number);
        return std::nullopt;
    }
    return std::nullopt;
}

bool Value::operator==(const Value &other) const
{
    if (isEmpty() || other.isEmpty()) {
        const Value &rest = isEmpty() ? other : *this;
        if (rest.isEmpty())
            return true;
        if (rest.isNumber())
            return rest.m_number == 0;
        return rest.m_text.isEmpty();
    }
    if (isNumber() && other.isNumber())
        return m_number == other.m_number;
    if (isText() && other.isText())
        return m_text == other.m_text;

    const Value &number = isNumber() ? *this : other;
    const Value &text = isText() ? *this : other;
    const auto read = WholeTextAsNumber(text.m_text);
    return read && *read == number.m_number;
}
