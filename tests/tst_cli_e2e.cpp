// kestrum-cli as a user runs it: the real binary against kestrum-sim over a real
// pseudo-terminal, checked by exit status, standard output, standard error, the
// files written and what the simulated converter holds afterwards.

#include "support/SimProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// The bulk items of "Read all" and "Write all".
const QList<int> BulkItems = {0,  5,  7,  10, 11, 12, 13, 14, 15, 16, 17, 20, 21, 22,
                              23, 24, 25, 26, 27, 30, 31, 32, 33, 34, 35, 36, 37};

struct CliResult
{
    int exitCode = -1;
    QString out;
    QString err;

    QStringList errLines() const { return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QStringList outLines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

// The lines of a settings file by item number, the value after the separator.
QMap<int, QString> fileValues(const QString &path)
{
    QMap<int, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const int arrow = line.indexOf("    ->");
        if (arrow > 0)
            values.insert(line.left(arrow).toInt(), QString::fromLatin1(line.mid(arrow + 6)));
    }
    return values;
}

bool writeLatin1(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

static QString changedCopy(SimProcess &sim, const QString &path, const QString &changes);

class TestCliE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void readAllSavesTheConvertersValuesIntoAFullFile();
    void writeAllMakesTheConverterHoldTheFile();
    void writeAllThatLeavesAnItemOutFails();
    void readPrintsItemAndValue_data();
    void readPrintsItemAndValue();
    void writeThenReadGivesTheNewValue();
    void writeSendsTheValueAlsoForItemsNotOnTheScreen_data();
    void writeSendsTheValueAlsoForItemsNotOnTheScreen();
    void damagedFilesNeverReachTheConverter_data();
    void damagedFilesNeverReachTheConverter();
    void anInterruptEndsTheWorkBetweenTwoExchanges_data();
    void anInterruptEndsTheWorkBetweenTwoExchanges();
    void anItemThatCannotBeDecodedFailsTheRead();
    void restartEndsInItsStatusLine();
    void callSendsTheTestCall();
    void callWithoutAddressIsAUsageError();
    void deviceGivenByPathAndDebugDetail();
    void showPrintsTheFileAsATable();
    void writeChangedWritesOnlyWhatDiffers_data();
    void writeChangedWritesOnlyWhatDiffers();
    void diffPrintsOnlyWhatDiffers_data();
    void diffPrintsOnlyWhatDiffers();
    void theHistoryKeepsEveryStateAndRestoresOne();
    void portsListsThirtyPorts();
    void withoutHomeTheWindowProgramsFolderRuleApplies();
    void helpAndVersionAreWrittenOut_data();
    void helpAndVersionAreWrittenOut();
    void usageErrorsGiveExitTwoAndOneLine_data();
    void usageErrorsGiveExitTwoAndOneLine();
    void aPortThatCannotBeOpenedGivesExitTwo_data();
    void aPortThatCannotBeOpenedGivesExitTwo();
    void filesThatCannotBeReadOrWrittenGiveExitTwo();
    void aSilentConverterAbortsReadAll();
    void aRefusingConverterAbortsASingleWrite();
    void aSilentConverterFailsTheRestart();
    void timeoutCancelsWorkThatNeverEnds();

private:
    CliResult run(const QStringList &arguments, int timeoutMs = 60000,
                  const QString &kestrumHome = QString());
    bool startSim(const QStringList &extra = {});
    QString simValue(int item);
    QString home() const { return m_home->path(); }

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<SimProcess> m_sim;
};

void TestCliE2e::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    QVERIFY(QDir(home()).mkdir(QStringLiteral("ports")));
    m_sim = std::make_unique<SimProcess>();
}

void TestCliE2e::cleanup()
{
    m_sim.reset();
    m_home.reset();
}

bool TestCliE2e::startSim(const QStringList &extra)
{
    return m_sim->start(QStringList{QStringLiteral("--link"), home() + "/ports/com1"} + extra);
}

QString TestCliE2e::simValue(int item)
{
    if (!m_sim->sendCommand(QStringLiteral("get %1").arg(item)))
        return QStringLiteral("<no answer>");
    const QString prefix = QStringLiteral("value item %1 = ").arg(item);
    const QStringList lines = m_sim->output().split(QLatin1Char('\n'));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (it->startsWith(prefix))
            return it->mid(prefix.size());
    }
    return QStringLiteral("<no answer>");
}

CliResult TestCliE2e::run(const QStringList &arguments, int timeoutMs, const QString &kestrumHome)
{
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("KESTRUM_HOME"));
    if (!kestrumHome.isEmpty())
        environment.insert(QStringLiteral("KESTRUM_HOME"), kestrumHome);
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(KESTRUM_CLI_PATH), arguments);
    CliResult result;
    if (!cli.waitForStarted(10000))
        return result;
    if (!cli.waitForFinished(timeoutMs)) {
        cli.kill();
        cli.waitForFinished(5000);
        result.err = QStringLiteral("<still running after the test's time limit>");
        return result;
    }
    result.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    result.out = QString::fromUtf8(cli.readAllStandardOutput());
    result.err = QString::fromUtf8(cli.readAllStandardError());
    return result;
}

