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

#include <sys/resource.h>

#include <memory>

namespace {

const QString ReadAllDone = QStringLiteral("Reading of all settings was successfull.");

struct CliRun
{
    QProcess process;
    QStringList arguments;
    QString out;
    QString err;

    void start(const QStringList &args)
    {
        arguments = args;
        process.start(QStringLiteral(KESTRUM_CLI_PATH), args);
    }
    bool finished() const { return process.state() == QProcess::NotRunning; }
    int exitCode()
    {
        out += QString::fromUtf8(process.readAllStandardOutput());
        err += QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

// A settings file of all 250 items as the program writes them, with these numbers.
bool writeSettingsFile(const QString &path, const std::map<int, int> &numbers)
{
    QByteArray content;
    for (int item = 0; item < 250; ++item) {
        const auto it = numbers.find(item);
        const QString value = item >= 150           ? QString()
                              : it != numbers.end() ? QString::number(it->second)
                                                    : QStringLiteral("0");
        content += QStringLiteral("%1    ->%2\r\n").arg(item).arg(value).toLatin1();
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The simulator's record of what it was sent, without the line naming its terminal.
QString record(SimProcess &sim)
{
    return sim.output().section(QLatin1Char('\n'), 1);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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
    void everyCommandSendsWhatItSendsOnTheLine();
    void theWindowReadsAllThroughAnAddressSetInTheDialog();
    void aServerThatGoesAwayIsAPulledCable();
    void openFailuresNameTheirCause_data();
    void openFailuresNameTheirCause();
    void detectAndPortsShowTheAddresses();
};

void TestNetworkE2e::everyCommandSendsWhatItSendsOnTheLine()
{
    // Three converters: one on its pseudo-terminal, one behind each kind of accepter.
    SimProcess sims[3];
    for (SimProcess &sim : sims)
        QVERIFY(sim.start());
    Ser2Net server;
    const QString raw = server.serve(sims[1].ptyPath(), Ser2Net::Raw);
    const QString telnet = server.serve(sims[2].ptyPath(), Ser2Net::Rfc2217);
    QVERIFY(server.start());

    QTemporaryDir files;
    const QString fileA = files.filePath(QStringLiteral("a.cfg"));
    const QString fileB = files.filePath(QStringLiteral("b.cfg"));
    QVERIFY(writeSettingsFile(fileA, {{0, 2}, {10, 4}, {15, 30}, {25, 45}}));
    QVERIFY(writeSettingsFile(fileB, {{0, 2}, {10, 3}, {13, 2}, {15, 30}, {25, 45}}));
    // The text's 0xFF goes out doubled on the Telnet link and comes back in the echo.
    const QList<QStringList> commands = {
        {QStringLiteral("write"), QStringLiteral("150"), QStringLiteral("Dunvale \u00ff unit")},
        {QStringLiteral("read-all")},
        {QStringLiteral("write-all"), fileA},
        {QStringLiteral("write-changed"), fileB},
    };

    // The three paths run side by side, each its commands one after the other.
    const QStringList ports = {sims[0].ptyPath(), raw, telnet};
    QTemporaryDir homes[3];
    std::unique_ptr<CliRun> runs[3];
    int step[3] = {0, 0, 0};
    QString outputs[3];
    const auto advance = [&](int path) {
        if (runs[path] && !runs[path]->finished())
            return false;
        if (runs[path]) {
            const int exit = runs[path]->exitCode();
            outputs[path] += runs[path]->out;
            if (exit != 0)
                qWarning("%s: exit %d: %s", qPrintable(runs[path]->arguments.join(' ')), exit,
                         qPrintable(runs[path]->err));
            runs[path].reset();
        }
        if (step[path] == int(commands.size()))
            return true;
        runs[path] = std::make_unique<CliRun>();
        runs[path]->start(QStringList{"--home", homes[path].path(), "--port", ports[path]} +
                          commands[step[path]++]);
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(advance(0) & advance(1) & advance(2), 120000);

    QVERIFY(record(sims[0]).contains(QStringLiteral("write item 150 = Dunvale \u00ff unit\n")));
    QVERIFY(record(sims[0]).contains(QStringLiteral("write item 13 = 2\n")));
    QVERIFY2(outputs[0].contains(QStringLiteral("10\tESPA out serial speed:\t4 19200 baud\t3 "
                                                "9600 baud\n")),
             qPrintable(outputs[0]));
    for (int path : {1, 2}) {
        QCOMPARE(record(sims[path]), record(sims[0]));
        QCOMPARE(outputs[path], outputs[0]);
    }
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
    QVERIFY(rig.window.screen().progressText().contains(
        QStringLiteral("Reading setting 37  ESPA in tx-data delay: no delay OK")));
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
    const double cpuBefore = cpuSeconds();
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
    const double share = (cpuSeconds() - cpuBefore) / (double(wall.elapsed()) / 1000.0);
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
    QTest::addColumn<QString>("port");     // --port; <port> stands for the test server's port
    QTest::addColumn<QString>("entry");    // ports/com3 holds it, when not empty
    QTest::addColumn<QByteArray>("greet"); // what the test server sends on a connection
    QTest::addColumn<QString>("report");   // after "Error opening ComPort: "

    const QString closed = QStringLiteral("tcp://127.0.0.1:%1").arg(Ser2Net::freePort());
    QTest::newRow("nothing listens")
        << closed << "" << QByteArray()
        << " " + closed + "Error: connection refused (nothing accepts connections on port " +
               closed.section(':', 2) + ")";
    QTest::newRow("a number whose entry names an address")
        << "3" << closed << QByteArray()
        << " 3Error: connection refused (nothing accepts connections on port " +
               closed.section(':', 2) + ") (" + closed + ")";
    QTest::newRow("a name that does not resolve")
        << "rfc2217://no-such-host.invalid:4001"
        << "" << QByteArray()
        << " rfc2217://no-such-host.invalid:4001Error: name not found: no address for "
           "no-such-host.invalid";
    QTest::newRow("a server that never answers the negotiation")
        << "rfc2217://127.0.0.1:<port>"
        << "" << QByteArray()
        << " rfc2217://127.0.0.1:<port>Error: time-out: the server did not finish the serial-port "
           "negotiation within 3 s (no answer to: DO BINARY, WILL BINARY, DO COM-PORT-OPTION, "
           "the baud rate, the data bits, the parity, the stop bits, the flow control)";
    QTest::newRow("a server that refuses the serial-port option")
        << "rfc2217://127.0.0.1:<port>"
        << "" << QByteArray::fromHex("fffd00 fffb00 fffe2c")
        << " rfc2217://127.0.0.1:<port>Error: the server refused COM-PORT-OPTION (DONT "
           "COM-PORT-OPTION): it does not set serial lines (RFC 2217)";
}

void TestNetworkE2e::openFailuresNameTheirCause()
{
    QFETCH(QString, port);
    QFETCH(QString, entry);
    QFETCH(QByteArray, greet);
    QFETCH(QString, report);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *client = server.nextPendingConnection())
            client->write(greet);
    });
    port.replace(QStringLiteral("<port>"), QString::number(server.serverPort()));
    report.replace(QStringLiteral("<port>"), QString::number(server.serverPort()));
    QTemporaryDir home;
    if (!entry.isEmpty())
        QVERIFY(PortMap(home.path()).writeLink(3, entry, nullptr));

    QElapsedTimer wall;
    wall.start();
    CliRun cli;
    cli.start({"--home", home.path(), "--port", port, "read", "0"});
    QTRY_VERIFY_WITH_TIMEOUT(cli.finished(), 15000);
    QCOMPARE(cli.exitCode(), 2);
    QVERIFY2(cli.err.contains(QStringLiteral("Error opening ComPort: ") + report + '\n'),
             qPrintable(cli.err));
    // Connecting and negotiating take at most 3 s each.
    QVERIFY2(wall.elapsed() < 9000, qPrintable(QString::number(wall.elapsed())));
}

void TestNetworkE2e::detectAndPortsShowTheAddresses()
{
    SimProcess sim;
    QVERIFY(sim.start());
    Ser2Net server;
    const QString address = server.serve(sim.ptyPath(), Ser2Net::Rfc2217);
    QVERIFY(server.start());
    const QString closed = QStringLiteral("tcp://127.0.0.1:%1").arg(Ser2Net::freePort());
    QTemporaryDir home;
    QVERIFY(PortMap(home.path()).writeLink(2, address, nullptr));

    // Only the named addresses are tried; the machine's own devices are left alone.
    CliRun detect;
    detect.start({"--home", home.path(), "detect", "--device", closed, "--device", address});
    QTRY_VERIFY_WITH_TIMEOUT(detect.finished(), 15000);
    QCOMPARE(detect.exitCode(), 0);
    QCOMPARE(detect.out, "Com2\t" + address + "\tnetwork serial server\tconverter\n-\t" + closed +
                             "\tnetwork serial server\tno connection\n");

    CliRun ports;
    ports.start({"--home", home.path(), "ports"});
    QTRY_VERIFY(ports.finished());
    QCOMPARE(ports.exitCode(), 0);
    QVERIFY2(ports.out.contains("Com2   " + address.leftJustified(22) +
                                " network  (address in ports/com2)  network serial server\n"),
             qPrintable(ports.out));
}

QTEST_MAIN(TestNetworkE2e)
#include "tst_network_e2e.moc"
