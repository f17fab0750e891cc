// The converter search against kestrum-sim on real pseudo-terminals: from the
// settings dialog's "Find converter" and "Keep this adapter" buttons and from
// kestrum-cli detect. The program folder's ports/comN links name the terminals;
// every search gets the simulators' alone and a lock folder of the test's own.

#include "base/SetupFile.h"
#include "cli/CliRunner.h"
#include "serial/QtSerialBackend.h"
#include "support/FileBytes.h"
#include "support/SimProcess.h"
#include "support/TestApp.h"
#include "support/WindowRig.h"
#include "window/SettingsDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString firstSetupLine(const QString &home)
{
    QFile file(home + QStringLiteral("/Kestrum.set"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine()).trimmed()
                                          : QString();
}

} // namespace

class TestFindE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theDialogSelectsTheConverterAmongSilentAndMissingDevices();
    void aDeviceWithoutANumberGetsOneAndKeepTiesItToTheAdapter();
    void detectListsEveryDeviceTried_data();
    void detectListsEveryDeviceTried();

private:
    // Starts a simulator linked as ports/comN of home (no link for 0).
    SimProcess &sim(const QString &home, int number, const QStringList &extra = {});
    static void search(SettingsDialog &dialog);

    std::vector<std::unique_ptr<SimProcess>> m_sims;
    QTemporaryDir m_locks;
};

SimProcess &TestFindE2e::sim(const QString &home, int number, const QStringList &extra)
{
    QDir(home).mkpath(QStringLiteral("ports"));
    m_sims.push_back(std::make_unique<SimProcess>());
    const QStringList link{QStringLiteral("--link"),
                           home + QStringLiteral("/ports/com%1").arg(number)};
    if (!m_sims.back()->start((number > 0 ? link : QStringList()) + extra))
        qWarning("kestrum-sim did not start");
    return *m_sims.back();
}

void TestFindE2e::search(SettingsDialog &dialog)
{
    QVERIFY(pressButton(dialog, QStringLiteral("CmdFindConverter")));
    QVERIFY(dialog.isSearching());
    QVERIFY(!dialog.findChild<QPushButton *>("CmdSave")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isSearching(), 10000);
}