void TestCliE2e::readAllSavesTheConvertersValuesIntoAFullFile()
{
    // The default file supplies every item the series does not read.
    QVERIFY(writeLatin1(home() + "/default.set", "151    ->From the default file\r\n"
                                                 "120    ->77\r\n"));
    QVERIFY(startSim());
    QVERIFY(m_sim->sendCommand(QStringLiteral("set 10 4")));
    QVERIFY(m_sim->sendCommand(QStringLiteral("set 25 45")));

    const QString backup = home() + "/backup.cfg";
    const CliResult r = run({"--home", home(), "read-all", "--save", backup});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains(QStringLiteral("Reading of all settings was successfull.")),
             qPrintable(r.err));

    // One progress line per bulk item, in item order, each ending in " OK".
    const QStringList out = r.outLines();
    QCOMPARE(out.size(), BulkItems.size());
    for (int i = 0; i < BulkItems.size(); ++i) {
        QVERIFY2(out.at(i).startsWith(QStringLiteral("Reading setting %1  ").arg(BulkItems.at(i))),
                 qPrintable(out.at(i)));
        QVERIFY2(out.at(i).endsWith(QStringLiteral(" OK")), qPrintable(out.at(i)));
    }

    QFile file(backup);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QCOMPARE(content.count("\r\n"), 250);
    QCOMPARE(content.count('\n'), 250);

    const QMap<int, QString> saved = fileValues(backup);
    QCOMPARE(saved.size(), 250);
    QCOMPARE(saved.firstKey(), 0);
    QCOMPARE(saved.lastKey(), 249);
    for (int item : BulkItems)
        QCOMPARE(saved.value(item), simValue(item));
    QCOMPARE(saved.value(10), QStringLiteral("4"));
    QCOMPARE(saved.value(25), QStringLiteral("45"));
    QCOMPARE(saved.value(151), QStringLiteral("From the default file"));
    QCOMPARE(saved.value(120), QStringLiteral("77"));
}

void TestCliE2e::writeAllMakesTheConverterHoldTheFile()
{
    QVERIFY(startSim());
    // Start from what the converter holds and change some of the bulk items to
    // other entries of their lists.
    const QString file = home() + "/new.cfg";
    QVERIFY(m_sim->sendCommand(QStringLiteral("save ") + file));
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray content = in.readAll();
    in.close();
    const QMap<int, QByteArray> changes = {{0, "2"}, {10, "1"}, {13, "2"}, {21, "0"}, {36, "1"}};
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        const QRegularExpression line(QStringLiteral("(?m)^%1    ->[^\\r]*\\r$").arg(it.key()));
        QString text = QString::fromLatin1(content);
        QVERIFY(text.contains(line));
        text.replace(
            line,
            QStringLiteral("%1    ->%2\r").arg(it.key()).arg(QString::fromLatin1(it.value())));
        content = text.toLatin1();
    }
    QVERIFY(writeLatin1(file, content));

    const CliResult r = run({"--home", home(), "write-all", file});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains(QStringLiteral("Programming of all settings was successfull.")),
             qPrintable(r.err));
    QCOMPARE(r.out.count(QStringLiteral(" -> Saved.\n")), BulkItems.size());

    const QMap<int, QString> wanted = fileValues(file);
    for (int item : BulkItems)
        QCOMPARE(simValue(item), wanted.value(item));
    QCOMPARE(simValue(0), QStringLiteral("2"));
    QCOMPARE(simValue(13), QStringLiteral("2"));
    QVERIFY(m_sim->output().contains(QStringLiteral("write item 36 = 1")));
}

void TestCliE2e::writeAllThatLeavesAnItemOutFails()
{
    QVERIFY(startSim());
    const QString file = home() + "/no-choice.cfg";
    QVERIFY(m_sim->sendCommand(QStringLiteral("save ") + file));
    const QMap<int, QString> values = fileValues(file);
    QByteArray content;
    for (int item = 0; item < 250; ++item)
        content += QByteArray::number(item) + "    ->" +
                   (item == 10 ? QByteArray("-1") : values.value(item).toLatin1()) + "\r\n";
    QVERIFY(writeLatin1(file, content));

    // Taken as the window takes it: no choice, so nothing to send for item 10.
    const CliResult r = run({"--home", home(), "--lenient", "write-all", file});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("Programming of all settings was not complete: 1 settings were not "
                            "sent.") &&
                 r.err.contains("Not sent: 10") && !r.err.contains("was successfull."),
             qPrintable(r.err));
    QVERIFY(!m_sim->output().contains(QStringLiteral("write item 10 =")));
    QVERIFY(m_sim->output().contains(QStringLiteral("write item 11 =")));
}

void TestCliE2e::readPrintsItemAndValue_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("simValue");
    QTest::addColumn<QString>("printed");

    QTest::newRow("a choice") << 10 << "3"
                              << "10=3";
    QTest::newRow("a number") << 120 << "1234"
                              << "120=1234";
    QTest::newRow("a text") << 156 << "Pager two"
                            << "156=Pager two";
    // Its legend is hidden: the progress line stays open, the result still gets a
    // line of its own.
    QTest::newRow("a text whose legend is hidden") << 150 << "hidden"
                                                   << "150=hidden";
}

void TestCliE2e::readPrintsItemAndValue()
{
    QFETCH(int, item);
    QFETCH(QString, simValue);
    QVERIFY(startSim());
    QVERIFY(m_sim->sendCommand(QStringLiteral("set %1 %2").arg(item).arg(simValue)));

    const CliResult r = run({"--home", home(), "read", QString::number(item)});
    QCOMPARE(r.exitCode, 0);
    const QStringList out = r.outLines();
    QVERIFY(!out.isEmpty());
    QVERIFY2(out.first().startsWith(QStringLiteral("Reading setting %1  ").arg(item)),
             qPrintable(r.out));
    QTEST(out.last(), "printed");
    QVERIFY(m_sim->output().contains(QStringLiteral("read item %1\n").arg(item)));
}

