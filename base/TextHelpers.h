#pragma once

#include <QString>
#include <optional>

// Text functions shared by every report the program writes (module Diverse).

// Decimal digits without a leading blank; a negative value keeps its minus sign.
QString NumToText(qint64 value);

// Upper-case hexadecimal digits. An empty value gives "". A negative 16-bit value
// gives its four-digit two's-complement form. width -1 keeps all digits, a smaller
// width keeps the last digits, a larger one pads with zeros on the left.
QString HexWithWidth(std::optional<qint64> value, int width);
QString HexText(qint64 value);

// Printable name of a received byte: "[SOH]", "[NACK]", "[RUBOUT]", ... for the
// control values, the Latin-1 character for every other value 0..255.
QString ControlCharName(int byte);

// A text on one line for a terminal: tab, line feed and carriage return as \t, \n
// and \r, every other control character (0..31, 127..159) as \xHH. Nothing else
// changes, a backslash included.
QString EscapeControlChars(const QString &text);