void TestFindE2e::theDialogSelectsTheConverterAmongSilentAndMissingDevices()
{
    m_sims.clear();
    TestApp t;
    t.app.portSources.systemPorts = [] { return QList<SystemPort>(); };
    t.app.portSources.lockFolder = m_locks.path();
    const QString silent = sim(t.home.path(), 1, {"--fault", "silent"}).ptyPath();
    SimProcess &healthy = sim(t.home.path(), 3);
    t.app.searchDevices = {silent, healthy.ptyPath()};
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/pts/99"), t.path("ports/com2")));
    t.app.StartProgram(QString());
    QStringList log;
    t.app.log.onLine = [&log](const QString &line) { log << line.mid(line.indexOf(' ') + 1); };
    SettingsDialog dialog(t.app, nullptr);
    dialog.show();
    auto *text = dialog.findChild<QLabel *>("LblFindConverter");

    t.app.engine.ReadAllRequest = -1;
    QVERIFY(pressButton(dialog, QStringLiteral("CmdFindConverter")));
    QCOMPARE(text->text(),
             QStringLiteral("The unit is busy; try again when the current work has ended."));
    QVERIFY(!dialog.isSearching());
    t.app.engine.ReadAllRequest = 0;

    // Save waits for the search's end; it would re-open the port under a probe.
    QVERIFY(pressButton(dialog, QStringLiteral("CmdWijzigen")));
    search(dialog);
    QCOMPARE(dialog.findChild<QComboBox *>("ComboCom")->currentText(), QStringLiteral("Com3"));
    QCOMPARE(text->text(), "Converter found on Com3 (" + healthy.ptyPath() + ")");
    QVERIFY(healthy.waitForOutput("wake-up\nread item 0\n"));
    // The program's port was closed for the search and is open again on Com1.
    QCOMPARE(log, QStringList({"Comport closed by software.", "Comport closed by software.",
                               "Com: 1 opened with: 9600,N,8,1"}));
    QCOMPARE(t.port.openedDevices, QStringList({silent, silent}));
    QVERIFY(t.port.isOpen());
    QCOMPARE(firstSetupLine(t.home.path()), QString());
    QCOMPARE(dialog.findChild<QPushButton *>("CmdKeepAdapter")->toolTip(),
             healthy.ptyPath() + " has no name in /dev/serial/by-id, so it cannot be kept by "
                                 "adapter (USB adapters have one).");

    QVERIFY(pressButton(dialog, QStringLiteral("CmdSave")));
    QCOMPARE(firstSetupLine(t.home.path()), QStringLiteral("0        Compoort ->2"));
    QCOMPARE(t.port.openedDevices.last(), healthy.ptyPath());

    // Change pressed during a search: Save waits for its end all the same.
    QVERIFY(healthy.sendCommand(QStringLiteral("fault silent")));
    QVERIFY(pressButton(dialog, QStringLiteral("CmdFindConverter")));
    QVERIFY(pressButton(dialog, QStringLiteral("CmdWijzigen")));
    QVERIFY(!dialog.findChild<QPushButton *>("CmdSave")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isSearching(), 10000);
    QVERIFY(dialog.findChild<QPushButton *>("CmdSave")->isEnabled());
    QVERIFY2(text->text().startsWith("No converter answered. Tried: Com1 (" + silent + "), Com3 (" +
                                     healthy.ptyPath() + ")"),
             qPrintable(text->text()));
    QCOMPARE(dialog.findChild<QComboBox *>("ComboCom")->currentText(), QStringLiteral("Com3"));

    // A dialog closed half-way through a search gives the program its port back.
    QPointer<SettingsDialog> closing = new SettingsDialog(t.app, nullptr);
    closing->show();
    QVERIFY(pressButton(*closing, QStringLiteral("CmdFindConverter")));
    QVERIFY(pressButton(*closing, QStringLiteral("CmdClose")));
    QTRY_VERIFY(closing.isNull());
    QVERIFY(t.port.isOpen());
    QCOMPARE(log.last(), QStringLiteral("Com: 3 opened with: 9600,N,8,1"));
}

void TestFindE2e::aDeviceWithoutANumberGetsOneAndKeepTiesItToTheAdapter()
{
    if (QFile::exists(QStringLiteral("/dev/ttyUSB0")))
        QSKIP("Com1 has a device here; the free number would be another one.");
    m_sims.clear();
    TestApp t;
    const QString pty = sim(t.home.path(), 0).ptyPath();
    QTemporaryDir byId;
    const QString name = byId.filePath(QStringLiteral("usb-Brivane_Adapter_B123-if00-port0"));
    QVERIFY(QFile::link(pty, name));
    t.app.portSources.byIdFolder = byId.path();
    t.app.portSources.lockFolder = m_locks.path();
    t.app.portSources.systemPorts = [pty] {
        return QList<SystemPort>{{pty, "Test adapter", "Brivane", "B123"}};
    };
    t.app.searchDevices = {pty};
    SettingsDialog dialog(t.app, nullptr);
    dialog.show();
    auto *keep = dialog.findChild<QPushButton *>("CmdKeepAdapter");
    auto *text = dialog.findChild<QLabel *>("LblFindConverter");

    search(dialog);
    QCOMPARE(dialog.findChild<QComboBox *>("ComboCom")->currentText(), QStringLiteral("Com1"));
    QCOMPARE(text->text(), "Converter found on Com1 (" + pty + "); Save links ports/com1 to it");
    QCOMPARE(dialog.findChild<QLabel *>("LblDeviceInfo")->text(),
             pty + QString::fromUtf8(" — Test adapter, Brivane, serial B123\nby id: ") + name +
                 "\nSave links ports/com1 to it");
    QVERIFY(!QFileInfo(t.path("ports/com1")).isSymLink());

    // A link that cannot be made saves nothing.
    QVERIFY(QDir(t.path("ports")).removeRecursively() && WriteAll(t.path("ports"), ""));
    QVERIFY(pressButton(dialog, QStringLiteral("CmdSave")));
    QVERIFY(dialog.isEditing() && !QFile::exists(t.path("Kestrum.set")));
    QVERIFY(text->text().startsWith("cannot make the folder " + t.path("ports")));
    QVERIFY(QFile::remove(t.path("ports")));

    QVERIFY(pressButton(dialog, QStringLiteral("CmdSave")));
    QCOMPARE(QFileInfo(t.path("ports/com1")).symLinkTarget(), pty);
    QCOMPARE(firstSetupLine(t.home.path()), QStringLiteral("0        Compoort ->0"));

    QCOMPARE(keep->text(), QStringLiteral("Keep this adapter as Com1"));
    // Another program's fresh link, about to replace com1 too, stays its own.
    QVERIFY(QFile::link(QStringLiteral("/dev/other"), t.path("ports/com1.new")));
    QVERIFY(pressButton(dialog, QStringLiteral("CmdKeepAdapter")));
    QCOMPARE(QFileInfo(t.path("ports/com1")).symLinkTarget(), name);
    QCOMPARE(QFileInfo(t.path("ports/com1.new")).symLinkTarget(), QStringLiteral("/dev/other"));
    QCOMPARE(keep->toolTip(), QStringLiteral("Com1 follows this adapter already."));
    QCOMPARE(DeviceForPort(1, t.home.path()), name);
    QCOMPARE(t.app.portMap().port(1).systemPath, pty);
    QVERIFY(!keep->isEnabled());
}