void TestCliE2e::writeThenReadGivesTheNewValue()
{
    QVERIFY(startSim());
    QVERIFY(simValue(0) != QStringLiteral("2"));

    const CliResult w = run({"--home", home(), "write", "0", "2"});
    QCOMPARE(w.exitCode, 0);
    QCOMPARE(w.out, QStringLiteral("Writing Diagnostic level: Debug info -> Saved.\n"));
    QVERIFY(m_sim->waitForOutput(QStringLiteral("write item 0 = 2")));
    QCOMPARE(simValue(0), QStringLiteral("2"));

    const CliResult r = run({"--home", home(), "read", "0"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.outLines().last(), QStringLiteral("0=2"));

    // Quiet: the result alone, for v=$(kestrum-cli -q read 0).
    const CliResult quiet = run({"--home", home(), "-q", "read", "0"});
    QCOMPARE(quiet.exitCode, 0);
    QCOMPARE(quiet.out, QStringLiteral("0=2\n"));
    QCOMPARE(quiet.err, QString());
}

void TestCliE2e::writeSendsTheValueAlsoForItemsNotOnTheScreen_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("out"); // the progress line names the value sent

    // A choice control that is not in use: the per-item button would send 0.
    QTest::newRow("choice not in use") << "3"
                                       << "4"
                                       << "Writing setting 3 4 -> Saved.\n";
    QTest::newRow("number item without control") << "147"
                                                 << "12"
                                                 << "Writing setting 147 12 -> Saved.\n";
    QTest::newRow("text item without control")
        << "240"
        << "spare\ttext"
        << "Writing setting 240 \"spare\\ttext\" -> Saved.\n";
    QTest::newRow("text item that is not in use") << "150"
                                                  << "12345"
                                                  << "Writing setting 150 \"12345\" -> Saved.\n";
    // Its box shows 0 as empty.
    QTest::newRow("number 0") << "120"
                              << "0"
                              << "Writing EventId 16 0 -> Saved.\n";
}

void TestCliE2e::writeSendsTheValueAlsoForItemsNotOnTheScreen()
{
    QFETCH(QString, item);
    QFETCH(QString, value);
    QVERIFY(startSim());

    const CliResult r = run({"--home", home(), "write", item, value});
    QCOMPARE(r.exitCode, 0);
    QTEST(r.out, "out");
    const QString printed = QString(value).replace('\t', "<09>"); // as the simulator prints it
    QVERIFY(m_sim->waitForOutput(QStringLiteral("write item %1 = %2").arg(item, printed)));
    QCOMPARE(simValue(item.toInt()), value);
}

void TestCliE2e::damagedFilesNeverReachTheConverter_data()
{
    QTest::addColumn<QStringList>("arguments"); // FILE stands for the file
    QTest::addColumn<QString>("changes");       // to what the converter holds; "" for nothing
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err"); // a line of standard error, FILE for the file

    const QString lenient = " (--lenient takes it as the window program does)";
    QTest::newRow("an empty file") << QStringList{"write-all", "FILE"} << "" << 2
                                   << "kestrum-cli: FILE: no line of the form NUMBER    ->VALUE, "
                                      "so no settings file" +
                                          lenient;
    QTest::newRow("a choice outside the list")
        << QStringList{"write-changed", "FILE"} << "10=99" << 2
        << "kestrum-cli: FILE: line 11: 99 is no choice of ESPA out serial speed (0..4)" + lenient;
    QTest::newRow("a report of it compared with the unit")
        << QStringList{"report", "FILE", "--compare", "unit", "-o", "FILE.pdf"} << "10=99" << 2
        << "kestrum-cli: FILE: line 11: 99 is no choice of ESPA out serial speed (0..4)" + lenient;
    // Taken as the window takes it: 99 becomes the first choice.
    QTest::newRow("the same with --lenient")
        << QStringList{"--lenient", "write-all", "FILE"} << "10=99" << 0
        << "Programming of all settings was successfull.";
}

void TestCliE2e::damagedFilesNeverReachTheConverter()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, changes);
    QFETCH(QString, err);
    QVERIFY(startSim());
    const QString file = home() + "/damaged.cfg";
    QVERIFY(changes.isEmpty() ? writeLatin1(file, "") : changedCopy(*m_sim, file, changes) == file);
    arguments.replaceInStrings(QStringLiteral("FILE"), file);

    const CliResult r = run(QStringList{"--home", home()} + arguments);
    QTEST(r.exitCode, "exitCode");
    QVERIFY2(r.err.contains(err.replace(QStringLiteral("FILE"), file)), qPrintable(r.err));
    if (r.exitCode == 2) {
        QCOMPARE(r.errLines(), QStringList{err});
        QCOMPARE(r.out, QString());
        QVERIFY2(!m_sim->output().contains(QStringLiteral("item")), qPrintable(m_sim->output()));
    } else {
        QCOMPARE(simValue(10), QStringLiteral("0"));
    }
}

