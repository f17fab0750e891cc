// Faults of the disk under a whole application: a log folder that is read-only or
// full, a program folder that is read-only at start-up or full when saving, a
// settings file of 100 MB, odd files where the program keeps its own. The program
// keeps working, shows only the messages it is meant to show, and no file that was
// there before is lost or changed.
//
// Read-only and full folders are real file systems: a small tmpfs mounted over the
// folder (permission bits do not stop root, which the tests often run as). Where the
// machine does not allow mounting, those cases skip and say why.

#include "app/Commands.h"
#include "base/SetupFile.h"
#include "support/EngineRig.h"
#include "support/FileSizeLimit.h"
#include "support/TestApp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QString BoxTitle = QStringLiteral("Kestrum by Brivane");
const QString DayLog = QStringLiteral("Log/07122026.log"); // the fake clock's day

// A tmpfs mounted over a folder for the life of this object. Where mounting is not
// allowed, a user other than root can still make a plain folder read-only through its
// permission bits; a full folder needs the mount.
class Tmpfs
{
public:
    Tmpfs() = default;
    Tmpfs(const Tmpfs &) = delete;
    Tmpfs &operator=(const Tmpfs &) = delete;
    ~Tmpfs()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
        else if (m_plainReadOnly)
            QFile::setPermissions(QFile::decodeName(m_path),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // True when the folder is a fresh tmpfs of sizeKb, or (allowPlain) a plain folder
    // that makeReadOnly() can protect by its permission bits.
    bool mount(const QString &folder, int sizeKb, bool allowPlain)
    {
        m_path = QFile::encodeName(folder);
        m_options = "size=" + QByteArray::number(sizeKb) + "k";
        if (::mount("tmpfs", m_path.constData(), "tmpfs", 0, m_options.constData()) == 0) {
            m_mounted = true;
            return true;
        }
        error = QString::fromLocal8Bit(std::strerror(errno));
        m_plain = allowPlain && ::geteuid() != 0;
        return m_plain;
    }
    bool makeReadOnly()
    {
        if (m_plain) {
            m_plainReadOnly = QFile::setPermissions(QFile::decodeName(m_path),
                                                    QFile::ReadOwner | QFile::ExeOwner);
            return m_plainReadOnly;
        }
        if (::mount("tmpfs", m_path.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                    m_options.constData()) != 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        return true;
    }

    QString error;

private:
    QByteArray m_path;
    QByteArray m_options;
    bool m_mounted = false;
    bool m_plain = false;
    bool m_plainReadOnly = false;
};

#define MOUNT_OR_SKIP(fs, folder, sizeKb, allowPlain)                                              \
    do {                                                                                           \
        QVERIFY(QDir().mkpath(folder));                                                            \
        if (!(fs).mount(folder, sizeKb, allowPlain))                                               \
            QSKIP(qPrintable(QStringLiteral("mounting a tmpfs is not allowed here (%1): it "       \
                                            "needs CAP_SYS_ADMIN, and permission bits do not "     \
                                            "stop root")                                           \
                                 .arg((fs).error)));                                               \
    } while (false)

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QStringList entries(const QString &folder, QDir::Filters filters)
{
    QStringList names = QDir(folder).entryList(filters);
    names.sort();
    return names;
}

// How much more resident memory a read may take. AddressSanitizer keeps freed memory
// in quarantine (256 MB by default), which counts as resident too.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 ExtraResidentKbAllowed = (100 + 256) * 1024;
#else
constexpr qint64 ExtraResidentKbAllowed = 100 * 1024;
#endif

qint64 residentKb()
{
    const QList<QByteArray> lines = readAll(QStringLiteral("/proc/self/status")).split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The engine still talks to the converter: a read of item 10 answered with 2 lands in
// the table.
bool engineStillWorks(TestApp &t)
{
    int tick = 0;
    ScriptedConverter converter(t.port, tick);
    converter.answer = [](const QByteArray &request) {
        return requestType(request) == 'w' ? charAnswer(requestItem(request), 2) : QByteArray();
    };
    t.app.table.SettingJob[10] = JOB_READ;
    for (; tick < 400 && (tick == 0 || !t.app.engine.isQuiet()); ++tick)
        t.app.TmrAfhandelTick();
    t.port.onWrite = nullptr;
    return t.app.table.UnitValue[10].asText() == QLatin1String("2");
}

bool messageWindowHolds(const TestApp &t, const QString &text)
{
    for (const QString &line : t.app.log.MessageLines) {
        if (line.endsWith(text))
            return true;
    }
    return false;
}

// A settings file as the program writes it, every item with a value that tells the
// round it came from; texts of 900 characters.
QByteArray settingsRound(int round)
{
    QByteArray bytes;
    for (int item = 0; item < 250; ++item) {
        bytes += QByteArray::number(item) + "    ->";
        if (item < 150)
            bytes += QByteArray::number(round % 2);
        else
            bytes += QByteArray::number(round) + QByteArray(900, char('a' + item % 26));
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace

class TestDiskFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readOnlyLogFolderKeepsLinesOnScreen();
    void fullLogFolderKeepsWhatItHoldsAndResumes();
    void readOnlyProgramFolderAtStartUp();
    void fullProgramFolderKeepsTheOldFiles();
    void settingsFileOf100MegabytesLoadsInBoundedTime();
    void lineOf100MegabytesIsRefusedInBoundedMemory();
    void oddFilesInTheProgramFolder_data();
    void oddFilesInTheProgramFolder();
    void aHistoryThatCannotBeKeptFailsNothing_data();
    void aHistoryThatCannotBeKeptFailsNothing();
};

void TestDiskFaults::readOnlyLogFolderKeepsLinesOnScreen()
{
    TestApp t;
    Tmpfs fs;
    MOUNT_OR_SKIP(fs, t.path(QStringLiteral("Log")), 64, true);
    const QByteArray old = "09:00:00 from this morning\r\n";
    QVERIFY(writeAll(t.path(DayLog), old));
    QVERIFY(fs.makeReadOnly());

    t.app.StartProgram(QString());
    t.app.log.WriteLog(QStringLiteral("a line for a read-only folder"));
    QVERIFY(messageWindowHolds(t, QStringLiteral("a line for a read-only folder")));
    QVERIFY(t.dialogs.boxes.isEmpty());
    QVERIFY(engineStillWorks(t));
    QVERIFY(messageWindowHolds(t, QStringLiteral("OK")));
    QCOMPARE(readAll(t.path(DayLog)), old);
}

void TestDiskFaults::fullLogFolderKeepsWhatItHoldsAndResumes()
{
    TestApp t;
    Tmpfs fs;
    MOUNT_OR_SKIP(fs, t.path(QStringLiteral("Log")), 64, false);
    const QByteArray old = "09:00:00 from this morning\r\n";
    QVERIFY(writeAll(t.path(DayLog), old));
    t.app.StartProgram(QString());

    // Far more than the 64 KB the folder can take.
    const QString text = QStringLiteral("a line that fills the disk ").repeated(3);
    for (int i = 0; i < 2000; ++i)
        t.app.log.WriteLog(text + QString::number(i));
    QVERIFY(messageWindowHolds(t, text + QStringLiteral("1999")));
    QVERIFY(engineStillWorks(t));
    QVERIFY(t.dialogs.boxes.isEmpty());

    const QByteArray kept = readAll(t.path(DayLog));
    QVERIFY(kept.startsWith(old));
    QVERIFY(kept.size() <= 64 * 1024);
    // Whatever reached the file is whole lines: a line the disk took only in part was
    // cut off again.
    QVERIFY(kept.endsWith("\r\n"));
    QCOMPARE(kept.count("\r\n"), kept.count('\n'));

    // Room again: the next line follows the last whole one.
    QVERIFY(writeAll(t.path(DayLog), old));
    t.app.log.WriteLog(QStringLiteral("room again"));
    QCOMPARE(readAll(t.path(DayLog)), old + "10:00:00 room again\r\n");
}

void TestDiskFaults::readOnlyProgramFolderAtStartUp()
{
    TestApp t;
    Tmpfs fs;
    MOUNT_OR_SKIP(fs, t.home.path(), 256, true);
    const QByteArray setup = "0        Compoort ->0\r\n1      Logfile ->2\r\n"
                             "2       SetPath ->/srv/settings\r\n3       UnitType ->3\r\n";
    const QByteArray defaults = "10    ->2\r\n120    ->77\r\n151    ->from the default file\r\n";
    QVERIFY(writeAll(t.path(QStringLiteral("Kestrum.set")), setup));
    QVERIFY(writeAll(t.path(QStringLiteral("default.set")), defaults));
    QVERIFY(fs.makeReadOnly());

    t.app.StartProgram(QString());
    QCOMPARE(t.app.globals.SetPath, QStringLiteral("/srv/settings"));
    QCOMPARE(t.screen.selectedIndex(10), 2);
    QCOMPARE(t.screen.valueText(120), QStringLiteral("77"));
    QCOMPARE(t.app.engine.EngineState, qint16(Engine::ST_IDLE));
    QVERIFY(t.dialogs.boxes.isEmpty());
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("Log"))));
    QVERIFY(messageWindowHolds(t, QStringLiteral("opened with: 9600,N,8,1")));

    // "Save as default" fails with its message; the program settings are written
    // silently, as ever. Neither file changes.
    Commands commands(t.app);
    t.screen.pickChoice(10, 3);
    commands.CmdInstellingenOpslaan();
    QCOMPARE(t.dialogs.boxes.size(), 1);
    QCOMPARE(t.dialogs.boxes[0].title, BoxTitle);
    QCOMPARE(t.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    QCOMPARE(t.dialogs.boxes[0].text, QStringLiteral("Error writing settings-file\r\n") +
                                          t.path(QStringLiteral("default.set")));
    QVERIFY(!WriteSetupFile(t.app.globals));
    QCOMPARE(t.dialogs.boxes.size(), 1);
    QCOMPARE(readAll(t.path(QStringLiteral("default.set"))), defaults);
    QCOMPARE(readAll(t.path(QStringLiteral("Kestrum.set"))), setup);
    QCOMPARE(entries(t.home.path(), QDir::NoDotAndDotDot | QDir::AllEntries),
             (QStringList{"Kestrum.set", "default.set"}));

    // Elsewhere saving works.
    QTemporaryDir elsewhere;
    QVERIFY(t.app.files.WriteSettingsFile(elsewhere.filePath(QStringLiteral("out.cfg"))));
    QVERIFY(readAll(elsewhere.filePath(QStringLiteral("out.cfg"))).contains("\r\n10    ->3\r\n"));
    QVERIFY(engineStillWorks(t));
}

void TestDiskFaults::fullProgramFolderKeepsTheOldFiles()
{
    TestApp t;
    Tmpfs fs;
    MOUNT_OR_SKIP(fs, t.home.path(), 64, false);
    const QByteArray setup =
        "0        Compoort ->0\r\n1      Logfile ->2\r\n2       SetPath ->\r\n";
    const QByteArray defaults = "10    ->2\r\n";
    QVERIFY(writeAll(t.path(QStringLiteral("Kestrum.set")), setup));
    QVERIFY(writeAll(t.path(QStringLiteral("default.set")), defaults));
    t.app.StartProgram(QString());
    // Fill what is left.
    QFile filler(t.path(QStringLiteral("filler")));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();

    t.app.globals.SetPath = QStringLiteral("/a/path/that/makes/the/file/longer");
    QVERIFY(!WriteSetupFile(t.app.globals));
    Commands commands(t.app);
    commands.CmdInstellingenOpslaan();
    QCOMPARE(t.dialogs.boxes.size(), 1);
    QCOMPARE(t.dialogs.boxes[0].text, QStringLiteral("Error writing settings-file\r\n") +
                                          t.path(QStringLiteral("default.set")));
    QCOMPARE(readAll(t.path(QStringLiteral("default.set"))), defaults);
    QCOMPARE(readAll(t.path(QStringLiteral("Kestrum.set"))), setup);
    // No temporary file is left behind to take the space.
    QCOMPARE(entries(t.home.path(), QDir::Files),
             (QStringList{"Kestrum.set", "default.set", "filler"}));
    QVERIFY(engineStillWorks(t));

    // With room again the same save succeeds.
    QVERIFY(QFile::remove(t.path(QStringLiteral("filler"))));
    commands.CmdInstellingenOpslaan();
    QCOMPARE(t.dialogs.boxes.size(), 1);
    QVERIFY(readAll(t.path(QStringLiteral("default.set"))).startsWith("0    ->"));
}

void TestDiskFaults::settingsFileOf100MegabytesLoadsInBoundedTime()
{
    TestApp t;
    t.app.StartProgram(QString());
    const QString path = t.path(QStringLiteral("huge.cfg"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        int round = 0;
        while (file.size() < 100 * 1024 * 1024)
            QVERIFY(file.write(settingsRound(round++)) > 0);
        QVERIFY(file.write(settingsRound(12345)) > 0);
    }
    QVERIFY(QFileInfo(path).size() >= 100 * 1024 * 1024);

    const qint64 residentBefore = residentKb();
    QElapsedTimer clock;
    clock.start();
    Commands commands(t.app);
    t.dialogs.fileAnswers = {path};
    commands.CmdLezenUnitgegevens();
    const qint64 ms = clock.elapsed();
    qInfo("100 MB settings file loaded in %lld ms, resident memory %+lld KB", ms,
          residentKb() - residentBefore);

    // Generous bounds: the read is linear and keeps one line at a time.
    QVERIFY2(ms < 60000, qPrintable(QString::number(ms)));
    QVERIFY(residentKb() - residentBefore < ExtraResidentKbAllowed);
    QVERIFY(t.dialogs.boxes.isEmpty());
    // The last round wins.
    QCOMPARE(t.app.table.SettingValue[10].asText(), QStringLiteral("1"));
    QVERIFY(t.app.table.SettingValue[151].asText().startsWith(QStringLiteral("12345")));
    QCOMPARE(t.app.table.SettingValue[151].asText().size(), 905);

    QVERIFY(engineStillWorks(t));
    QVERIFY(t.app.files.WriteSettingsFile(t.path(QStringLiteral("after.cfg"))));
    QCOMPARE(readAll(t.path(QStringLiteral("after.cfg"))).count("\r\n"), 250);
}

void TestDiskFaults::lineOf100MegabytesIsRefusedInBoundedMemory()
{
    TestApp t;
    t.app.StartProgram(QString());
    t.app.table.SettingValue[151] = Value::text(QStringLiteral("before"));
    const QString path = t.path(QStringLiteral("oneline.cfg"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("151    ->") > 0);
        const QByteArray block(1024 * 1024, 'x');
        for (int i = 0; i < 100; ++i)
            QVERIFY(file.write(block) == block.size());
    }

    const qint64 residentBefore = residentKb();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!t.app.files.ReadSettingsFile(path));
    const qint64 ms = clock.elapsed();
    qInfo("100 MB line refused after %lld ms, resident memory %+lld KB", ms,
          residentKb() - residentBefore);
    QVERIFY2(ms < 60000, qPrintable(QString::number(ms)));
    QVERIFY(residentKb() - residentBefore < ExtraResidentKbAllowed);
    QCOMPARE(t.dialogs.boxes.size(), 1);
    QCOMPARE(t.dialogs.boxes[0].text, QStringLiteral("Error reading setup-file"));
    QCOMPARE(t.app.table.SettingValue[151].asText(), QStringLiteral("before"));
    QCOMPARE(QFileInfo(path).size(), 100 * 1024 * 1024 + 9);
    QVERIFY(engineStillWorks(t));
}

void TestDiskFaults::oddFilesInTheProgramFolder_data()
{
    QTest::addColumn<QString>("name");     // in the program folder
    QTest::addColumn<QByteArray>("bytes"); // its content; "<dir>" makes it a folder
    QTest::addColumn<int>("item10");       // what start-up shows for item 10 (-1: none)

    const QByteArray dir = "<dir>";
    QTest::newRow("default.set is a folder") << "default.set" << dir << 0;
    QTest::newRow("Kestrum.set is a folder") << "Kestrum.set" << dir << 0;
    QTest::newRow("Log is a file") << "Log" << QByteArray("not a folder\r\n") << 0;
    QTest::newRow("the day's log file is a folder") << DayLog << dir << 0;
    QTest::newRow("ports is a file") << "ports" << QByteArray("com1") << 0;
    QTest::newRow("default.set with NUL bytes")
        << "default.set" << QByteArray("10\0   ->3\0\r\n\0\0\0\0\r\n", 18) << 3;
    QTest::newRow("default.set without a line end")
        << "default.set" << QByteArray("10    ->4") << 4;
    QTest::newRow("default.set with a 1 MB line")
        << "default.set" << QByteArray("10    ->2\r\n151    ->" + QByteArray(1 << 20, 'w')) << 2;
    QTest::newRow("Kestrum.set with NUL bytes and a 1 MB line")
        << "Kestrum.set"
        << QByteArray("0 ->0\0\r\n", 8) + "2 ->" + QByteArray(1 << 20, '\0') + "\r\n"
        << 0;
}

void TestDiskFaults::oddFilesInTheProgramFolder()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, item10);

