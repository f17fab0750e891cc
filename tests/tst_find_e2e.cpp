// The converter search against kestrum-sim on real pseudo-terminals: from the
// settings dialog's "Find converter" and "Keep this adapter" buttons and from
// kestrum-cli detect. The program folder's ports/comN links name the terminals.

#include "base/SetupFile.h"
#include "support/SimProcess.h"
#include "support/TestApp.h"
#include "support/WindowRig.h"
#include "window/SettingsDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

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
    const QString silent = sim(t.home.path(), 1, {"--fault", "silent"}).ptyPath();
    SimProcess &healthy = sim(t.home.path(), 3);
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

    QVERIFY(pressButton(dialog, QStringLiteral("CmdSave")));
    QCOMPARE(firstSetupLine(t.home.path()), QStringLiteral("0        Compoort ->2"));
    QCOMPARE(t.port.openedDevices.last(), healthy.ptyPath());

    QVERIFY(healthy.sendCommand(QStringLiteral("fault silent")));
    search(dialog);
    QVERIFY2(text->text().startsWith("No converter answered. Tried: Com1 (" + silent + "), Com3 (" +
                                     healthy.ptyPath() + ")"),
             qPrintable(text->text()));
    QCOMPARE(dialog.findChild<QComboBox *>("ComboCom")->currentText(), QStringLiteral("Com3"));
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
    t.app.portSources.systemPorts = [pty] {
        return QList<SystemPort>{{pty, "Test adapter", "Brivane", "B123"}};
    };
    SettingsDialog dialog(t.app, nullptr);
    dialog.show();
    auto *keep = dialog.findChild<QPushButton *>("CmdKeepAdapter");

    search(dialog);
    QCOMPARE(dialog.findChild<QComboBox *>("ComboCom")->currentText(), QStringLiteral("Com1"));
    QCOMPARE(dialog.findChild<QLabel *>("LblFindConverter")->text(),
             "Converter found on Com1 (" + pty + "); Save links ports/com1 to it");
    QCOMPARE(dialog.findChild<QLabel *>("LblDeviceInfo")->text(),
             pty + QString::fromUtf8(" — Test adapter, Brivane, serial B123\nby id: ") + name +
                 "\nSave links ports/com1 to it");
    QVERIFY(!QFileInfo(t.path("ports/com1")).isSymLink());

    QVERIFY(pressButton(dialog, QStringLiteral("CmdSave")));
    QCOMPARE(QFileInfo(t.path("ports/com1")).symLinkTarget(), pty);
    QCOMPARE(firstSetupLine(t.home.path()), QStringLiteral("0        Compoort ->0"));

    QCOMPARE(keep->text(), QStringLiteral("Keep this adapter as Com1"));
    QVERIFY(pressButton(dialog, QStringLiteral("CmdKeepAdapter")));
    QCOMPARE(QFileInfo(t.path("ports/com1")).symLinkTarget(), name);
    QCOMPARE(DeviceForPort(1, t.home.path()), name);
    QCOMPARE(t.app.portMap().port(1).systemPath, pty);
    QVERIFY(!keep->isEnabled());
}

void TestFindE2e::detectListsEveryDeviceTried_data()
{
    QTest::addColumn<QStringList>("devices"); // Com1, Com2, ...: "answers", "silent", "held", ""
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("results");
    QTest::newRow("the lowest number wins")
        << QStringList{"silent", "answers", "", "answers"} << 0
        << QStringList{"Com1 no answer", "Com2 converter", "Com4 converter"};
    QTest::newRow("none answers, a held device is not probed")
        << QStringList{"silent", "held"} << 1 << QStringList{"Com1 no answer", "Com2 busy"};
}

void TestFindE2e::detectListsEveryDeviceTried()
{
    QFETCH(QStringList, devices);
    QFETCH(int, exitCode);
    QFETCH(QStringList, results);
    m_sims.clear();
    QTemporaryDir home;
    QMap<QString, QString> ptys;
    QSerialPort held;
    QString heldPath;
    for (int n = 1; n <= devices.size(); ++n) {
        const QString kind = devices[n - 1];
        if (kind.isEmpty())
            continue;
        SimProcess &s = sim(home.path(), n,
                            kind == "silent" ? QStringList{"--fault", "silent"} : QStringList());
        ptys.insert(QStringLiteral("Com%1").arg(n), s.ptyPath());
        if (kind == "held") {
            heldPath = s.ptyPath();
            held.setPortName(heldPath);
            QVERIFY(held.open(QIODevice::ReadWrite));
        }
    }

    QProcess cli;
    cli.start(QStringLiteral(KESTRUM_CLI_PATH), {"--home", home.path(), "detect", "--save"});
    QVERIFY(cli.waitForFinished(15000));
    QCOMPARE(cli.exitCode(), exitCode);
    QStringList seen;
    for (const QString &line : QString::fromUtf8(cli.readAllStandardOutput()).split('\n')) {
        const QStringList fields = line.split('\t');
        if (fields.size() == 4 && ptys.contains(fields[0])) {
            QCOMPARE(fields[1], ptys[fields[0]]);
            QCOMPARE(fields[2], QStringLiteral("-"));
            seen << fields[0] + ' ' + fields[3];
        }
    }
    QCOMPARE(seen, results);
    QCOMPARE(firstSetupLine(home.path()),
             exitCode == 0 ? QStringLiteral("0        Compoort ->1") : QString());
    for (const auto &s : m_sims)
        QCOMPARE(s->output().contains("wake-up"), s->ptyPath() != heldPath);
}

QTEST_MAIN(TestFindE2e)
#include "tst_find_e2e.moc"