void TestCliE2e::anItemThatCannotBeDecodedFailsTheRead()
{
    // The program decodes no answer about item 1; three failures abort the job.
    QVERIFY(startSim());
    const CliResult r = run({"--home", home(), "read", "1"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out.count(QStringLiteral("ERROR reading setting!")), 3);
    QVERIFY2(r.err.contains(QStringLiteral("Reading is aborted!")), qPrintable(r.err));
    QVERIFY(!r.out.contains(QStringLiteral("1=")));
}

void TestCliE2e::anInterruptEndsTheWorkBetweenTwoExchanges_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("work");
    QTest::addColumn<QString>("report"); // the last line; the items are checked apart

    QTest::newRow("Ctrl-C during write-all")
        << SIGINT << "write-all"
        << "Interrupted: (\\d+) of 27 settings written; the converter now holds a mix of old "
           "and new settings\\.";
    QTest::newRow("SIGTERM during write-changed")
        << SIGTERM << "write-changed"
        << "Interrupted: ([\\d, ]+) written; ([\\d, ]+) not written; the converter now holds a "
           "mix of old and new settings\\.";
}

void TestCliE2e::anInterruptEndsTheWorkBetweenTwoExchanges()
{
    QFETCH(int, signal);
    QFETCH(QString, work);
    QFETCH(QString, report);
    // Slow answers, so the signal comes while there is work left.
    QVERIFY(startSim({"--fault", "delay 150"}));
    const QString file = changedCopy(*m_sim, home() + "/new.cfg", "0=2;10=1;13=2;21=0;36=1");
    QVERIFY(!file.isEmpty());

    QProcess cli;
    cli.start(QStringLiteral(KESTRUM_CLI_PATH), {"--home", home(), work, file});
    QVERIFY(cli.waitForStarted(10000));
    QString out;
    const int saves = work == "write-all" ? 3 : 1;
    QDeadlineTimer deadline(60000);
    while (out.count(QStringLiteral(" -> Saved.")) < saves && !deadline.hasExpired() &&
           cli.state() == QProcess::Running) {
        cli.waitForReadyRead(100);
        out += QString::fromUtf8(cli.readAllStandardOutput());
    }
    QVERIFY2(::kill(pid_t(cli.processId()), signal) == 0, qPrintable(out));
    QVERIFY(cli.waitForFinished(30000));
    out += QString::fromUtf8(cli.readAllStandardOutput());
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 128 + signal);

    // The report on a line of its own, last, and in the log.
    const QRegularExpressionMatch m = QRegularExpression("\n(" + report + ")\n$").match(out);
    QVERIFY2(m.hasMatch(), qPrintable(out));
    QVERIFY2(err.contains(' ' + m.captured(1) + '\n'), qPrintable(err));
    // It names exactly what the converter was sent, each write answered.
    QStringList written;
    for (const QString &line : m_sim->output().split('\n')) {
        if (line.startsWith(QStringLiteral("write item ")))
            written.append(line.section(' ', 2, 2));
    }
    QCOMPARE(out.count(QStringLiteral(" -> Saved.")), written.size());
    if (work == "write-all")
        QCOMPARE(m.captured(2), QString::number(written.size()));
    else
        QCOMPARE(m.captured(2), written.join(QStringLiteral(", ")));
    QVERIFY(written.size() >= saves && written.size() < 27);

    // No frame was cut off: the next run finds the line clean.
    const CliResult next = run({"--home", home(), "read", "0"});
    QCOMPARE(next.exitCode, 0);
    for (const char *damage : {"incomplete", "ignored", "bad check", "bad header"})
        QVERIFY2(!m_sim->output().contains(QLatin1String(damage)), qPrintable(m_sim->output()));
}

void TestCliE2e::restartEndsInItsStatusLine()
{
    QVERIFY(startSim());
    const CliResult r = run({"--home", home(), "restart"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains(QStringLiteral("STATUS: RESET command send to the converter.")),
             qPrintable(r.err));
    QCOMPARE(r.out, QString());
    QVERIFY(m_sim->waitForOutput(QStringLiteral("restart\n")));
}

void TestCliE2e::callSendsTheTestCall()
{
    QVERIFY(startSim());
    const CliResult r =
        run({"--home", home(), "call", "1234", "--message", "Hello there", "--bleep", "12"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains(QStringLiteral("STATUS: Calling pager via Kestrum succesfull.")),
             qPrintable(r.err));
    QVERIFY2(m_sim->waitForOutput(QStringLiteral("1=1234 2=Hello there 3=C\n")),
             qPrintable(m_sim->output()));

    // Without --bleep the call takes entry 1, as the window's list starts.
    const CliResult plain = run({"--home", home(), "call", "55"});
    QCOMPARE(plain.exitCode, 0);
    QVERIFY2(m_sim->waitForOutput(QStringLiteral("1=55 3=1\n")), qPrintable(m_sim->output()));
}

void TestCliE2e::callWithoutAddressIsAUsageError()
{
    QVERIFY(startSim());
    const CliResult r = run({"--home", home(), "call", ""});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QStringLiteral("Please enter address of pager")), qPrintable(r.err));
    QVERIFY(!m_sim->output().contains(QStringLiteral("buffer position")));
}