    TestApp t;
    const QString path = t.path(name);
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    if (bytes == "<dir>") {
        QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        QVERIFY(writeAll(path + QStringLiteral("/inside/keep.txt"), "kept"));
    } else {
        QVERIFY(writeAll(path, bytes));
    }

    t.app.StartProgram(QString());
    QCOMPARE(t.app.engine.EngineState, qint16(Engine::ST_IDLE));
    QVERIFY(t.dialogs.boxes.isEmpty());
    QCOMPARE(t.screen.selectedIndex(10), item10);
    t.app.log.WriteLog(QStringLiteral("still logging"));
    QVERIFY(messageWindowHolds(t, QStringLiteral("still logging")));
    QVERIFY(engineStillWorks(t));
    Commands commands(t.app);
    t.dialogs.fileAnswers = {t.path(QStringLiteral("saved.cfg"))};
    commands.CmdOpslaanUnitGegevens();

    // The odd file is as it was.
    if (bytes == "<dir>") {
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(readAll(path + QStringLiteral("/inside/keep.txt")), QByteArray("kept"));
    } else {
        QCOMPARE(readAll(path), bytes);
    }
    // Saving where the program may still works.
    QCOMPARE(readAll(t.path(QStringLiteral("saved.cfg"))).count("\r\n"), 250);
}

