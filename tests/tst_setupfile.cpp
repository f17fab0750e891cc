#include "base/Globals.h"
#include "base/SetupFile.h"
#include "support/FileBytes.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Globals that a read must overwrite, so a value left alone shows.
Globals StaleGlobals(const QString &folder)
{
    Globals globals;
    globals.ProgramFolder = folder;
    globals.ComPortIndex = 17;
    globals.LogfileMode = 9;
    globals.SetPath = "stale";
    globals.UnitType = 8;
    return globals;
}

} // namespace

class TestSetupFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readSetupFile_data();
    void readSetupFile();
    void missingFileGivesZeroAndEmpty();
    void writtenFileHasExactBytes_data();
    void writtenFileHasExactBytes();
    void writeReplacesTheWholeOldFile();
    void writeIntoMissingFolderIsSilent();
    void failedWriteKeepsTheOldFile();
};

void TestSetupFile::readSetupFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("comPortIndex");
    QTest::addColumn<int>("logfileMode");
    QTest::addColumn<QString>("setPath");
    QTest::addColumn<int>("unitType");

    QTest::newRow("as the program writes it, port index 31")
        << QByteArray("0        Compoort ->31\r\n1      Logfile ->2\r\n"
                      "2       SetPath ->/home/u/sets\r\n3       UnitType ->3\r\n")
        << 31 << 2 << "/home/u/sets" << 3;
    QTest::newRow("lines in another order")
        << QByteArray("3       UnitType ->3\r\n2       SetPath ->/x\r\n"
                      "1      Logfile ->2\r\n0        Compoort ->4\r\n")
        << 4 << 2 << "/x" << 3;
    QTest::newRow("entry 5 is stored and has no effect")
        << QByteArray("0        Compoort ->1\r\n5     Other ->9\r\n") << 1 << 0 << "" << 0;
    QTest::newRow("a line without a number counts as entry 0")
        << QByteArray("Compoort ->6\r\n1      Logfile ->2\r\n") << 6 << 2 << "" << 0;
    QTest::newRow("blanks after the marker are kept")
        << QByteArray("2       SetPath -> /with blank \r\n") << 0 << 0 << " /with blank " << 0;
    QTest::newRow("a comma and a further marker in the folder")
        << QByteArray("2       SetPath ->C:\\a,b->c\r\n") << 0 << 0 << "C:\\a,b->c" << 0;
    QTest::newRow("a damaged line stops the reading")
        << QByteArray("0        Compoort ->3\r\n-1     Broken ->7\r\n"
                      "2       SetPath ->/lost\r\n3       UnitType ->3\r\n")
        << 3 << 0 << "" << 0;
    QTest::newRow("the last of two lines wins")
        << QByteArray("0        Compoort ->3\r\n0        Compoort ->5\r\n") << 5 << 0 << "" << 0;
    QTest::newRow("a line without marker takes the previous line's value")
        << QByteArray("0        Compoort ->5\r\n3       UnitType\r\n") << 5 << 0 << "" << 5;
    QTest::newRow("a line without marker before any marker gives empty")
        << QByteArray("2 SetPath\r\n1      Logfile ->2\r\n") << 0 << 2 << "" << 0;
    QTest::newRow("entry numbers 299 and above are skipped")
        << QByteArray("299     Far ->7\r\n3000 ->8\r\n1 ->x\r\n") << 0 << 0 << "" << 0;
    QTest::newRow("halves round to the even neighbour")
        << QByteArray("0 ->2.5\r\n1 ->3.5\r\n3 ->-0.5\r\n") << 2 << 4 << "" << 0;
    QTest::newRow("a fractional entry number rounds")
        << QByteArray("2.6 ->7\r\n") << 0 << 0 << "" << 7;
    QTest::newRow("a value reads up to its first non-digit")
        << QByteArray("0 ->12abc\r\n1 ->x\r\n3 -> 3 \r\n") << 12 << 0 << "" << 3;
    QTest::newRow("numbers beyond 16 bits count as 0")
        << QByteArray("0 ->40000\r\n1 ->-40000\r\n3 ->1e999\r\n") << 0 << 0 << "" << 0;
    QTest::newRow("negative numbers")
        << QByteArray("0 ->-1\r\n3 ->-32768\r\n") << -1 << 0 << "" << -32768;
    QTest::newRow("line ends without CR and empty lines")
        << QByteArray("\n0        Compoort ->2\n\n2       SetPath ->/p\n") << 2 << 0 << "/p" << 0;
    QTest::newRow("Latin-1 folder") << QByteArray("2 ->/home/j\xf6rg\r\n") << 0 << 0
                                    << QString::fromLatin1("/home/j\xf6rg") << 0;
    QTest::newRow("an empty file") << QByteArray() << 0 << 0 << "" << 0;
}

void TestSetupFile::readSetupFile()
{
    QFETCH(QByteArray, file);
    QFETCH(int, comPortIndex);
    QFETCH(int, logfileMode);
    QFETCH(QString, setPath);
    QFETCH(int, unitType);

    QTemporaryDir home;
    QVERIFY(WriteAll(home.filePath("Kestrum.set"), file));
    Globals globals = StaleGlobals(home.path());
    ReadSetupFile(globals);
    QCOMPARE(int(globals.ComPortIndex), comPortIndex);
    QCOMPARE(int(globals.LogfileMode), logfileMode);
    QCOMPARE(globals.SetPath, setPath);
    QCOMPARE(int(globals.UnitType), unitType);
}

