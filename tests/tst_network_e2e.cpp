// The converter behind a serial device server: Debian's ser2net serves kestrum-sim's
// pseudo-terminal on 127.0.0.1, raw and as RFC 2217, and every part of the program
// talks through it: kestrum-cli's commands, detect and ports, the window with its
// settings dialog. Servers that misbehave are small QTcpServers of the test's own;
// the program under test only ever connects.

#include "app/Commands.h"
#include "app/Kestrum.h"
#include "serial/PortBackend.h"
#include "support/Ser2Net.h"
#include "support/SimProcess.h"
#include "support/WindowRig.h"
#include "window/SettingsDialog.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <ctime>

namespace {

const QString ReadAllDone = QStringLiteral("Reading of all settings was successfull.");

struct CliRun
{
    QProcess process;
    QString out;
    QString err;

    void start(const QStringList &args) { process.start(QStringLiteral(KESTRUM_CLI_PATH), args); }
    bool finished() const { return process.state() == QProcess::NotRunning; }
    int exitCode()
    {
        out += QString::fromUtf8(process.readAllStandardOutput());
        err += QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

// The simulator's record of what it was sent, without the line naming its terminal.
QString record(SimProcess &sim)
{
    return sim.output().section(QLatin1Char('\n'), 1);
}

// The window program over the real port, as the program puts it together.
struct NetworkWindow
{
    QTemporaryDir home;
    PortBackend port;
    SystemClock clock;
    ScriptedDialogs dialogs;
    QStringList log; // without time stamps
    MainWindow window;
    Kestrum app{window.screen(), dialogs, port, clock, WindowRig::exportedHome(home)};
    Commands commands{app};

    NetworkWindow()
    {
        app.log.onLine = [this](const QString &line) { log.append(line.mid(9)); };
        window.attach(app, commands);
    }
    ~NetworkWindow() { window.detach(); }
    bool start()
    {
        app.StartProgram(QString());
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
    bool logged(const QString &line) const { return log.contains(line); }
};

} // namespace

class TestNetworkE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyCommandSendsWhatItSendsOnTheLineAndDetectFindsIt();
    void theWindowReadsAllThroughAnAddressSetInTheDialog();
    void aServerThatGoesAwayIsAPulledCable();
    void openFailuresNameTheirCause_data();
    void openFailuresNameTheirCause();
};

void TestNetworkE2e::everyCommandSendsWhatItSendsOnTheLineAndDetectFindsIt()
{
    // Three converters: one on its pseudo-terminal, one behind each kind of accepter.
    SimProcess sims[3];
    for (SimProcess &sim : sims)
        QVERIFY(sim.start());
    Ser2Net server;
    const QString raw = server.serve(sims[1].ptyPath(), Ser2Net::Raw);
    const QString telnet = server.serve(sims[2].ptyPath(), Ser2Net::Rfc2217);
    QVERIFY(server.start());

    // The text's 0xFF goes out doubled on the Telnet link and comes back in the echo;
    // the file the read-all saves is written back whole, then with one change.
    const QList<QStringList> commands = {
        {"write", "150", "Dunvale \u00ff unit"},
        {"read-all", "--save", "<home>/unit.cfg"},
        {"write", "10", "4"},
        {"write-all", "<home>/unit.cfg"},
        {"write", "13", "2"},
        {"write-changed", "<home>/unit.cfg"},
    };

    // The three paths side by side, command after command.
    const QStringList ports = {sims[0].ptyPath(), raw, telnet};
    QTemporaryDir homes[3];
    QString outputs[3];
    for (const QStringList &command : commands) {
        CliRun runs[3];
        for (int path = 0; path < 3; ++path)
            runs[path].start(QStringList{"--home", homes[path].path(), "--port", ports[path]} +
                             command.join('\n').replace("<home>", homes[path].path()).split('\n'));
        for (int path = 0; path < 3; ++path) {
            QVERIFY(runs[path].process.waitForFinished(60000));
            QVERIFY2(runs[path].exitCode() == 0, qPrintable(runs[path].err));
            outputs[path] += runs[path].out;
        }
    }

    QVERIFY(record(sims[0]).contains(QStringLiteral("write item 150 = Dunvale \u00ff unit\n")));
    QVERIFY(record(sims[0]).contains(QStringLiteral("write item 13 = 2\n")));
    QVERIFY(record(sims[0]).contains(QStringLiteral("write item 13 = 0\n")));
    QVERIFY2(outputs[0].contains("13\tESPA out serial parity:\t2 odd parity\t0 no parity\n"),
             qPrintable(outputs[0]));
    for (int path : {1, 2}) {
        QCOMPARE(record(sims[path]), record(sims[0]));
        QCOMPARE(outputs[path], outputs[0]);
    }

    // detect tries only the named addresses (the machine's own devices are left
    // alone), and ports lists the number that reaches one.
    const QString closed = QStringLiteral("tcp://127.0.0.1:%1").arg(Ser2Net::freePort());
    QVERIFY(PortMap(homes[2].path()).writeLink(2, telnet, nullptr));
    CliRun detect, list;
    detect.start({"--home", homes[2].path(), "detect", "--device", closed, "--device", telnet});
    list.start({"--home", homes[2].path(), "ports"});
    QVERIFY(detect.process.waitForFinished(15000) && list.process.waitForFinished(15000));
    QCOMPARE(detect.exitCode(), 0);
    QCOMPARE(detect.out, "Com2\t" + telnet + "\tnetwork serial server\tconverter\n-\t" + closed +
                             "\tnetwork serial server\tno connection\n");
    QCOMPARE(list.exitCode(), 0);
    QVERIFY2(list.out.contains("Com2   " + telnet +
                               " network  (address in ports/com2)  network serial server\n"),
             qPrintable(list.out));
}

void TestNetworkE2e::theWindowReadsAllThroughAnAddressSetInTheDialog()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QVERIFY(sim.sendCommand(QStringLiteral("set 10 4")));
    Ser2Net server;
    const QString address = server.serve(sim.ptyPath(), Ser2Net::Rfc2217);
    QVERIFY(server.start());