void TestCliE2e::deviceGivenByPathAndDebugDetail()
{
    // No link: the device is named on the command line; --debug adds the detail.
    QVERIFY(m_sim->start());
    QVERIFY(m_sim->sendCommand(QStringLiteral("set 10 2")));
    const CliResult r =
        run({"--port", m_sim->ptyPath(), "--home", home(), "--debug", "read", "10"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.startsWith(QStringLiteral("Reading setting 10   [Item: 10 Value: 2] ")),
             qPrintable(r.out));
    QCOMPARE(r.outLines().last(), QStringLiteral("10=2"));

    // The log file of the day holds the same lines as standard error.
    const QStringList logs = QDir(home() + "/Log").entryList({"*.log"}, QDir::Files);
    QCOMPARE(logs.size(), 1);
    QFile log(home() + "/Log/" + logs.first());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString logged = QString::fromLatin1(log.readAll()).remove(QLatin1Char('\r'));
    for (const QString &line : r.errLines())
        QVERIFY2(logged.contains(line), qPrintable(line));
}

void TestCliE2e::showPrintsTheFileAsATable()
{
    const QString file = home() + "/some.cfg";
    QVERIFY(writeLatin1(file, "0    ->2\r\n10    ->3\r\n13    ->9\r\n120    ->300\r\n"
                              "151    ->Pager \xe9t\xe9\r\n152    ->a\tb\x01\rc\r\n"));
    const CliResult r = run({"--home", home(), "show", file});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    const QStringList lines = r.outLines();
    QCOMPARE(lines.size(), 1 + 250);
    QVERIFY(lines.first().startsWith(QStringLiteral("Item")));

    auto row = [&](int item) {
        const QStringList cells = lines.at(1 + item).split(QRegularExpression(" {2,}"));
        return cells;
    };
    QCOMPARE(row(0), (QStringList{"0", "Diagnostic level:", "2", "Debug info"}));
    QCOMPARE(row(10), (QStringList{"10", "ESPA out serial speed:", "3", "9600 baud"}));
    QCOMPARE(row(13), (QStringList{"13", "ESPA out serial parity:", "9", "(no such choice)"}));
    QCOMPARE(row(11).mid(0, 3), (QStringList{"11", "ESPA out serial number of bits:", "0"}));
    QCOMPARE(row(120).mid(0, 3), (QStringList{"120", "EventId 16", "300"}));
    QCOMPARE(row(151).mid(0, 2), (QStringList{"151", "Op te roepen pager bij ComStoring BMC:"}));
    QVERIFY(lines.at(1 + 151).endsWith(QString::fromUtf8("Pager été")));
    QVERIFY2(lines.at(1 + 152).endsWith(QStringLiteral(" a\\tb\\x01\\rc")),
             qPrintable(lines.at(1 + 152)));
    QVERIFY(lines.at(1 + 249).startsWith(QStringLiteral("249 ")));

    const CliResult json = run({"--home", home(), "show", "--json", file});
    QCOMPARE(json.exitCode, 0);
    const QJsonArray items = QJsonDocument::fromJson(json.out.toUtf8()).array();
    QCOMPARE(items.size(), 250);
    QCOMPARE(items.at(13).toObject(), QJsonObject({{"item", 13},
                                                   {"legend", "ESPA out serial parity:"},
                                                   {"value", QJsonObject{{"number", 9}}}}));
    QCOMPARE(items.at(10).toObject().value("value").toObject(),
             (QJsonObject{{"number", 3}, {"text", "9600 baud"}}));
    QCOMPARE(items.at(151).toObject().value("value").toObject(),
             QJsonObject({{"text", QString::fromUtf8("Pager été")}}));
}

// A copy of what the simulator holds, with some of its settings changed ("10=4;13=2").
static QString changedCopy(SimProcess &sim, const QString &path, const QString &changes)
{
    if (!sim.sendCommand(QStringLiteral("save ") + path))
        return QString();
    QMap<int, QString> values = fileValues(path);
    for (const QString &change : changes.split(';', Qt::SkipEmptyParts))
        values[change.section('=', 0, 0).toInt()] = change.section('=', 1);
    QByteArray content;
    for (int item = 0; item < 250; ++item)
        content += QByteArray::number(item) + "    ->" + values.value(item).toLatin1() + "\r\n";
    return writeLatin1(path, content) ? path : QString();
}

void TestCliE2e::writeChangedWritesOnlyWhatDiffers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("changes");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QStringList>("writes");

    const QStringList both = {"write item 10 = 4", "write item 13 = 2"};
    QTest::newRow("two settings differ")
        << ""
        << "10=4;13=2" << 0 << "Applied 2 changed settings; all read back as written." << both;
    QTest::newRow("nothing differs")
        << ""
        << "" << 0 << "The unit already holds these settings." << QStringList();
    QTest::newRow("the unit refuses one write")
        << "nak-write:13"
        << "10=4;13=2" << 1
        << "Applying changed settings failed: 10, 13\n10 ESPA out serial speed: not read back\n"
           "13 ESPA out serial parity: not written"
        << QStringList{"write item 10 = 4"};
    QTest::newRow("the unit keeps another value")
        << "store-other:13"
        << "10=4;13=2" << 1
        << "Applying changed settings failed: 13\n13 ESPA out serial parity: wrote odd parity, "
           "the unit holds no parity"
        << QStringList{"write item 10 = 4", "write item 13 = 3"};
    QTest::newRow("the reads fail") << "checksum"
                                    << "10=4;13=2" << 1 << "\nCancelled!" << QStringList();
}

