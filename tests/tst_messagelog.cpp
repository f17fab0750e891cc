#include "base/MessageLog.h"
#include "support/FakeClock.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

} // namespace

class TestMessageLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void aLineIsTheTimeOneBlankAndTheText_data();
    void aLineIsTheTimeOneBlankAndTheText();
    void theLogFileIsNamedAfterTheDay_data();
    void theLogFileIsNamedAfterTheDay();
    void linesAreAppendedToExistingContent();
    void theBufferFillsThenRollsAfterTwentyFiveLines_data();
    void theBufferFillsThenRollsAfterTwentyFiveLines();
    void clearMessageLinesEmptiesEverySlot();
    void linesOnEitherSideOfMidnightLandInTwoFiles();
    void aDeletedLogFolderIsCreatedAgain();
    void aLogThatCannotBeWrittenKeepsTheLineInTheBuffer_data();
    void aLogThatCannotBeWrittenKeepsTheLineInTheBuffer();
    void aLineTheDiskTakesOnlyInPartIsDroppedWhole();
    void logfileModeZeroDropsTheLineEverywhere();
    void withoutAProgramFolderNoFileIsWritten();

private:
    QString logFolder() const { return m_dir->path() + QStringLiteral("/Log"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    Globals m_globals;
    FakeClock m_clock;
    QStringList m_seen;
    std::unique_ptr<MessageLog> m_log;
};

void TestMessageLog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_globals = Globals();
    m_globals.ProgramFolder = m_dir->path();
    m_globals.LogfileMode = 1;
    m_clock.set(QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)));
    m_seen.clear();
    m_log = std::make_unique<MessageLog>(m_globals, m_clock);
    m_log->onLine = [this](const QString &line) { m_seen << line; };
}

void TestMessageLog::cleanup()
{
    // A test may leave the folder read-only; give it back so it can be removed.
    QFile::setPermissions(logFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_log.reset();
    m_dir.reset();
}

void TestMessageLog::aLineIsTheTimeOneBlankAndTheText_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("fileBytes");

    QTest::newRow("morning") << QTime(9, 5, 3) << "Open ComPort"
                             << "09:05:03 Open ComPort" << QByteArray("09:05:03 Open ComPort\r\n");
    QTest::newRow("24-hour clock") << QTime(13, 7, 8) << "x"
                                   << "13:07:08 x" << QByteArray("13:07:08 x\r\n");
    QTest::newRow("midnight") << QTime(0, 0, 0) << "x"
                              << "00:00:00 x" << QByteArray("00:00:00 x\r\n");
    QTest::newRow("empty text still makes a line") << QTime(23, 59, 59) << ""
                                                   << "23:59:59 " << QByteArray("23:59:59 \r\n");
    QTest::newRow("blanks in the text are kept")
        << QTime(10, 0, 0) << "  two  blanks "
        << "10:00:00   two  blanks " << QByteArray("10:00:00   two  blanks \r\n");
    QTest::newRow("Latin-1 characters are one byte each")
        << QTime(10, 0, 0) << QString::fromUtf16(u"Caf\u00e9 \u00ff")
        << QString::fromUtf16(u"10:00:00 Caf\u00e9 \u00ff")
        << QByteArray("10:00:00 Caf\xe9 \xff\r\n");
}

void TestMessageLog::aLineIsTheTimeOneBlankAndTheText()
{
    QFETCH(QTime, time);
    QFETCH(QString, text);
    QFETCH(QString, line);
    QFETCH(QByteArray, fileBytes);

    m_clock.set(QDateTime(QDate(2026, 12, 7), time));
    m_log->WriteLog(text);

    QCOMPARE(m_log->MessageLineCount, 1);
    QCOMPARE(m_log->MessageLines[0], line);
    QCOMPARE(m_seen, QStringList{line});
    QCOMPARE(readFile(logFolder() + "/07122026.log"), fileBytes);
}

