#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Misbehaviour the simulated converter shows on request.
//
// A fault is written  MODE [ARG] [item N] [xCOUNT]  or compactly
// MODE[=ARG][:N][xCOUNT], for example "silent x3", "checksum item 10",
// "delay 800", "other-item=20:5x1". Without "item" it hits every request (also
// restart, buffer position and call); without a count it stays until cleared.
struct Fault
{
    enum class Mode {
        Silent,       // no answer at all
        Nak,          // answer refused: header byte 3 is NAK (0x15) instead of ACK
        Checksum,     // wrong check byte
        StopAfterLen, // SOH and LEN only
        TooLong,      // an answer of more than 98 bytes
        OtherItem,    // a read answer about item + 1, or about ARG
        Noise,        // garbage bytes before the SOH
        Delay,        // answer ARG milliseconds late
        StoreOther,   // a write is acknowledged, but ARG (default: the value + 1) is stored
        NakWrite      // a write is refused (NAK) and nothing stored; reads are answered
    };

    Mode mode = Mode::Silent;
    int arg = -1;   // Delay: milliseconds; OtherItem: the item answered about (-1: item + 1);
                    // StoreOther: the number stored (-1: the value written + 1)
    int item = -1;  // -1: every request
    int count = -1; // -1: until cleared

    static std::optional<Fault> parse(const QString &spec, QString *error);
    QString describe() const;
    static QStringList modeNames();
};

class FaultList
{
public:
    void add(const Fault &fault) { m_faults.push_back(fault); }
    void clear() { m_faults.clear(); }
    bool isEmpty() const { return m_faults.empty(); }

    // The faults that hit a request about item (-1 for requests without an item);
    // each one taken uses up one of its count. The faults of writes only (store-other,
    // nak-write) hit only when write is true.
    std::vector<Fault> take(int item, bool write = false);

private:
    std::vector<Fault> m_faults;
};