void TestSetupFile::missingFileGivesZeroAndEmpty()
{
    QTemporaryDir home;
    Globals globals = StaleGlobals(home.path());
    ReadSetupFile(globals);
    QCOMPARE(int(globals.ComPortIndex), 0);
    QCOMPARE(int(globals.LogfileMode), 0);
    QCOMPARE(globals.SetPath, QString());
    QCOMPARE(int(globals.UnitType), 0);

    // A folder where the file should be counts as missing too.
    QVERIFY(QDir(home.path()).mkdir("Kestrum.set"));
    globals = StaleGlobals(home.path());
    ReadSetupFile(globals);
    QCOMPARE(int(globals.ComPortIndex), 0);
    QCOMPARE(globals.SetPath, QString());
}

void TestSetupFile::writtenFileHasExactBytes_data()
{
    QTest::addColumn<int>("comPortIndex");
    QTest::addColumn<int>("logfileMode");
    QTest::addColumn<QString>("setPath");
    QTest::addColumn<int>("unitType");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("port 2, no folder")
        << 1 << 2 << "" << 3
        << QByteArray("0        Compoort ->1\r\n1      Logfile ->2\r\n2       SetPath ->\r\n"
                      "3       UnitType ->3\r\n");
    QTest::newRow("index 2, mode 2, no folder, type 3")
        << 2 << 2 << "" << 3
        << QByteArray("0        Compoort ->2\r\n1      Logfile ->2\r\n2       SetPath ->\r\n"
                      "3       UnitType ->3\r\n");
    QTest::newRow("folder with a comma and blanks")
        << 29 << 2 << " /data/a, b " << 3
        << QByteArray("0        Compoort ->29\r\n1      Logfile ->2\r\n"
                      "2       SetPath -> /data/a, b \r\n3       UnitType ->3\r\n");
    QTest::newRow("negative port index keeps its sign")
        << -1 << 0 << "/x" << 0
        << QByteArray("0        Compoort ->-1\r\n1      Logfile ->0\r\n2       SetPath ->/x\r\n"
                      "3       UnitType ->0\r\n");
    QTest::newRow("Latin-1 folder") << 0 << 2 << QString::fromLatin1("/home/j\xf6rg") << 3
                                    << QByteArray("0        Compoort ->0\r\n1      Logfile ->2\r\n"
                                                  "2       SetPath ->/home/j\xf6rg\r\n"
                                                  "3       UnitType ->3\r\n");
    QTest::newRow("LF in the folder is written as a blank")
        << 0 << 2 << "/a\n3 ->7" << 3
        << QByteArray(
               "0        Compoort ->0\r\n1      Logfile ->2\r\n2       SetPath ->/a 3 ->7\r\n"
               "3       UnitType ->3\r\n");
}

void TestSetupFile::writtenFileHasExactBytes()
{
    QFETCH(int, comPortIndex);
    QFETCH(int, logfileMode);
    QFETCH(QString, setPath);
    QFETCH(int, unitType);
    QFETCH(QByteArray, bytes);

    QTemporaryDir home;
    Globals globals;
    globals.ProgramFolder = home.path();
    globals.ComPortIndex = qint16(comPortIndex);
    globals.LogfileMode = qint16(logfileMode);
    globals.SetPath = setPath;
    globals.UnitType = qint16(unitType);
    QVERIFY(WriteSetupFile(globals));
    QCOMPARE(ReadAll(home.filePath("Kestrum.set")), bytes);

    // What was written reads back as the same values.
    Globals reread = StaleGlobals(home.path());
    ReadSetupFile(reread);
    QCOMPARE(int(reread.ComPortIndex), comPortIndex);
    QCOMPARE(int(reread.LogfileMode), logfileMode);
    QCOMPARE(reread.SetPath, QString(setPath).replace('\n', ' '));
    QCOMPARE(int(reread.UnitType), unitType);
}

void TestSetupFile::writeReplacesTheWholeOldFile()
{
    QTemporaryDir home;
    QByteArray old;
    for (int entry = 0; entry < 200; ++entry)
        old += QByteArray::number(entry) + "   Old ->" + QByteArray(40, 'o') + "\r\n";
    QVERIFY(WriteAll(home.filePath("Kestrum.set"), old));

    Globals globals;
    globals.ProgramFolder = home.path();
    globals.ComPortIndex = 4;
    globals.LogfileMode = 2;
    globals.UnitType = 3;
    WriteSetupFile(globals);
    QCOMPARE(ReadAll(home.filePath("Kestrum.set")),
             QByteArray("0        Compoort ->4\r\n1      Logfile ->2\r\n2       SetPath ->\r\n"
                        "3       UnitType ->3\r\n"));
    QCOMPARE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"Kestrum.set"});
}

void TestSetupFile::writeIntoMissingFolderIsSilent()
{
    QTemporaryDir home;
    Globals globals;
    globals.ProgramFolder = home.filePath("gone");
    globals.ComPortIndex = 4;
    QVERIFY(!WriteSetupFile(globals));
    QVERIFY(!QFileInfo::exists(home.filePath("gone")));
}

void TestSetupFile::failedWriteKeepsTheOldFile()
{
    QTemporaryDir home;
    const QByteArray old = "0        Compoort ->7\r\n";
    QVERIFY(WriteAll(home.filePath("Kestrum.set"), old));

    Globals globals;
    globals.ProgramFolder = home.path();
    globals.ComPortIndex = 4;
    globals.SetPath = QString(200, 'p');
    {
        FileSizeLimit limit(50);
        QVERIFY(limit.isActive());
        QVERIFY(!WriteSetupFile(globals));
    }
    QCOMPARE(ReadAll(home.filePath("Kestrum.set")), old);
    QCOMPARE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"Kestrum.set"});
}

QTEST_GUILESS_MAIN(TestSetupFile)
#include "tst_setupfile.moc"