    NetworkWindow rig;
    // Com1 leads nowhere until the dialog gives it the address.
    QVERIFY(rig.app.portMap().writeLink(1, rig.home.filePath(QStringLiteral("none")), nullptr));
    QVERIFY(rig.start());
    rig.dialogs.textAnswers = {address};
    auto *dialog = new SettingsDialog(rig.app, &rig.window);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QVERIFY(pressButton(*dialog, QStringLiteral("CmdNetworkAddress")));
    QCOMPARE(dialog->findChild<QLabel *>("LblDevice")->text(), address + " (network address)");
    QCOMPARE(dialog->findChild<QLabel *>("LblDeviceInfo")->text(),
             address + " \u2014 network serial server\nSave writes it into ports/com1");
    QVERIFY(pressButton(*dialog, QStringLiteral("CmdSave")));
    // Save connects in the background: the dialog is back before the server answered.
    QVERIFY(rig.app.datacom.IsComPortOpening());
    QFile entry(rig.home.filePath(QStringLiteral("ports/com1")));
    QVERIFY(!QFileInfo(entry.fileName()).isSymLink() && entry.open(QIODevice::ReadOnly));
    QCOMPARE(entry.readAll(), (address + QLatin1Char('\n')).toUtf8());
    QTRY_VERIFY(rig.logged(QStringLiteral("Com: 1 opened with: 9600,N,8,1")));
    dialog->close();

    QVERIFY(pressButton(rig.window, QStringLiteral("CmdLeesAlles")));
    QTRY_VERIFY_WITH_TIMEOUT(rig.logged(ReadAllDone), 20000);
    QCOMPARE(rig.window.screen().selectedIndex(10), 4);
}

void TestNetworkE2e::aServerThatGoesAwayIsAPulledCable()
{
    SimProcess sim;
    QVERIFY(sim.start());
    Ser2Net server;
    const QString address = server.serve(sim.ptyPath(), Ser2Net::Raw);
    QVERIFY(server.start());
    NetworkWindow rig;
    QVERIFY(rig.app.portMap().writeLink(1, address, nullptr));
    QVERIFY(rig.start());
    QTRY_VERIFY(rig.logged(QStringLiteral("Com: 1 opened with: 9600,N,8,1")));

    QVERIFY(pressButton(rig.window, QStringLiteral("CmdLeesAlles")));
    QTRY_VERIFY_WITH_TIMEOUT(sim.output().contains(QStringLiteral("read item 11\n")), 10000);
    server.stop();
    QTRY_VERIFY2(rig.logged(QStringLiteral("Error on comport: the server closed the connection")),
                 qPrintable(rig.log.join('\n')));

    // Until the request's time runs out the window goes on as usual, without
    // spinning on the dead link.
    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpuBefore = std::clock();
    qint64 longestGap = 0;
    qint64 last = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, wall.elapsed() - last);
        last = wall.elapsed();
    });
    watch.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(rig.window.screen().progressText().contains(QStringLiteral(" ERROR ")),
                             10000);
    const double share =
        double(std::clock() - cpuBefore) / CLOCKS_PER_SEC / (double(wall.elapsed()) / 1000.0);
    QVERIFY2(share < 0.35, qPrintable(QString::number(share)));
    QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
    rig.commands.CmdCancelReadWrite();

    // The server back: "Open ComPort" connects again, and the converter answers.
    QVERIFY(server.start());
    rig.log.clear();
    QVERIFY(pressButton(rig.window, QStringLiteral("CmdReOpenCom")));
    QTRY_VERIFY(rig.logged(QStringLiteral("Com: 1 opened with: 9600,N,8,1")));
    rig.commands.CmdReadSingleSetting(10);
    QTRY_VERIFY(rig.window.screen().progressText().endsWith(
        QStringLiteral("Reading setting 10  ESPA out serial speed: 9600 baud OK\r\n")));
}

