#include "screen/Catalogue.h"

#include "base/TextHelpers.h"
#include "base/Value.h"
#include "screen/Screen.h"

#include <array>

namespace {

// The CHAR items on the four offered settings pages, in the order BuildScreen fills
// them. They are the items of "Read all" and "Write all".
constexpr std::array<int, 27> VisibleTabItems = {0,  5,  7,  10, 11, 12, 13, 14, 15,
                                                 16, 17, 20, 21, 22, 23, 24, 25, 26,
                                                 27, 30, 31, 32, 33, 34, 35, 36, 37};

struct VisibleRow
{
    int item;
    const char *legend;
    ChoiceList list;
};

// Items 20..27 and 30..37 share their legends and lists; only the 20s are written.
constexpr VisibleRow VisibleRows[] = {
    {0, "Diagnostic level:", ChoiceList::DiagnosticLevel},
    {5, "ESPA out max address length:", ChoiceList::AddressLength},
    {7, "ESPA out max text length:", ChoiceList::TextLength},
    {10, "ESPA out serial speed:", ChoiceList::SerialSpeed},
    {11, "ESPA out serial number of bits:", ChoiceList::DataBits},
    {12, "ESPA out serial number of stopbits:", ChoiceList::StopBits},
    {13, "ESPA out serial parity:", ChoiceList::Parity},
    {14, "ESPA out hardware handshake:", ChoiceList::Handshake},
    {15, "ESPA out poll watch alarm:", ChoiceList::OutputPollWatchdog},
    {16, "ESPA out request for status:", ChoiceList::RequestForStatus},
    {17, "ESPA out tx-data delay:", ChoiceList::TxDataDelay},
    {20, "ESPA in serial speed:", ChoiceList::SerialSpeed},
    {21, "ESPA in serial number of bits:", ChoiceList::DataBits},
    {22, "ESPA in serial number of stopbits:", ChoiceList::StopBits},
    {23, "ESPA in serial parity:", ChoiceList::Parity},
    {24, "ESPA in hardware handshake:", ChoiceList::Handshake},
    {25, "ESPA in pollwatch timer (1sec):", ChoiceList::InputPollWatchdog},
    {26, "ESPA in status request response:", ChoiceList::StatusRequestResponse},
    {27, "ESPA in tx-data delay:", ChoiceList::TxDataDelay},
};

// The lists that BuildScreen empties a second time before filling them.
bool IsRefilledTwice(int item)
{
    switch (item) {
    case 15:
    case 17:
    case 25:
    case 27:
    case 35:
    case 37:
        return true;
    default:
        return false;
    }
}

CatalogueItem MakeChar(int item)
{
    CatalogueItem entry;
    entry.item = item;
    if (item >= 40) {
        // Bleep-code column of the button table; entry 1's legend is a column heading.
        entry.legend = item == 40 ? QStringLiteral("BleepCode  ")
                                  : QStringLiteral("BleepCode Entry ") + NumToText(item - 39);
        entry.inUse = true;
        entry.list = ChoiceList::BleepCode;
        return entry;
    }
    const int mirrored = item >= 30 ? item - 10 : item;
    for (const VisibleRow &row : VisibleRows) {
        if (row.item == mirrored) {
            entry.legend = QString::fromLatin1(row.legend);
            entry.inUse = true;
            entry.list = row.list;
            return entry;
        }
    }
    // Not in use: an empty list.
    if (item == 18) {
        entry.legend = QStringLiteral("Paging fixed info (BOSCH):");
    } else if (item == 19) {
        entry.legend = QStringLiteral("Paging Info voor Alfa (BOSCH):");
    } else {
        entry.legend = QStringLiteral("Diagnose Level:");
        entry.legendShown = false;
    }
    return entry;
}

CatalogueItem MakeInt(int item)
{
    CatalogueItem entry;
    entry.item = item;
    entry.inUse = true;
    if (item == 100)
        entry.legend = QStringLiteral("Niet in gebruik.");
    else if (item <= 104)
        entry.legend = QStringLiteral("Int instelling 1");
    else if (item == 105)
        entry.legend = QStringLiteral("EventNr");
    else
        entry.legend = QStringLiteral("EventId ") + NumToText(item - 104);
    return entry;
}

CatalogueItem MakeTekst(int item)
{
    CatalogueItem entry;
    entry.item = item;
    entry.inUse = item != 150;
    entry.legendShown = item != 150;
    entry.lengthLimit = item <= 154 ? 10 : 15;
    if (item <= 154)
        entry.legend = QStringLiteral("Op te roepen pager bij ComStoring BMC:");
    else if (item == 155)
        entry.legend = QStringLiteral("Pager-adres  ");
    else if (item <= 193)
        entry.legend = QStringLiteral("PagerAdres ") + NumToText(item - 154);
    else if (item == 194)
        entry.legend = QStringLiteral("Vaste voorlooptekst  ");
    else
        entry.legend = QStringLiteral("Vaste voorlooptekst ") + NumToText(item - 193);
    return entry;
}

QList<CatalogueItem> MakeCatalogue()
{
    QList<CatalogueItem> all;
    all.reserve(206);
    for (int item = 0; item <= 78; ++item)
        all.append(MakeChar(item));
    for (int item = 100; item <= 143; ++item)
        all.append(MakeInt(item));
    for (int item = 150; item <= 232; ++item)
        all.append(MakeTekst(item));
    return all;
}

QStringList Generated(const QString &prefix, int first, int last, const QString &suffix)
{
    QStringList entries;
    for (int k = first; k <= last; ++k)
        entries.append(prefix + NumToText(k) + suffix);
    return entries;
}

} // namespace