void TestCliE2e::writeChangedWritesOnlyWhatDiffers()
{
    QFETCH(QString, fault);
    QFETCH(QString, changes);
    QFETCH(int, exitCode);
    QFETCH(QString, report);
    QFETCH(QStringList, writes);

    QVERIFY(startSim(fault.isEmpty() ? QStringList() : QStringList{"--fault", fault}));
    const QString file = changedCopy(*m_sim, home() + "/wanted.cfg", changes);
    QVERIFY(!file.isEmpty());
    const CliResult r = run({"--home", home(), "write-changed", file});
    QCOMPARE(r.exitCode, exitCode);
    // The planned changes come before anything is written.
    const QString planned = changes.isEmpty() ? QString()
                                              : "10\tESPA out serial speed:\t3 9600 baud\t4 19200 "
                                                "baud\n13\tESPA out serial parity:\t0 no parity\t2 "
                                                "odd parity\n";
    QVERIFY2(r.out.contains("OK\n" + planned + (changes.isEmpty() ? "" : "Writing")) ||
                 fault == "checksum",
             qPrintable(r.out));
    QVERIFY2(r.out.endsWith(report + "\n"), qPrintable(r.out));
    QStringList written;
    for (const QString &line : m_sim->output().split('\n')) {
        if (line.startsWith("write item"))
            written.append(line);
    }
    QCOMPARE(written, writes);
    // Every write that was answered was read back.
    if (exitCode == 0)
        QCOMPARE(r.out.count(QStringLiteral(" OK\n")), 27 + writes.size());
}

void TestCliE2e::diffPrintsOnlyWhatDiffers_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");

    // 41 holds 1.5 and 2, which both go to the converter as 2.
    QTest::newRow("two files") << "held.cfg"
                               << "wanted.cfg"
                               << "" << 1
                               << "10\tESPA out serial speed:\t3 9600 baud\t4 19200 baud\n"
                                  "40\tBleepCode\t2 BleepCode: 2\t3 BleepCode: 3\n"
                                  "151\tOp te roepen pager bij ComStoring BMC:\t\"ESPA out\"\t"
                                  "\"a \\\"b\\\" \\\\\\tc\"\n";
    QTest::newRow("a file and itself") << "held.cfg"
                                       << "held.cfg"
                                       << "" << 0 << "";
    QTest::newRow("the unit and a file") << "unit"
                                         << "wanted.cfg"
                                         << "" << 1
                                         << "10\tESPA out serial speed:\t3 9600 baud\t4 "
                                            "19200 baud\n";
    QTest::newRow("a file and the unit, as JSON")
        << "wanted.cfg"
        << "unit"
        << "--json" << 1
        << R"([{"a":{"number":4,"text":"19200 baud"},"b":{"number":3,"text":"9600 baud"},)"
           R"("item":10,"legend":"ESPA out serial speed:"}])";
    QTest::newRow("a silent unit") << "unit"
                                   << "wanted.cfg"
                                   << "silent" << 3 << "";
    QTest::newRow("the unit and itself") << "unit"
                                         << "unit"
                                         << "" << 2 << "";
}

void TestCliE2e::diffPrintsOnlyWhatDiffers()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, option);
    QFETCH(int, exitCode);
    QFETCH(QString, out);

    QVERIFY(startSim(option == "silent" ? QStringList{"--fault", "silent"} : QStringList()));
    QVERIFY(!changedCopy(*m_sim, home() + "/held.cfg", "40=2.5;41=1.5").isEmpty());
    QVERIFY(
        !changedCopy(*m_sim, home() + "/wanted.cfg", "10=4;40=3;41=2;151=a \"b\" \\\tc").isEmpty());
    QStringList arguments = {"--home", home(), "diff"};
    for (const QString &side : {a, b})
        arguments << (side == "unit" ? side : home() + '/' + side);
    if (option == "--json")
        arguments << option;
    const CliResult r = run(arguments);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.err.contains("not the unit with itself"), exitCode == 2);
    if (option == "--json")
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).toJson(QJsonDocument::Compact),
                 out.toUtf8());
    else
        QCOMPARE(r.out, out);
    QVERIFY(!m_sim->output().contains(QStringLiteral("write item")));
}