void TestMessageLog::theLogFileIsNamedAfterTheDay_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("seventh of December") << QDate(2026, 12, 7) << "07122026.log";
    QTest::newRow("first of January") << QDate(2027, 1, 1) << "01012027.log";
    QTest::newRow("thirty-first of October") << QDate(2025, 10, 31) << "31102025.log";
}

void TestMessageLog::theLogFileIsNamedAfterTheDay()
{
    QFETCH(QDate, date);
    QFETCH(QString, fileName);

    const QDateTime when(date, QTime(12, 0, 0));
    QCOMPARE(m_log->logFilePath(when), m_dir->path() + "/Log/" + fileName);

    m_clock.set(when);
    m_log->WriteLog("dated");
    QCOMPARE(QDir(logFolder()).entryList(QDir::Files), QStringList{fileName});
}

void TestMessageLog::linesAreAppendedToExistingContent()
{
    QVERIFY(QDir().mkpath(logFolder()));
    {
        QFile earlier(logFolder() + "/07122026.log");
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("08:00:00 earlier run\r\n");
    }
    m_log->WriteLog("first");
    m_clock.advanceSecs(1);
    m_log->WriteLog("second");

    QCOMPARE(readFile(logFolder() + "/07122026.log"),
             QByteArray("08:00:00 earlier run\r\n10:00:00 first\r\n10:00:01 second\r\n"));
}

void TestMessageLog::theBufferFillsThenRollsAfterTwentyFiveLines_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("slot24");

    QTest::newRow("one line") << 1 << 1 << "10:00:00 line 1"
                              << "";
    QTest::newRow("24 lines") << 24 << 24 << "10:00:00 line 1"
                              << "";
    QTest::newRow("25 lines fill every slot") << 25 << 25 << "10:00:00 line 1"
                                              << "10:00:00 line 25";
    QTest::newRow("26th line drops the first") << 26 << 25 << "10:00:00 line 2"
                                               << "10:00:00 line 26";
    QTest::newRow("60 lines keep the last 25") << 60 << 25 << "10:00:00 line 36"
                                               << "10:00:00 line 60";
}

void TestMessageLog::theBufferFillsThenRollsAfterTwentyFiveLines()
{
    QFETCH(int, lines);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(QString, slot24);

    for (int n = 1; n <= lines; ++n)
        m_log->WriteLog(QStringLiteral("line %1").arg(n));

    QCOMPARE(m_log->MessageLineCount, count);
    QCOMPARE(m_log->MessageLines[0], first);
    QCOMPARE(m_log->MessageLines[24], slot24);
    // The slots in between stay in order, oldest first.
    const int oldest = lines - count + 1;
    for (int slot = 0; slot < count; ++slot)
        QCOMPARE(m_log->MessageLines[slot], QStringLiteral("10:00:00 line %1").arg(oldest + slot));
    // The file keeps every line, not only the last 25.
    QCOMPARE(readFile(logFolder() + "/07122026.log").count("\r\n"), lines);
}

void TestMessageLog::clearMessageLinesEmptiesEverySlot()
{
    for (int n = 1; n <= 30; ++n)
        m_log->WriteLog(QStringLiteral("line %1").arg(n));
    m_log->ClearMessageLines();

    QCOMPARE(m_log->MessageLineCount, 0);
    for (const QString &slot : m_log->MessageLines)
        QVERIFY(slot.isEmpty());

    m_log->WriteLog("after");
    QCOMPARE(m_log->MessageLineCount, 1);
    QCOMPARE(m_log->MessageLines[0], QStringLiteral("10:00:00 after"));
}

void TestMessageLog::linesOnEitherSideOfMidnightLandInTwoFiles()
{
    m_clock.set(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59)));
    m_log->WriteLog("before midnight");
    m_clock.advanceSecs(2);
    m_log->WriteLog("after midnight");

    QCOMPARE(readFile(logFolder() + "/07122026.log"), QByteArray("23:59:59 before midnight\r\n"));
    QCOMPARE(readFile(logFolder() + "/08122026.log"), QByteArray("00:00:01 after midnight\r\n"));
}