QStringList ChoiceEntries(ChoiceList list)
{
    switch (list) {
    case ChoiceList::None:
        return {};
    case ChoiceList::DiagnosticLevel:
        return {QStringLiteral("None"), QStringLiteral("Diagnose"), QStringLiteral("Debug info"),
                QStringLiteral("Protocol debug info")};
    case ChoiceList::AddressLength:
        return QStringList{QStringLiteral("Not limited")} +
               Generated(QStringLiteral("Address length: "), 1, 10, QStringLiteral(" digits"));
    case ChoiceList::TextLength:
        return QStringList{QStringLiteral("Not limited")} +
               Generated(QStringLiteral("Length: "), 1, 150, QStringLiteral(" characters"));
    case ChoiceList::SerialSpeed:
        return {QStringLiteral("1200 baud"), QStringLiteral("2400 baud"),
                QStringLiteral("4800 baud"), QStringLiteral("9600 baud"),
                QStringLiteral("19200 baud")};
    case ChoiceList::DataBits:
        return {QStringLiteral("7 bits"), QStringLiteral("8 bits")};
    case ChoiceList::StopBits:
        return {QStringLiteral("1 stopbit"), QStringLiteral("2 stopbits")};
    case ChoiceList::Parity:
        return {QStringLiteral("no parity"), QStringLiteral("even parity"),
                QStringLiteral("odd parity")};
    case ChoiceList::Handshake:
        return {QStringLiteral("No HandShake"), QStringLiteral("No HandShake, RTS active"),
                QStringLiteral("CTS/RTS HandShake")};
    case ChoiceList::OutputPollWatchdog:
        return Generated(QStringLiteral("Espa-Out Poll Watchdog "), 0, 59, QStringLiteral(" sec"));
    case ChoiceList::InputPollWatchdog:
        return Generated(QStringLiteral("Espa-In Poll Watchdog "), 0, 59, QStringLiteral(" sec"));
    case ChoiceList::RequestForStatus:
        return {QStringLiteral("Request for status"),
                QStringLiteral("No request for status (Fire and forget)")};
    case ChoiceList::StatusRequestResponse:
        return {QStringLiteral("standard, according to protocol"),
                QStringLiteral("non-standard, Fire and Forget"),
                QStringLiteral("non-standard, Immediately Paged"),
                QStringLiteral("non-standard, Always reply EOT"),
                QStringLiteral("non-standard, Reply EOT, unless asked for status"),
                QStringLiteral("non-standard, tbd")};
    case ChoiceList::TxDataDelay: {
        QStringList entries{QStringLiteral("no delay")};
        for (int k = 1; k <= 9; ++k)
            entries.append(NumToText(10 * k) + QStringLiteral(" milliseconcs delay"));
        return entries;
    }
    case ChoiceList::BleepCode: {
        QStringList entries;
        for (int k = 0; k <= 15; ++k)
            entries.append(QStringLiteral("BleepCode: ") + HexText(k));
        return entries;
    }
    }
    return {};
}

const QList<CatalogueItem> &Catalogue()
{
    static const QList<CatalogueItem> all = MakeCatalogue();
    return all;
}

const CatalogueItem *CatalogueEntry(int item)
{
    int index = -1;
    if (item >= 0 && item <= 78)
        index = item;
    else if (item >= 100 && item <= 143)
        index = 79 + (item - 100);
    else if (item >= 150 && item <= 232)
        index = 79 + 44 + (item - 150);
    if (index < 0)
        return nullptr;
    return &Catalogue().at(index);
}

QString LegendOf(int item)
{
    const CatalogueItem *entry = CatalogueEntry(item);
    QString legend = entry ? entry->legend : QString();
    while (legend.endsWith(QLatin1Char(' ')))
        legend.chop(1);
    return legend;
}

std::optional<QString> ChoiceTextOf(int item, const Value &value)
{
    const CatalogueItem *entry = CatalogueEntry(item);
    const std::optional<qint16> number = value.asInt16();
    if (!entry || entry->list == ChoiceList::None || !number)
        return std::nullopt;
    const QStringList choices = ChoiceEntries(entry->list);
    if (*number < 0 || *number >= choices.size())
        return std::nullopt;
    return choices.at(*number);
}

bool ButtonsAreDutch(int item)
{
    switch (item) {
    case 0:
    case 5:
    case 7:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 17:
    case 18:
    case 19:
    case 25:
    case 30:
    case 31:
    case 150: // the TEKST pair in the service frame of "General settings"
        return true;
    default:
        return false;
    }
}

void BuildScreen(Screen &screen)
{
    for (int n = 0; n <= 78; ++n) {
        screen.clearChoices(n);
        screen.setInUse(n, false);
    }

    // Pairs 41..65 were created out of use and stay so.
    for (int n = 0; n <= 40; ++n)
        screen.setButtonsInUse(n, false);

    for (int item : VisibleTabItems) {
        screen.setInUse(item, true);
        if (IsRefilledTwice(item))
            screen.clearChoices(item);
        for (const QString &text : ChoiceEntries(CatalogueEntry(item)->list))
            screen.appendChoice(item, text);
        screen.setButtonsInUse(item, true);
    }

    const QStringList bleepCodes = ChoiceEntries(ChoiceList::BleepCode);
    screen.setInUse(CTRL_TEST_BLEEP, true);
    screen.clearChoices(CTRL_TEST_BLEEP);
    for (const QString &text : bleepCodes)
        screen.appendChoice(CTRL_TEST_BLEEP, text);
    screen.setInUse(CTRL_TEST_BLEEP, true);
    screen.setSelectedIndex(CTRL_TEST_BLEEP, 1);

    for (int n = 40; n <= 78; ++n) {
        screen.clearChoices(n);
        for (const QString &text : bleepCodes)
            screen.appendChoice(n, text);
        screen.setInUse(n, true);
    }
}