void TestNetworkE2e::openFailuresNameTheirCause_data()
{
    QTest::addColumn<QString>("address");  // <port>: the test server's, else a free one
    QTest::addColumn<bool>("throughCom3"); // ports/com3 holds the address, --port 3
    QTest::addColumn<bool>("listens");
    QTest::addColumn<QByteArray>("greet"); // what the test server sends on a connection
    QTest::addColumn<QString>("reason");

    const QString refused = "connection refused (nothing accepts connections on port <port>)";
    QTest::newRow("nothing listens")
        << "tcp://127.0.0.1:<port>" << false << false << QByteArray() << refused;
    QTest::newRow("a number whose entry names an address")
        << "tcp://127.0.0.1:<port>" << true << false << QByteArray()
        << refused + " (tcp://127.0.0.1:<port>)";
    QTest::newRow("a name that does not resolve")
        << "rfc2217://no-such-host.invalid:4001" << false << false << QByteArray()
        << "name not found: no address for no-such-host.invalid";
    QTest::newRow("a server that never answers the negotiation")
        << "rfc2217://127.0.0.1:<port>" << false << true << QByteArray()
        << "time-out: the server did not finish the serial-port negotiation within 3 s (no "
           "answer to: DO BINARY, WILL BINARY, DO COM-PORT-OPTION, the baud rate, the data bits, "
           "the parity, the stop bits, the flow control)";
    QTest::newRow("a server that refuses the serial-port option")
        << "rfc2217://127.0.0.1:<port>" << false << true
        << QByteArray::fromHex("fffd00 fffb00 fffe2c")
        << "the server refused COM-PORT-OPTION (DONT COM-PORT-OPTION): it does not set serial "
           "lines (RFC 2217)";
}

void TestNetworkE2e::openFailuresNameTheirCause()
{
    QFETCH(QString, address);
    QFETCH(bool, throughCom3);
    QFETCH(bool, listens);
    QFETCH(QByteArray, greet);
    QFETCH(QString, reason);
    QTcpServer server;
    QVERIFY(!listens || server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *client = server.nextPendingConnection())
            client->write(greet);
    });
    const QString port = QString::number(listens ? server.serverPort() : Ser2Net::freePort());
    address.replace(QStringLiteral("<port>"), port);
    reason.replace(QStringLiteral("<port>"), port);
    QTemporaryDir home;
    QVERIFY(!throughCom3 || PortMap(home.path()).writeLink(3, address, nullptr));

    QElapsedTimer wall;
    wall.start();
    CliRun cli;
    const QString label = throughCom3 ? QStringLiteral("3") : address;
    cli.start({"--home", home.path(), "--port", label, "read", "0"});
    QTRY_VERIFY_WITH_TIMEOUT(cli.finished(), 15000);
    QCOMPARE(cli.exitCode(), 2);
    QVERIFY2(cli.err.contains("Error opening ComPort:  " + label + "Error: " + reason + '\n'),
             qPrintable(cli.err));
    // Connecting and negotiating take at most 3 s each.
    QVERIFY2(wall.elapsed() < 9000, qPrintable(QString::number(wall.elapsed())));
}

QTEST_MAIN(TestNetworkE2e)
#include "tst_network_e2e.moc"