// Two read-alls, a change on the converter itself, write-changed, the history, what the
// last change did, and a restore of the state before it.
void TestCliE2e::theHistoryKeepsEveryStateAndRestoresOne()
{
    QVERIFY(startSim());
    const QString held = home() + "/held.cfg";
    QVERIFY(m_sim->sendCommand("save " + held));
    const QStringList cli = {"--home", home()};
    CliResult r = run(cli + QStringList{"-q", "read-all"});
    QCOMPARE(r.exitCode, 0);
    const QRegularExpressionMatch kept =
        QRegularExpression("^Kept in history: (" + QRegularExpression::escape(home()) +
                           "/history/\\d{8}-\\d{6}-com1-read\\.cfg)\n$")
            .match(r.err);
    QVERIFY2(kept.hasMatch(), qPrintable(r.err));
    const QMap<int, QString> unit = fileValues(held), snapshot = fileValues(kept.captured(1));
    QCOMPARE(snapshot.size(), 250);
    for (int item : BulkItems)
        QCOMPARE(snapshot.value(item), unit.value(item));
    r = run(cli + QStringList{"-q", "read-all"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());

    QVERIFY(m_sim->sendCommand(QStringLiteral("set 14 1")));
    const QString wanted = changedCopy(*m_sim, home() + "/wanted.cfg", "10=4;13=2");
    r = run(cli + QStringList{"write-changed", wanted});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err.count(QRegularExpression("Kept in history: \\S+-com1-(read|written)\\.cfg\n")),
             2);
    r = run(cli + QStringList{"history"});
    QCOMPARE(r.exitCode, 0);
    const QString when = QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d");
    QVERIFY2(QRegularExpression(QStringLiteral("^@1\t%1\tCom1\twritten\t2\n@2\t%1\tCom1\tread\t1\n"
                                               "@3\t%1\tCom1\tread\t-\n$")
                                    .arg(when))
                 .match(r.out)
                 .hasMatch(),
             qPrintable(r.out));

    r = run(cli + QStringList{"diff", "@2", "@1"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QStringLiteral("10\tESPA out serial speed:\t3 9600 baud\t4 19200 baud\n"
                                   "13\tESPA out serial parity:\t0 no parity\t2 odd parity\n"));
    r = run(cli + QStringList{"write-changed", "@2"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.endsWith("Applied 2 changed settings; all read back as written.\n"),
             qPrintable(r.out));
    QCOMPARE(r.err.count(QStringLiteral("Kept in history: ")), 1);
    QCOMPARE(QStringList({simValue(10), simValue(13), simValue(14)}), QStringList({"3", "0", "1"}));
    r = run(cli + QStringList{"show", "@5"});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.err, QStringLiteral("kestrum-cli: @5: the history holds 4 snapshots, @1 to @4 (a "
                                   "file of that name is ./@5)\n"));
}

void TestCliE2e::portsListsThirtyPorts()
{
    QVERIFY(startSim());
    const CliResult r = run({"--home", home(), "ports"});
    QCOMPARE(r.exitCode, 0);
    // Then the serial devices no number reaches, each on a line starting with "-".
    QStringList lines = r.outLines();
    QVERIFY(std::all_of(lines.begin() + 30, lines.end(),
                        [](const QString &line) { return line.startsWith("-      /dev/"); }));
    lines = lines.mid(0, 30);
    // Com1 is the link to the simulator.
    QVERIFY2(lines.at(0).startsWith(QStringLiteral("Com1 ")), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(0).contains(m_sim->ptyPath() + QLatin1Char(' ')), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(0).contains(QStringLiteral("exists")), qPrintable(lines.at(0)));
    QVERIFY(lines.at(0).contains(QStringLiteral("ports/com1")));
    // The others follow the fixed table.
    QVERIFY(lines.at(1).contains(QStringLiteral("/dev/ttyUSB1 ")));
    QVERIFY(lines.at(10).contains(QStringLiteral("/dev/ttyACM0 ")));
    QVERIFY(lines.at(29).startsWith(QStringLiteral("Com30 ")));
    QVERIFY(lines.at(29).contains(QStringLiteral("/dev/ttyS9 ")));
    const bool ttyS9 = QFileInfo::exists(QStringLiteral("/dev/ttyS9"));
    QVERIFY(lines.at(29).contains(ttyS9 ? QStringLiteral("exists") : QStringLiteral("missing")));
}

void TestCliE2e::withoutHomeTheWindowProgramsFolderRuleApplies()
{
    // KESTRUM_HOME names the folder, as for the window program.
    QVERIFY(startSim());
    QVERIFY(m_sim->sendCommand(QStringLiteral("set 12 1")));
    const CliResult r = run({"read", "12"}, 60000, home());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.outLines().last(), QStringLiteral("12=1"));
    QVERIFY(!QDir(home() + "/Log").entryList({"*.log"}, QDir::Files).isEmpty());
}

void TestCliE2e::helpAndVersionAreWrittenOut_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("printed");
    QTest::newRow("--version") << QStringList{"--version"} << "kestrum-cli 1.0\n";
    QTest::newRow("help read-all")
        << QStringList{"help", "read-all"}
        << "Usage: kestrum-cli [OPTION]... read-all [--save FILE]\n"
           "Read all settings from the converter and print a line for each. With --save,\n"
           "also save them to FILE, a settings file of all 250 settings in which those that\n"
           "are not read keep the values of the default file.\n"
           "\n"
           "Example:\n"
           "  kestrum-cli read-all --save unit-42.cfg  # back up a converter\n";
}

void TestCliE2e::helpAndVersionAreWrittenOut()
{
    QFETCH(QStringList, arguments);
    const CliResult r = run(arguments);
    QCOMPARE(r.exitCode, 0);
    QTEST(r.out, "printed");
    QCOMPARE(r.err, QString());
}

void TestCliE2e::usageErrorsGiveExitTwoAndOneLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("no command") << QStringList{} << "no command";
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << "frobnicate";
    QTest::newRow("help for an unknown command")
        << QStringList{"help", "frobnicate"} << "unknown command \"frobnicate\"";
    QTest::newRow("item out of range") << QStringList{"read", "300"} << "0..249";
    QTest::newRow("bad option") << QStringList{"--speed", "9600", "read-all"} << "speed";
    QTest::newRow("home that does not exist")
        << QStringList{"--home", "/nonexistent/kestrum-home", "read-all"} << "does not exist";
    QTest::newRow("report without -o") << QStringList{"report", "a.cfg"} << "-o FILE.pdf";
    QTest::newRow("report as text")
        << QStringList{"report", "a.cfg", "-o", "a.txt"} << "-o FILE.pdf or -o FILE.html";
    QTest::newRow("report of a snapshot without history")
        << QStringList{"--home", QDir::tempPath(), "report", "@1", "-o", "r.pdf"}
        << "@1: the history holds no snapshot (a file of that name is ./@1)";
}

void TestCliE2e::usageErrorsGiveExitTwoAndOneLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, mentions);
    const CliResult r = run(arguments);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.startsWith(QStringLiteral("kestrum-cli: ")), qPrintable(r.err));
    QVERIFY2(r.err.contains(mentions), qPrintable(r.err));
}

