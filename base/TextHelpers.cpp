#include "base/TextHelpers.h"

QString NumToText(qint64 value)
{
    return QString::number(value);
}

QString HexWithWidth(std::optional<qint64> value, int width)
{
    if (!value)
        return QString();

    quint64 bits = static_cast<quint64>(*value);
    if (*value < 0) {
        // Negative 16-bit values have always been shown as four digits (-1 is FFFF);
        // wider negatives keep the two's complement of the smallest width that holds them.
        if (*value >= -0x8000)
            bits &= 0xFFFF;
        else if (*value >= -0x80000000LL)
            bits &= 0xFFFFFFFF;
    }
    QString digits = QString::number(bits, 16).toUpper();

    if (width < 0)
        return digits;
    if (width < digits.size())
        return digits.right(width);
    return digits.rightJustified(width, u'0');
}

QString HexText(qint64 value)
{
    return HexWithWidth(value, -1);
}

QString ControlCharName(int byte)
{
    static const char16_t *const names[32] = {
        u"[NULL]", u"[SOH]", u"[STX]", u"[ETX]", u"[EOT]", u"[ENQ]",  u"[ACK]", u"[BEL]",
        u"[BS]",   u"[HT]",  u"[LF]",  u"[VT]",  u"[FF]",  u"[CR]",   u"[SO]",  u"[SI]",
        u"[DLE]",  u"[DC1]", u"[DC2]", u"[DC3]", u"[DC4]", u"[NACK]", u"[SYN]", u"[ETB]",
        u"[CAN]",  u"[EM]",  u"[SUB]", u"[ESC]", u"[FS]",  u"[GS]",   u"[RS]",  u"[US]",
    };
    if (byte >= 0 && byte < 32)
        return QString::fromUtf16(names[byte]);
    if (byte == 127)
        return QStringLiteral("[RUBOUT]");
    if (byte >= 0 && byte <= 255)
        return QString(QChar::fromLatin1(char(byte)));
    // Not a byte: nothing to show rather than a made-up character.
    return QString();
}

QString EscapeControlChars(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\t')
            result += QLatin1String("\\t");
        else if (u == '\n')
            result += QLatin1String("\\n");
        else if (u == '\r')
            result += QLatin1String("\\r");
        else if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            result += QLatin1String("\\x") + HexWithWidth(u, 2);
        else
            result += c;
    }
    return result;
}