void TestMessageLog::aDeletedLogFolderIsCreatedAgain()
{
    m_log->WriteLog("first");
    QVERIFY(QFile::exists(logFolder() + "/07122026.log"));
    QVERIFY(QDir(logFolder()).removeRecursively());

    m_log->WriteLog("second");
    QCOMPARE(readFile(logFolder() + "/07122026.log"), QByteArray("10:00:00 second\r\n"));
}

void TestMessageLog::aLogThatCannotBeWrittenKeepsTheLineInTheBuffer_data()
{
    QTest::addColumn<QString>("obstacle");

    QTest::newRow("Log is a file, so the folder cannot be made") << "log-is-file";
    QTest::newRow("the day's file is a folder") << "day-is-folder";
    QTest::newRow("Log folder is read-only") << "read-only";
}

void TestMessageLog::aLogThatCannotBeWrittenKeepsTheLineInTheBuffer()
{
    QFETCH(QString, obstacle);

    const QString dayFile = logFolder() + "/07122026.log";
    if (obstacle == "log-is-file") {
        QFile blocker(logFolder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    } else if (obstacle == "day-is-folder") {
        QVERIFY(QDir().mkpath(dayFile));
    } else {
        if (geteuid() == 0)
            QSKIP("Permission bits do not stop root from writing; the other rows cover this.");
        QVERIFY(QDir().mkpath(logFolder()));
        QVERIFY(QFile::setPermissions(logFolder(), QFile::ReadOwner | QFile::ExeOwner));
    }

    m_log->WriteLog("kept anyway");
    m_log->WriteLog("and again");

    QCOMPARE(m_log->MessageLineCount, 2);
    QCOMPARE(m_log->MessageLines[0], QStringLiteral("10:00:00 kept anyway"));
    QCOMPARE(m_log->MessageLines[1], QStringLiteral("10:00:00 and again"));
    QCOMPARE(m_seen.size(), 2);
    QVERIFY(!QFileInfo(dayFile).isFile());
}

void TestMessageLog::aLineTheDiskTakesOnlyInPartIsDroppedWhole()
{
    const QString dayFile = logFolder() + "/07122026.log";
    m_log->WriteLog("first");
    {
        // Room for 10 more bytes: "10:00:00 s" of the next line would fit.
        FileSizeLimit full(QFileInfo(dayFile).size() + 10);
        QVERIFY(full.isActive());
        m_log->WriteLog("second line, too long for the room left");
    }
    m_log->WriteLog("third");
    QCOMPARE(readFile(dayFile), QByteArray("10:00:00 first\r\n10:00:00 third\r\n"));
    QCOMPARE(m_log->MessageLines[1],
             QStringLiteral("10:00:00 second line, too long for the room left"));
}

void TestMessageLog::logfileModeZeroDropsTheLineEverywhere()
{
    m_globals.LogfileMode = 0;
    m_log->WriteLog("dropped");

    QCOMPARE(m_log->MessageLineCount, 0);
    QVERIFY(m_log->MessageLines[0].isEmpty());
    QVERIFY(m_seen.isEmpty());
    QVERIFY(!QFileInfo::exists(logFolder()));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    m_globals.LogfileMode = 1;
    m_log->WriteLog("kept");
    QCOMPARE(m_log->MessageLineCount, 1);
    QCOMPARE(readFile(logFolder() + "/07122026.log"), QByteArray("10:00:00 kept\r\n"));
}

void TestMessageLog::withoutAProgramFolderNoFileIsWritten()
{
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_globals.ProgramFolder.clear();

    m_log->WriteLog("nowhere to file");
    QDir::setCurrent(previous);

    QCOMPARE(m_log->MessageLines[0], QStringLiteral("10:00:00 nowhere to file"));
    QCOMPARE(m_seen, QStringList{"10:00:00 nowhere to file"});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(TestMessageLog)
#include "tst_messagelog.moc"