void TestFindE2e::detectListsEveryDeviceTried_data()
{
    // Each device "N kind": linked as ports/comN, or for 0 named through a link of
    // its own and described by the system as "Test adapter". A kind answers, is
    // silent, is held (TIOCEXCL, flock) or has another program's lock file: of
    // minicom (also cu, picocom, lockdev), QSerialPort, named after the device's
    // last part ("short"), without a number, or of a process that has ended.
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<int>("taken"); // ports/com1..N lead nowhere
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("results"); // number, description, result
    QTest::addColumn<QString>("setup");
    QTest::newRow("the lowest number wins")
        << QStringList{"1 silent", "2 answers", "4 answers"} << 0 << 0
        << QStringList{"Com1 - no answer", "Com2 - converter", "Com4 - converter"}
        << "0        Compoort ->1";
    QTest::newRow("a device another program holds gets nothing")
        << QStringList{"1 silent", "2 exclusive", "3 minicom", "4 flocked"} << 0 << 1
        << QStringList{"Com1 - no answer", "Com2 - busy", "Com3 - busy", "Com4 - busy"} << "";
    QTest::newRow("every form of lock file; a stale one goes")
        << QStringList{"1 qt", "2 stale-bytes", "3 short", "4 garbage", "5 stale"} << 0 << 0
        << QStringList{"Com1 - busy", "Com2 - converter", "Com3 - busy", "Com4 - busy",
                       "Com5 - converter"}
        << "0        Compoort ->1";
    QTest::newRow("a link hides no lock")
        << QStringList{"0 minicom"} << 0 << 1 << QStringList{"- Test adapter busy"} << "";
    QTest::newRow("the free number after a link")
        << QStringList{"0 answers"} << 1 << 0 << QStringList{"- Test adapter converter"}
        << "0        Compoort ->1";
    QTest::newRow("every number taken")
        << QStringList{"0 answers"} << 30 << 1 << QStringList{"- Test adapter converter"} << "";
}

