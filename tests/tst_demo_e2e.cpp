#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The demo that ./run.sh starts: a program folder prepared around a simulated
// converter must work for the command-line tool just as for the window.
class TestDemo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void preparedFolderReadsAllSettingsFromTheSimulator();
};

void TestDemo::preparedFolderReadsAllSettingsFromTheSimulator()
{
    QTemporaryDir dir;
    const QString home = dir.filePath("demo-home");

    QProcess prepare;
    prepare.start(QStringLiteral(KESTRUM_SOURCE_DIR "/tools/demo-prepare.sh"),
                  {home, QStringLiteral(KESTRUM_SIM_PATH)});
    QVERIFY(prepare.waitForFinished(20000));
    QCOMPARE(prepare.exitCode(), 0);
    const qint64 simPid = prepare.readAllStandardOutput().trimmed().toLongLong();
    QVERIFY(simPid > 0);
    auto stopSimulator = qScopeGuard([simPid] { ::kill(pid_t(simPid), SIGTERM); });

    QVERIFY(QFileInfo(home + "/ports/com1").isSymLink());
    QFile defaults(home + "/default.set");
    QVERIFY(defaults.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = defaults.readAll().split('\n');
    QCOMPARE(lines.size(), 251); // 250 lines, each ending in CR LF
    QCOMPARE(lines[0], QByteArray("0    ->1\r"));
    QCOMPARE(lines[150], QByteArray("150    ->\r"));

    QProcess cli;
    cli.start(QStringLiteral(KESTRUM_CLI_PATH),
              {"--home", home, "read-all", "--save", dir.filePath("backup.cfg")});
    QVERIFY(cli.waitForFinished(60000));
    const QString errors = QString::fromLatin1(cli.readAllStandardError());
    QVERIFY2(cli.exitCode() == 0, qPrintable(errors));
    QVERIFY(errors.contains("Reading of all settings was successfull."));
    QVERIFY(QFile::exists(dir.filePath("backup.cfg")));
    QVERIFY(!QDir(home + "/Log").entryList(QDir::Files).isEmpty());
}

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo_e2e.moc"
