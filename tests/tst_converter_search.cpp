#include "protocol/ConverterSearch.h"
#include "serial/MemorySerialBackend.h"

#include <QtTest>

using Outcome = ConverterSearch::Outcome;

namespace {

const QByteArray WakeUpThenRequest =
    QByteArray::fromHex("01 01 80 7F 01 09 01 00 02 77 1F 00 1E 3F");

// An in-memory device that says whether it was left open when the search let go.
struct TrackedPort : MemorySerialBackend
{
    QByteArray *sentTo = nullptr;
    bool *leftOpen = nullptr;
    ~TrackedPort() override
    {
        *sentTo = sent;
        *leftOpen = isOpen();
    }
};

enum class Device { Converter, Silent, Refusing, Held, NoRights, Missing };

struct Case
{
    Device device;
    Outcome outcome;
    int lastTick; // the tick that decides; 0 when the open decides
    QByteArray sent;
};

} // namespace

class TestConverterSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void devicesAreTriedSideBySide();
    void stoppingClosesEveryDevice();
};

void TestConverterSearch::devicesAreTriedSideBySide()
{
    const QList<Case> cases = {
        {Device::Converter, Outcome::Converter, 11, WakeUpThenRequest},
        {Device::Silent, Outcome::NoAnswer, 130, WakeUpThenRequest},
        {Device::Refusing, Outcome::NoAnswer, 130, WakeUpThenRequest},
        {Device::Held, Outcome::Busy, 0, QByteArray()},
        {Device::NoRights, Outcome::NoPermission, 0, QByteArray()},
        {Device::Missing, Outcome::NoAnswer, 0, QByteArray()},
    };
    QList<QByteArray> sent(cases.size());
    QList<bool> leftOpen(cases.size(), true);
    int made = 0;
    ConverterSearch search(
        [&]() -> std::unique_ptr<SerialBackend> {
            auto port = std::make_unique<TrackedPort>();
            const int i = made++;
            port->sentTo = &sent[i];
            port->leftOpen = &leftOpen[i];
            MemorySerialBackend *raw = port.get();
            switch (cases[i].device) {
            case Device::Converter:
            case Device::Refusing:
                // Answers the request once its check byte is out.
                port->onWrite = [raw, i, &cases](unsigned char byte) {
                    if (byte == 0x3F && raw->sent.size() > 4)
                        raw->feed(QByteArray::fromHex(cases[i].device == Device::Converter
                                                          ? "01 05 01 00 06 F3"
                                                          : "01 05 01 00 15 E4"));
                };
                break;
            case Device::Held:
                port->heldElsewhere = true;
                break;
            case Device::NoRights:
                port->denyNextOpen = true;
                break;
            case Device::Missing:
                port->failNextOpen = true;
                break;
            case Device::Silent:
                break;
            }
            return port;
        },
        LineSettings{});

    QStringList devices;
    for (int i = 0; i < cases.size(); ++i)
        devices << QStringLiteral("/dev/device%1").arg(i);
    search.start(devices);
    for (int tick = 0; tick <= 130; ++tick) {
        if (tick > 0)
            search.tick();
        for (int i = 0; i < cases.size(); ++i) {
            const Outcome now = search.probes()[size_t(i)].outcome;
            QCOMPARE(now, tick < cases[i].lastTick ? Outcome::Trying : cases[i].outcome);
        }
    }
    QVERIFY(search.isFinished());
    for (int i = 0; i < cases.size(); ++i) {
        QCOMPARE(search.probes()[size_t(i)].device, devices[i]);
        QCOMPARE(sent[i].toHex(' '), cases[i].sent.toHex(' '));
        QVERIFY2(!leftOpen[i], qPrintable(devices[i]));
    }
    QCOMPARE(search.probes()[4].error, QStringLiteral("Permission denied"));
}

void TestConverterSearch::stoppingClosesEveryDevice()
{
    QByteArray sent;
    bool leftOpen = true;
    {
        ConverterSearch search(
            [&]() -> std::unique_ptr<SerialBackend> {
                auto port = std::make_unique<TrackedPort>();
                port->sentTo = &sent;
                port->leftOpen = &leftOpen;
                return port;
            },
            LineSettings{});
        search.start({QStringLiteral("/dev/silent")});
        for (int tick = 0; tick < 5; ++tick)
            search.tick();
        QVERIFY(!search.isFinished());
    } // destroyed half-way
    QVERIFY(!leftOpen);
    QCOMPARE(sent.toHex(' '), QByteArray("01 01 80 7f"));
}

QTEST_GUILESS_MAIN(TestConverterSearch)
#include "tst_converter_search.moc"
