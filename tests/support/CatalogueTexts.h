#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The setting catalogue as the user sees it, written out letter for letter: every
// legend with its own visibility flag and every choice-list entry, entry 0 first.
// Nothing here is taken from the program; generated entries are built from their
// literal prefix and suffix.
struct ExpectedItem
{
    int item;
    QString legend;
    bool legendShown;
    QStringList entries; // empty for a list not in use and for the text boxes
};

inline QStringList numberedTexts(const QString &prefix, int first, int last, const QString &suffix)
{
    QStringList texts;
    for (int k = first; k <= last; ++k)
        texts.append(prefix + QString::number(k) + suffix);
    return texts;
}

inline const QStringList &ExpectedBleepCodes()
{
    static const QStringList codes{"BleepCode: 0", "BleepCode: 1", "BleepCode: 2", "BleepCode: 3",
                                   "BleepCode: 4", "BleepCode: 5", "BleepCode: 6", "BleepCode: 7",
                                   "BleepCode: 8", "BleepCode: 9", "BleepCode: A", "BleepCode: B",
                                   "BleepCode: C", "BleepCode: D", "BleepCode: E", "BleepCode: F"};
    return codes;
}

// The 206 setting controls: CHAR 0..78, INT 100..143, TEKST 150..232.
inline QList<ExpectedItem> ExpectedCatalogue()
{
    const QStringList diagnostic{"None", "Diagnose", "Debug info", "Protocol debug info"};
    const QStringList address =
        QStringList{"Not limited"} + numberedTexts("Address length: ", 1, 10, " digits");
    const QStringList length =
        QStringList{"Not limited"} + numberedTexts("Length: ", 1, 150, " characters");
    const QStringList speed{"1200 baud", "2400 baud", "4800 baud", "9600 baud", "19200 baud"};
    const QStringList bits{"7 bits", "8 bits"};
    const QStringList stop{"1 stopbit", "2 stopbits"};
    const QStringList parity{"no parity", "even parity", "odd parity"};
    const QStringList handshake{"No HandShake", "No HandShake, RTS active", "CTS/RTS HandShake"};
    const QStringList outWatch = numberedTexts("Espa-Out Poll Watchdog ", 0, 59, " sec");
    const QStringList inWatch = numberedTexts("Espa-In Poll Watchdog ", 0, 59, " sec");
    const QStringList status{"Request for status", "No request for status (Fire and forget)"};
    const QStringList response{"standard, according to protocol",
                               "non-standard, Fire and Forget",
                               "non-standard, Immediately Paged",
                               "non-standard, Always reply EOT",
                               "non-standard, Reply EOT, unless asked for status",
                               "non-standard, tbd"};
    const QStringList delay{"no delay",
                            "10 milliseconcs delay",
                            "20 milliseconcs delay",
                            "30 milliseconcs delay",
                            "40 milliseconcs delay",
                            "50 milliseconcs delay",
                            "60 milliseconcs delay",
                            "70 milliseconcs delay",
                            "80 milliseconcs delay",
                            "90 milliseconcs delay"};
    const QString hidden = QStringLiteral("Diagnose Level:");

    QList<ExpectedItem> all{
        {0, "Diagnostic level:", true, diagnostic},
        {1, hidden, false, {}},
        {2, hidden, false, {}},
        {3, hidden, false, {}},
        {4, hidden, false, {}},
        {5, "ESPA out max address length:", true, address},
        {6, hidden, false, {}},
        {7, "ESPA out max text length:", true, length},
        {8, hidden, false, {}},
        {9, hidden, false, {}},
        {10, "ESPA out serial speed:", true, speed},
        {11, "ESPA out serial number of bits:", true, bits},
        {12, "ESPA out serial number of stopbits:", true, stop},
        {13, "ESPA out serial parity:", true, parity},
        {14, "ESPA out hardware handshake:", true, handshake},
        {15, "ESPA out poll watch alarm:", true, outWatch},
        {16, "ESPA out request for status:", true, status},
        {17, "ESPA out tx-data delay:", true, delay},
        {18, "Paging fixed info (BOSCH):", true, {}},
        {19, "Paging Info voor Alfa (BOSCH):", true, {}},
        {20, "ESPA in serial speed:", true, speed},
        {21, "ESPA in serial number of bits:", true, bits},
        {22, "ESPA in serial number of stopbits:", true, stop},
        {23, "ESPA in serial parity:", true, parity},
        {24, "ESPA in hardware handshake:", true, handshake},
        {25, "ESPA in pollwatch timer (1sec):", true, inWatch},
        {26, "ESPA in status request response:", true, response},
        {27, "ESPA in tx-data delay:", true, delay},
        {28, hidden, false, {}},
        {29, hidden, false, {}},
        {30, "ESPA in serial speed:", true, speed},
        {31, "ESPA in serial number of bits:", true, bits},
        {32, "ESPA in serial number of stopbits:", true, stop},
        {33, "ESPA in serial parity:", true, parity},
        {34, "ESPA in hardware handshake:", true, handshake},
        {35, "ESPA in pollwatch timer (1sec):", true, inWatch},
        {36, "ESPA in status request response:", true, response},
        {37, "ESPA in tx-data delay:", true, delay},
        {38, hidden, false, {}},
        {39, hidden, false, {}},
        {40, "BleepCode  ", true, ExpectedBleepCodes()},
    };
    // The button table: entry 1's legends are the column headings.
    for (int n = 2; n <= 39; ++n)
        all.append({39 + n, "BleepCode Entry " + QString::number(n), true, ExpectedBleepCodes()});
    all.append({100, "Niet in gebruik.", true, {}});
    for (int item = 101; item <= 104; ++item)
        all.append({item, "Int instelling 1", true, {}});
    all.append({105, "EventNr", true, {}});
    for (int n = 2; n <= 39; ++n)
        all.append({104 + n, "EventId " + QString::number(n), true, {}});
    for (int item = 150; item <= 154; ++item)
        all.append({item, "Op te roepen pager bij ComStoring BMC:", item != 150, {}});
    all.append({155, "Pager-adres  ", true, {}});
    for (int n = 2; n <= 39; ++n)
        all.append({154 + n, "PagerAdres " + QString::number(n), true, {}});
    all.append({194, "Vaste voorlooptekst  ", true, {}});
    for (int n = 2; n <= 39; ++n)
        all.append({193 + n, "Vaste voorlooptekst " + QString::number(n), true, {}});
    return all;
}
