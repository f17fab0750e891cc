#pragma once

#include <QByteArray>
#include <QString>
#include <array>

// What the simulated converter remembers: items 0..149 are numbers (CHAR items
// 0..99 one byte, INT items 100..149 two bytes), items 150..249 are texts of
// Latin-1 bytes. Item 250 and above do not exist on the unit.
class UnitState
{
public:
    static constexpr int ItemCount = 250;
    // The longest text a write frame can carry.
    static constexpr int MaxTextLength = 243;

    UnitState(); // factory values

    static bool exists(int item) { return item >= 0 && item < ItemCount; }
    static bool isChar(int item) { return item >= 0 && item <= 99; }
    static bool isInt(int item) { return item >= 100 && item <= 149; }
    static bool isText(int item) { return item >= 150 && item < ItemCount; }
    // CHAR items that travel as one hexadecimal digit (bleep codes and the like).
    static bool isHexDigitItem(int item) { return item >= 40 && item <= 78; }

    int number(int item) const { return m_numbers.at(item); }
    void setNumber(int item, int value);
    QByteArray text(int item) const { return m_texts.at(item); }
    void setText(int item, const QByteArray &text);

    // The value as printed on stdout and written to a settings file.
    QString display(int item) const;
    // Sets an item from its printed form; false when the item does not exist.
    bool setFromText(int item, const QByteArray &latin1);

    // Settings file: lines "<item>    -><value>" ending in CR LF, Latin-1. Lines
    // without "->" and items outside 0..249 are skipped; items the file lacks keep
    // their factory value. False (with error set) when the file cannot be read.
    bool load(const QString &path, QString *error);
    bool save(const QString &path, QString *error) const;

private:
    std::array<int, ItemCount> m_numbers{};
    std::array<QByteArray, ItemCount> m_texts{};
};
