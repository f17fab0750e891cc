#include "sim/UnitState.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace {

// The leading decimal number of a text (blanks skipped, optional sign and
// fraction), rounded; 0 when there is none.
int leadingNumber(const QByteArray &text)
{
    const QByteArray t = text.trimmed();
    int i = 0;
    while (i < t.size() && (t.at(i) == '-' || t.at(i) == '+' || t.at(i) == '.' ||
                            (t.at(i) >= '0' && t.at(i) <= '9')))
        ++i;
    bool ok = false;
    const double v = t.left(i).toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return 0;
    return int(std::clamp(std::nearbyint(v), -1e9, 1e9));
}

} // namespace

UnitState::UnitState()
{
    // Plausible values of a unit fresh from the factory.
    m_numbers[0] = 1;   // unit type
    m_numbers[15] = 30; // poll watch ESPA out
    m_numbers[25] = 30;
    m_numbers[35] = 30;
    for (int group : {10, 20, 30}) {
        m_numbers[group] = 3;     // speed 9600
        m_numbers[group + 1] = 1; // 8 bits
    }
    m_numbers[100] = 10;
    m_numbers[101] = 300;
    m_texts[150] = "Dunvale";
    m_texts[151] = "ESPA out";
}

void UnitState::setNumber(int item, int value)
{
    if (isChar(item))
        m_numbers[item] = value & 0xFF;
    else if (isInt(item))
        m_numbers[item] = value & 0xFFFF;
}

void UnitState::setText(int item, const QByteArray &text)
{
    if (isText(item))
        m_texts[item] = text.left(MaxTextLength);
}

QString UnitState::display(int item) const
{
    if (isText(item))
        return QString::fromLatin1(m_texts.at(item));
    return QString::number(m_numbers.at(item));
}

bool UnitState::setFromText(int item, const QByteArray &latin1)
{
    if (!exists(item))
        return false;
    if (isText(item))
        setText(item, latin1);
    else
        setNumber(item, leadingNumber(latin1));
    return true;
}

bool UnitState::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // A settings file is small; anything beyond a few megabytes is not one.
    const QByteArray content = file.read(4 * 1024 * 1024);
    for (QByteArray line : content.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const int arrow = line.indexOf("->");
        if (arrow < 0)
            continue;
        const int item = leadingNumber(line.left(std::min(arrow, 4)));
        if (!exists(item))
            continue;
        setFromText(item, line.mid(arrow + 2));
    }
    return true;
}

bool UnitState::save(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    for (int item = 0; item < ItemCount; ++item) {
        QByteArray line = QByteArray::number(item) + "    ->";
        line += isText(item) ? m_texts.at(item) : QByteArray::number(m_numbers.at(item));
        line += "\r\n";
        file.write(line);
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
