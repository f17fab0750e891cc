#include "base/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestProgramFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void kestrumHomeWinsOverEverything_data();
    void kestrumHomeWinsOverEverything();
    void aMissingKestrumHomeFolderIsCreated();
    void theExecutableFolderIsUsedWhenItHoldsTheProgramFiles_data();
    void theExecutableFolderIsUsedWhenItHoldsTheProgramFiles();
    void otherwiseTheUserDataFolderNamedKestrumIsCreated();

private:
    void touch(const QString &path)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_exeDir;
    QString m_dataHome;
};

void TestProgramFolder::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_exeDir = m_dir->filePath("bin");
    m_dataHome = m_dir->filePath("data");
    QVERIFY(QDir().mkpath(m_exeDir));
    qunsetenv("KESTRUM_HOME");
    // The per-user data folder lives below XDG_DATA_HOME on this platform.
    qputenv("XDG_DATA_HOME", m_dataHome.toLocal8Bit());
}

void TestProgramFolder::cleanup()
{
    qunsetenv("KESTRUM_HOME");
    qunsetenv("XDG_DATA_HOME");
    m_dir.reset();
}

void TestProgramFolder::kestrumHomeWinsOverEverything_data()
{
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expectedBelowTemp");

    QTest::newRow("plain folder") << "home"
                                  << "/home";
    QTest::newRow("trailing slash is dropped") << "home/"
                                               << "/home";
    QTest::newRow("dot segments are cleaned") << "home/../home/./"
                                              << "/home";
}

void TestProgramFolder::kestrumHomeWinsOverEverything()
{
    QFETCH(QString, home);
    QFETCH(QString, expectedBelowTemp);

    QVERIFY(QDir().mkpath(m_dir->filePath("home")));
    touch(m_exeDir + "/Kestrum.set"); // a portable copy does not win over KESTRUM_HOME
    qputenv("KESTRUM_HOME", (m_dir->path() + "/" + home).toLocal8Bit());

    QCOMPARE(ResolveProgramFolder(m_exeDir), m_dir->path() + expectedBelowTemp);
    QVERIFY(!QFileInfo::exists(m_dataHome));
}

void TestProgramFolder::aMissingKestrumHomeFolderIsCreated()
{
    const QString home = m_dir->path() + "/new/deeper";
    qputenv("KESTRUM_HOME", home.toLocal8Bit());

    QCOMPARE(ResolveProgramFolder(m_exeDir), home);
    QVERIFY(QFileInfo(home).isDir());
}

void TestProgramFolder::theExecutableFolderIsUsedWhenItHoldsTheProgramFiles_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("portable");

    QTest::newRow("setup file") << QStringList{"Kestrum.set"} << true;
    QTest::newRow("default settings") << QStringList{"default.set"} << true;
    QTest::newRow("both") << QStringList{"Kestrum.set", "default.set"} << true;
    QTest::newRow("nothing") << QStringList{} << false;
    QTest::newRow("other files only") << QStringList{"kestrum", "settings.cfg"} << false;
    QTest::newRow("setup name in other case") << QStringList{"kestrum.set"} << false;
}

void TestProgramFolder::theExecutableFolderIsUsedWhenItHoldsTheProgramFiles()
{
    QFETCH(QStringList, files);
    QFETCH(bool, portable);

    for (const QString &name : files)
        touch(m_exeDir + "/" + name);

    const QString expected = portable ? m_exeDir : m_dataHome + "/Kestrum";
    QCOMPARE(ResolveProgramFolder(m_exeDir), expected);
    // An empty KESTRUM_HOME counts as not set.
    qputenv("KESTRUM_HOME", QByteArray());
    QCOMPARE(ResolveProgramFolder(m_exeDir), expected);
}

void TestProgramFolder::otherwiseTheUserDataFolderNamedKestrumIsCreated()
{
    QCoreApplication::setOrganizationName("Elsewhere");
    QCoreApplication::setApplicationName("some-tool");

    QCOMPARE(ResolveProgramFolder(m_exeDir), m_dataHome + "/Kestrum");
    QVERIFY(QFileInfo(m_dataHome + "/Kestrum").isDir());
    // The application's own names are left as they were.
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Elsewhere"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("some-tool"));
}

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
