// The two plain parts of a serial device server's link: reading an address, and the
// Telnet side of RFC 2217 fed the server's bytes by hand, whole and byte by byte.

#include "serial/NetworkAddress.h"
#include "serial/TelnetComPort.h"

#include <QtTest>

namespace {

struct Fed
{
    QByteArray data;
    QByteArray replies;
    QString state;
};

// The server's bytes in pieces of `piece`; the state is "ready", "negotiating" or
// what the server refused.
Fed feed(const QByteArray &server, qsizetype piece)
{
    TelnetComPort telnet(LineSettings{});
    telnet.start();
    Fed fed;
    for (qsizetype at = 0; at < server.size(); at += piece) {
        telnet.receive(server.mid(at, piece));
        fed.data += telnet.takeData();
        fed.replies += telnet.takeReplies();
    }
    fed.state = telnet.hasFailed() ? telnet.failure()
                : telnet.isReady() ? QStringLiteral("ready")
                                   : QStringLiteral("negotiating");
    return fed;
}

} // namespace

class TestNetworkLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addressesAreReadOrRefusedWithTheirText_data();
    void addressesAreReadOrRefusedWithTheirText();
    void serverBytesGiveTheSameResultWholeOrByteByByte_data();
    void serverBytesGiveTheSameResultWholeOrByteByByte();
};

void TestNetworkLink::addressesAreReadOrRefusedWithTheirText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read"); // the address as written back, or why it is refused

    QTest::newRow("IPv4") << "tcp://10.1.2.3:4001"
                          << "tcp://10.1.2.3:4001";
    QTest::newRow("name, scheme and host in any case") << "RFC2217://Moxa-1.Site.example:4001"
                                                       << "rfc2217://moxa-1.site.example:4001";
    QTest::newRow("IPv6 in brackets") << "rfc2217://[FE80::1]:950"
                                      << "rfc2217://[fe80::1]:950";
    QTest::newRow("empty host") << "tcp://:4001"
                                << "no host";
    QTest::newRow("no port") << "tcp://unit"
                             << "no port after the host";
    QTest::newRow("port past 65535") << "tcp://unit:65536"
                                     << "the port must be 1..65535, not \"65536\"";
    QTest::newRow("unknown scheme") << "telnet://unit:23"
                                    << "unknown scheme \"telnet\" (tcp or rfc2217)";
    QTest::newRow("IPv6 without brackets") << "tcp://fe80::1:4001"
                                           << "an IPv6 address goes in brackets";
    QTest::newRow("IPv4 in brackets") << "tcp://[10.1.2.3]:4001"
                                      << "\"10.1.2.3\" in brackets is no IPv6 address";
    QTest::newRow("blank in the name") << "tcp://unit one:4001"
                                       << "\"unit one\" is no host name";
}

void TestNetworkLink::addressesAreReadOrRefusedWithTheirText()
{
    QFETCH(QString, text);
    QFETCH(QString, read);
    QString error;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(text, &error);
    QVERIFY(NetworkAddress::looksLikeAddress(text));
    if (read.contains(QLatin1String("://")))
        QCOMPARE(address ? address->text() : error, read);
    else
        QCOMPARE(error, QStringLiteral("\"%1\" is no network address: %2").arg(text, read));
}

// The line settings as this side sends them once the server agrees to the option:
// 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control.
static const char SettingsSent[] = "ff fa 2c 01 00 00 25 80 ff f0 ff fa 2c 02 08 ff f0 "
                                   "ff fa 2c 03 01 ff f0 ff fa 2c 04 01 ff f0 ff fa 2c 05 01 ff f0";

void TestNetworkLink::serverBytesGiveTheSameResultWholeOrByteByByte_data()
{
    QTest::addColumn<QByteArray>("server"); // hex
    QTest::addColumn<QByteArray>("data");   // hex
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<QString>("state");

    // ser2net 4 opens with WILL/DO SUPPRESS-GO-AHEAD, WILL ECHO, DONT ECHO, DO and WILL
    // BINARY, DO COM-PORT-OPTION and a modem-state notification, then confirms.
    QTest::newRow("ser2net's opening and its confirmations")
        << QByteArray("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c fffa2c6b00fff0 "
                      "fffa2c6500002580fff0 fffa2c6608fff0 fffa2c6701fff0 fffa2c6801fff0 "
                      "fffa2c6901fff0")
        << QByteArray() << QByteArray("ff fd 03 ff fb 03 ff fe 01 ") + SettingsSent << "ready";
    QTest::newRow("commands among the data are no data")
        << QByteArray("41 ffff 42 fff1 43 fff9 44 fffa2c6a00fff0 45")
        << QByteArray("41 ff 42 43 44 45") << QByteArray() << "negotiating";
    QTest::newRow("COM-PORT-OPTION refused")
        << QByteArray("fffd00 fffb00 fffe2c") << QByteArray() << QByteArray()
        << "the server refused COM-PORT-OPTION (DONT COM-PORT-OPTION): it does not set serial "
           "lines (RFC 2217)";
    QTest::newRow("BINARY refused") << QByteArray("fffc00") << QByteArray() << QByteArray()
                                    << "the server refused BINARY transmission (WONT BINARY)";
    QTest::newRow("another baud rate")
        << QByteArray("fffd2c fffa2c6500004b00fff0") << QByteArray() << QByteArray(SettingsSent)
        << "the server set 19200 baud instead of 9600";
    QTest::newRow("another parity")
        << QByteArray("fffd2c fffa2c6703fff0") << QByteArray() << QByteArray(SettingsSent)
        << "the server set parity even instead of none";
    QTest::newRow("a confirmation of the wrong size")
        << QByteArray("fffd2c fffa2c662008fff0") << QByteArray() << QByteArray(SettingsSent)
        << "the server's answer to the data bits cannot be read";
    QTest::newRow("a command inside a subnegotiation ends it")
        << QByteArray("fffa2c65 fffd05 46") << QByteArray("46") << QByteArray("ff fc 05")
        << "negotiating";
    QTest::newRow("a subnegotiation past the limit is dropped whole")
        << QByteArray("fffd2c fffa2c65") + QByteArray(140, '0') + QByteArray("fff0 47")
        << QByteArray("47") << QByteArray(SettingsSent) << "negotiating";
    QTest::newRow("a signature request gets this side's name")
        << QByteArray("fffa2c64fff0") << QByteArray()
        << QByteArray("ff fa 2c 00 4b 65 73 74 72 75 6d ff f0") << "negotiating";
    QTest::newRow("an option agreed to is not answered twice, an unknown one each time")
        << QByteArray("fffb03 fffb03 fffd18 fffd18") << QByteArray()
        << QByteArray("ff fd 03 ff fc 18 ff fc 18") << "negotiating";
}

void TestNetworkLink::serverBytesGiveTheSameResultWholeOrByteByByte()
{
    QFETCH(QByteArray, server);
    const QByteArray bytes = QByteArray::fromHex(server);
    const Fed whole = feed(bytes, bytes.size());
    QTEST(whole.data.toHex(' '), "data");
    QTEST(whole.replies.toHex(' '), "replies");
    QTEST(whole.state, "state");
    for (const qsizetype piece : {1, 2, 5}) {
        const Fed pieces = feed(bytes, piece);
        QCOMPARE(pieces.data, whole.data);
        QCOMPARE(pieces.replies, whole.replies);
        QCOMPARE(pieces.state, whole.state);
    }
}

QTEST_GUILESS_MAIN(TestNetworkLink)
#include "tst_network_link.moc"