void TestFindE2e::detectListsEveryDeviceTried()
{
    QFETCH(QStringList, devices);
    QFETCH(int, taken);
    QFETCH(int, exitCode);
    QFETCH(QStringList, results);
    QFETCH(QString, setup);
    if (taken == 1 && QFile::exists(QStringLiteral("/dev/ttyUSB1")))
        QSKIP("Com2 has a device here; the free number would be another one.");
    m_sims.clear();
    QTemporaryDir home, locks, byId;
    QDir(home.path()).mkpath(QStringLiteral("ports"));
    for (int n = 1; n <= taken; ++n)
        QVERIFY(QFile::link("/none", home.filePath(QStringLiteral("ports/com%1").arg(n))));
    const pid_t gone = ::fork(); // a process that has ended, for the stale lock file
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);

    QStringList arguments{"kestrum-cli", "--home", home.path(), "detect", "--save"};
    QList<SystemPort> described;
    std::vector<int> held;
    QMap<QString, QByteArray> lockFiles; // those that must stay as they are
    for (const QString &device : devices) {
        const int number = device.section(' ', 0, 0).toInt();
        const QString kind = device.section(' ', 1);
        const QString pty = sim(home.path(), number,
                                kind == "silent" ? QStringList{"--fault", "silent"} : QStringList())
                                .ptyPath();
        QString named = pty;
        if (number == 0) {
            named = byId.filePath(QStringLiteral("usb-Test-%1").arg(m_sims.size()));
            QVERIFY(QFile::link(pty, named));
            described.append({pty, "Test adapter", "", ""});
        }
        arguments << "--device" << named;
        if (kind == "exclusive" || kind == "flocked") {
            held.push_back(::open(pty.toLocal8Bit().constData(), O_RDWR | O_NOCTTY));
            QCOMPARE(kind == "flocked" ? ::flock(held.back(), LOCK_EX | LOCK_NB)
                                       : ::ioctl(held.back(), TIOCEXCL),
                     0);
        }
        const bool stale = kind.startsWith("stale");
        qint32 pid = stale ? gone : ::getppid();
        const QByteArray n = QByteArray::number(pid);
        const QByteArray lock =
            QMap<QString, QByteArray>{
                {"minicom", n.rightJustified(10) + '\n'},
                {"qt", n + "\nminicom\nhost\n"},
                {"short", n + '\n'},
                {"garbage", "locked\n"},
                {"stale", n + '\n'},
                {"stale-bytes", QByteArray(reinterpret_cast<const char *>(&pid), sizeof pid)}}
                .value(kind);
        const QString lockFile =
            locks.filePath((kind == "short" ? "LCK.." : "LCK..pts_") + pty.section('/', -1));
        QVERIFY(lock.isEmpty() || WriteAll(lockFile, lock));
        if (!lock.isEmpty() && !stale)
            lockFiles.insert(lockFile, lock);
    }

    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const CliParseResult parsed = ParseCliArguments(arguments);
    QtSerialBackend port;
    SystemClock clock;
    CliRunner runner(parsed.options, port, clock, home.path(), outStream, errStream);
    runner.app().portSources.lockFolder = locks.path();
    runner.app().portSources.systemPorts = [described] { return described; };
    QCOMPARE(runner.run(), exitCode);
    for (const int fd : held)
        ::close(fd);

    QStringList seen;
    for (const QString &line : out.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        QVERIFY2(fields.size() == 4 && arguments.contains(fields[1]), qPrintable(line));
        seen << fields[0] + ' ' + fields[2] + ' ' + fields[3];
    }
    QCOMPARE(seen, results);
    QCOMPARE(firstSetupLine(home.path()), setup);
    QCOMPARE(err.contains("every Com number is taken"), taken == 30);
    // Nothing reached a device held otherwise; no lock file but the others' is left.
    for (const QString &path : lockFiles.keys())
        QCOMPARE(ReadAll(path), lockFiles[path]);
    QCOMPARE(QDir(locks.path()).entryList(QDir::Files | QDir::System).size(), lockFiles.size());
    for (qsizetype i = 0; i < devices.size(); ++i)
        QCOMPARE(m_sims[size_t(i)]->output().contains("wake-up"),
                 results[i].endsWith("converter") || results[i].endsWith("no answer"));
}

QTEST_MAIN(TestFindE2e)
#include "tst_find_e2e.moc"