void TestDiskFaults::aHistoryThatCannotBeKeptFailsNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason"); // how the line in the log goes on
    const QString snapshot = QStringLiteral("/history/20261207-100000-com1-read.cfg: ");
    QTest::newRow("history is read-only") << "read-only" << snapshot;
    QTest::newRow("the disk is full")
        << "full" << snapshot + "not every byte could be written; the disk may be full";
    QTest::newRow("history is a file") << "file"
                                       << "cannot make the folder ";
}

void TestDiskFaults::aHistoryThatCannotBeKeptFailsNothing()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    TestApp t;
    // Texts that make a snapshot larger than the full disk's room, which the log is not.
    QByteArray defaults;
    for (int item = 150; item < 250; ++item)
        defaults += QByteArray::number(item) + "    ->" + QByteArray(200, 'd') + "\r\n";
    QVERIFY(writeAll(t.path(QStringLiteral("default.set")), defaults));
    const QString history = t.path(QStringLiteral("history"));
    const QString kept = fault == "file" ? history : history + "/20261201-090000-com1-read.cfg";
    Tmpfs fs;
    if (fault == "read-only")
        MOUNT_OR_SKIP(fs, history, 256, true);
    QVERIFY(QDir().mkpath(QFileInfo(kept).path()) && writeAll(kept, "10    ->1\r\n"));
    if (fault == "read-only")
        QVERIFY(fs.makeReadOnly());
    t.app.StartProgram(QString());

    int tick = 0;
    ScriptedConverter converter(t.port, tick);
    converter.answer = [](const QByteArray &request) {
        return requestType(request) == 'w' ? charAnswer(requestItem(request), 2) : QByteArray();
    };
    {
        const FileSizeLimit full(fault == "full" ? 16 * 1024 : RLIM_INFINITY);
        QVERIFY(full.isActive());
        Commands(t.app).CmdLeesAlles();
        for (; tick < 4000 && (tick == 0 || !t.app.engine.isQuiet()); ++tick)
            t.app.TmrAfhandelTick();
    }
    QVERIFY(messageWindowHolds(t, QStringLiteral("Reading of all settings was successfull.")));
    QVERIFY(t.dialogs.boxes.isEmpty());
    const QByteArray log = readAll(t.path(DayLog));
    QCOMPARE(log.count("History not kept: "), 1);
    const QString why = (reason.startsWith('/') ? t.home.path() : QString()) + reason;
    QVERIFY2(log.contains("History not kept: " + why.toLatin1()), log.constData());
    const QStringList shown(t.app.log.MessageLines.begin(), t.app.log.MessageLines.end());
    QCOMPARE(shown.filter(QStringLiteral("History not kept: ")).size(), 1);
    QCOMPARE(readAll(kept), QByteArray("10    ->1\r\n"));
    if (fault != "file")
        QCOMPARE(entries(history, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QFileInfo(kept).fileName()});
    QVERIFY(engineStillWorks(t));
}

QTEST_GUILESS_MAIN(TestDiskFaults)
#include "tst_diskfaults.moc"