void TestCliE2e::aPortThatCannotBeOpenedGivesExitTwo_data()
{
    QTest::addColumn<QStringList>("port");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("link to a device that is gone")
        << QStringList{} << "cannot open the port Com1 (/nonexistent/pts/77)";
    QTest::newRow("number without a device") << QStringList{"--port", "31"} << "Com31 (no device)";
    QTest::newRow("device path") << QStringList{"--port", "/nonexistent/tty"}
                                 << "cannot open the port /nonexistent/tty";
}

void TestCliE2e::aPortThatCannotBeOpenedGivesExitTwo()
{
    QFETCH(QStringList, port);
    QFETCH(QString, mentions);
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/pts/77"), home() + "/ports/com1"));
    const CliResult r = run(port + QStringList{"--home", home(), "read-all"});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(mentions), qPrintable(r.err));
}

void TestCliE2e::filesThatCannotBeReadOrWrittenGiveExitTwo()
{
    QVERIFY(startSim());
    const QString missing = home() + "/missing.cfg";

    CliResult r = run({"--home", home(), "write-all", missing});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(missing), qPrintable(r.err));
    QVERIFY(!m_sim->output().contains(QStringLiteral("write item")));

    r = run({"--home", home(), "show", missing});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(missing), qPrintable(r.err));

    // A backup that cannot be written is found out before the converter is asked.
    const QString unwritable = home() + "/no/such/folder/backup.cfg";
    r = run({"--home", home(), "read-all", "--save", unwritable});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.errLines(), QStringList{"kestrum-cli: cannot write the settings file \"" +
                                       unwritable + "\": no folder " + home() + "/no/such/folder"});
    QVERIFY(!m_sim->output().contains(QStringLiteral("read item")));

    r = run({"--home", home(), "report", missing, "-o", home() + "/report.pdf"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(missing), qPrintable(r.err));
    r = run({"--home", home(), "report", "unit", "-o", home() + "/no/such/folder/report.pdf"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.errLines().last().contains(QStringLiteral("cannot write the report")),
             qPrintable(r.err));
    QVERIFY(!m_sim->output().contains(QStringLiteral("read item")));

    // Standard output that takes nothing.
    QVERIFY(writeLatin1(home() + "/some.cfg", "0    ->2\r\n"));
    QProcess show;
    show.setStandardOutputFile(QStringLiteral("/dev/full"));
    show.start(QStringLiteral(KESTRUM_CLI_PATH), {"--home", home(), "show", home() + "/some.cfg"});
    QVERIFY(show.waitForFinished(30000));
    QCOMPARE(show.exitCode(), 2);
    QCOMPARE(QString::fromUtf8(show.readAllStandardError()),
             QStringLiteral("kestrum-cli: cannot write to standard output: No space left on "
                            "device\n"));

    // A file where the log folder should be: lines still printed, the failure once.
    QVERIFY(writeLatin1(home() + "/Log", "not a folder"));
    r = run({"--home", home(), "read", "10"});
    QCOMPARE(r.exitCode, 0);
    const QStringList reports = r.errLines().filter(QStringLiteral("Log not written"));
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().startsWith("kestrum-cli: Log not written: " + home() + "/Log/"),
             qPrintable(reports.first()));
    QVERIFY(r.errLines().size() > 2);
}

void TestCliE2e::aSilentConverterAbortsReadAll()
{
    QVERIFY(startSim({"--fault", "silent"}));
    const QString backup = home() + "/backup.cfg";
    const CliResult r = run({"--home", home(), "read-all", "--save", backup});
    QCOMPARE(r.exitCode, 1);
    // Item 0 times out three times, then the series is aborted.
    QCOMPARE(r.out.count(QStringLiteral("ERROR timeout wo SOH.")), 3);
    QVERIFY(r.out.contains(QStringLiteral("\nCancelled!\n")));
    QVERIFY2(r.err.contains(QStringLiteral("kestrum-cli: ERROR reading settings from the "
                                           "converter. Reading is aborted!")),
             qPrintable(r.err));
    QVERIFY(!r.err.contains(QStringLiteral("successfull")));
    // A failed series leaves no backup behind.
    QVERIFY(!QFile::exists(backup));
}

void TestCliE2e::aRefusingConverterAbortsASingleWrite()
{
    QVERIFY(startSim({"--fault", "nak"}));
    const CliResult r = run({"--home", home(), "write", "0", "2"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out.count(QStringLiteral(" -> program ERROR NACK.")), 3);
    QVERIFY2(r.err.contains(QStringLiteral("Programming is aborted!")), qPrintable(r.err));
}

void TestCliE2e::aSilentConverterFailsTheRestart()
{
    QVERIFY(startSim({"--fault", "silent"}));
    const CliResult r = run({"--home", home(), "restart"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.errLines().last().contains(
                 QStringLiteral("ERROR: TimeOut sending RESET command to the converter (SOH)")),
             qPrintable(r.err));
}

void TestCliE2e::timeoutCancelsWorkThatNeverEnds()
{
    // Every answer just in time: the read-all would take over a minute.
    QVERIFY(startSim({"--fault", "delay 2500"}));
    QElapsedTimer clock;
    clock.start();
    const CliResult r = run({"--home", home(), "--timeout", "2", "read-all"}, 30000);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(clock.elapsed() < 15000);
    QCOMPARE(r.out, QStringLiteral("Reading setting 0  \nGeannuleerd!\n"));
    QVERIFY2(r.errLines().last().contains(QStringLiteral("has not ended after 2 seconds")),
             qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCliE2e)
#include "tst_cli_e2e.moc"
