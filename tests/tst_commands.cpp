// The main window's commands through the real window on the offscreen platform: the
// buttons are pressed as the user presses them, the dialog interface answers, and the
// engine is ticked by hand against a scripted converter on an in-memory port.

#include "support/EngineRig.h"
#include "support/ScriptedConverter.h"
#include "support/WindowRig.h"
#include "window/WidgetScreen.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

namespace {

const QString CRLF = QStringLiteral("\r\n");
const QString ReadAllDone = QStringLiteral("Reading of all settings was successfull.");
const QString WriteAllDone = QStringLiteral("Programming of all settings was successfull.");
const QString TitleAddress = QStringLiteral("Kestrum by www.brivane.example");
const QString TitleVanBrivane = QStringLiteral("Kestrum van Brivane");
const QString SettingsFilter = QStringLiteral("cfg (*.cfg) | *.cfg");

// The value the scripted converter holds for every item it is asked for.
constexpr int ConverterValue = 1;

// A started window whose engine the test ticks by hand; the converter answers every
// read with ConverterValue and acknowledges everything else.
struct CommandRig : WindowRig
{
    int tick = 0;
    ScriptedConverter converter{port, tick};
    QStringList log; // without time stamps

    explicit CommandRig(const QString &commandLine = QString()) : WindowRig(commandLine)
    {
        window.detach(); // the test ticks the engine, not the window's timers
        app.log.onLine = [this](const QString &line) { log.append(line.mid(9)); };
        converter.answer = [](const QByteArray &request) {
            return requestType(request) == 'w' ? charAnswer(requestItem(request), ConverterValue)
                                               : ackAnswer();
        };
    }

    void step(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            ++tick;
            app.TmrAfhandelTick();
        }
    }

    bool runToQuiet(int limit = 5000)
    {
        for (int i = 0; i < limit && !app.engine.isQuiet(); ++i)
            step();
        return app.engine.isQuiet();
    }

    // The items of the requests of one type ('w' read, 'W' write) the converter
    // received, in order.
    QList<int> requestItems(char type) const
    {
        QList<int> items;
        for (const ScriptedConverter::Received &r : converter.received) {
            if (requestType(r.bytes) == type)
                items.append(requestItem(r.bytes));
        }
        return items;
    }
    QList<int> readItems() const { return requestItems('w'); }

    int pendingJobs() const
    {
        int jobs = 0;
        for (qint16 job : app.table.SettingJob)
            jobs += job != JOB_NONE;
        return jobs;
    }

    QString progress() { return window.screen().progressText(); }
};

bool press(WindowRig &rig, const QString &name)
{
    return pressButton(rig.window, name);
}

// Every file below a folder, relative to it.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QList<QByteArray> fileLines(const QString &path)
{
    QList<QByteArray> lines = fileBytes(path).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readAllPressedTwiceStartsOneSeries();
    void cancelEndsTheSeriesWithoutSuccess_data();
    void cancelEndsTheSeriesWithoutSuccess();
    void lowerItemIsReadFirst_data();
    void lowerItemIsReadFirst();
    void callNeedsAnAddress_data();
    void callNeedsAnAddress();
    void restartAsksFirst_data();
    void restartAsksFirst();
    void writeAllAsksFirst_data();
    void writeAllAsksFirst();
    void defaultFileCommandsAsk_data();
    void defaultFileCommandsAsk();
    void fileDialogsStartInTheSettingsFolder_data();
    void fileDialogsStartInTheSettingsFolder();
    void saveToFile_data();
    void saveToFile();
    void readFromFile_data();
    void readFromFile();
    void openComPortClosesAndReopens();
    void clearLogEmptiesOnlyTheProgressPane();
    void endingTheProgram_data();
    void endingTheProgram();
};

void TestCommands::readAllPressedTwiceStartsOneSeries()
{
    CommandRig rig;
    QVERIFY(press(rig, "CmdLeesAlles"));
    QVERIFY(press(rig, "CmdLeesAlles"));
    QCOMPARE(rig.app.engine.ReadAllRequest, qint16(-1));
    QVERIFY(rig.runToQuiet());

    QList<int> bulk;
    for (int item = 0; item <= 250; ++item) {
        if (IsBulkItem(item))
            bulk.append(item);
    }
    QCOMPARE(bulk.size(), 27);
    QCOMPARE(rig.readItems(), bulk); // each once, lowest first
    QCOMPARE(rig.log.count(ReadAllDone), 1);
    QCOMPARE(rig.progress().count(QStringLiteral(" OK\r\n")), 27);
    // Nothing more comes after the series.
    rig.step(300);
    QCOMPARE(rig.readItems().size(), 27);
}

void TestCommands::cancelEndsTheSeriesWithoutSuccess_data()
{
    QTest::addColumn<bool>("writing"); // a write-all series instead of a read-all
    QTest::addColumn<bool>("answerAwaited");
    QTest::newRow("read all, between two items") << false << false;
    QTest::newRow("read all, while an answer is awaited") << false << true;
    QTest::newRow("write all, between two items") << true << false;
    QTest::newRow("write all, while an answer is awaited") << true << true;
}

void TestCommands::cancelEndsTheSeriesWithoutSuccess()
{
    QFETCH(bool, writing);
    QFETCH(bool, answerAwaited);
    CommandRig rig;
    rig.scripted.questionAnswers = {true};
    QVERIFY(press(rig, writing ? "CmdSchrijfAlles" : "CmdLeesAlles"));
    const QString itemDone = writing ? QStringLiteral(" -> Saved.\r\n") : QStringLiteral(" OK\r\n");
    const QString seriesDone = writing ? WriteAllDone : ReadAllDone;
    const char type = writing ? 'W' : 'w';

    // Run into the series: five items done, then the moment to cancel.
    for (int i = 0; i < 5000 && rig.progress().count(itemDone) < 5; ++i)
        rig.step();
    QCOMPARE(rig.app.engine.BulkMode, qint16(writing ? 2 : 1));
    const qint16 moment =
        answerAwaited ? (writing ? Engine::ST_WRITE_SOH : Engine::ST_READ_SOH) : Engine::ST_IDLE;
    for (int i = 0; i < 500 && rig.app.engine.EngineState != moment; ++i)
        rig.step();
    QCOMPARE(rig.app.engine.EngineState, moment);
    QVERIFY(rig.pendingJobs() > 0);
    const int requestsBefore = int(rig.requestItems(type).size());
    const QString before = rig.progress();

    QVERIFY(press(rig, "CmdCancelReadWrite"));
    QCOMPARE(rig.pendingJobs(), 0);
    QCOMPARE(rig.progress(), before + CRLF + QStringLiteral("Geannuleerd!") + CRLF);
    auto *pane = rig.child<QPlainTextEdit>("TxtProgress");
    QVERIFY(pane->toPlainText().endsWith(QStringLiteral("\nGeannuleerd!\n")));
    QCOMPARE(pane->textCursor().position(), pane->document()->characterCount() - 1);
    QCOMPARE(rig.scripted.questions.size(), writing ? 1 : 0); // only Write all asked
    QVERIFY(!rig.log.contains(QStringLiteral("Geannuleerd!")));

    QVERIFY(rig.runToQuiet());
    rig.step(300);
    QVERIFY2(!rig.log.contains(seriesDone), "a cancelled series reports no success");
    QCOMPARE(rig.app.engine.BulkMode, qint16(0));
    QCOMPARE(rig.pendingJobs(), 0);
    // The request already on the line is finished, nothing after it is sent.
    QCOMPARE(rig.requestItems(type).size(), requestsBefore);
    QVERIFY(rig.scripted.boxes.isEmpty());
}

void TestCommands::lowerItemIsReadFirst_data()
{
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("30 pressed first")
        << QStringList{"CmdReadSingleSetting_30", "CmdReadSingleSetting_10"};
    QTest::newRow("10 pressed first")
        << QStringList{"CmdReadSingleSetting_10", "CmdReadSingleSetting_30"};
}

void TestCommands::lowerItemIsReadFirst()
{
    QFETCH(QStringList, buttons);
    CommandRig rig("/DEBUG");
    // Item 10's pair stands beside the button table, on a page that is never offered:
    // the page is offered here so that the mouse can reach the button.
    auto *tab2 = rig.child<QTabWidget>("SSTab2");
    const int tab9 = tab2->indexOf(rig.child("SSTab3")->parentWidget());
    QVERIFY(tab9 > 0);
    tab2->setTabEnabled(tab9, true);
    tab2->setTabVisible(tab9, true);
    for (const QString &name : buttons)
        QVERIFY2(press(rig, name), qPrintable(name));
    QCOMPARE(rig.app.table.SettingJob[10], JOB_READ);
    QCOMPARE(rig.app.table.SettingJob[30], JOB_READ);
    QCOMPARE(rig.pendingJobs(), 2);

    QVERIFY(rig.runToQuiet());
    QCOMPARE(rig.readItems(), (QList<int>{10, 30}));
    QCOMPARE(rig.app.table.SettingValue[10].asText(), QString::number(ConverterValue));
    QCOMPARE(rig.app.table.SettingValue[30].asText(), QString::number(ConverterValue));
    QVERIFY(!rig.log.contains(ReadAllDone));
}

void TestCommands::callNeedsAnAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("raised");
    QTest::newRow("empty") << "" << false;
    QTest::newRow("digits") << "1234" << true;
    QTest::newRow("a single blank is an address too") << " " << true;
}

void TestCommands::callNeedsAnAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, raised);
    CommandRig rig;
    rig.child<QTabWidget>("SSTab1")->setCurrentIndex(4);
    auto *box = rig.child<QLineEdit>("TxtTestPagerAdres");
    box->clear();
    QTest::keyClicks(box, address);
    QCOMPARE(box->text(), address);

    QVERIFY(press(rig, "CmdTestOproepPager"));
    QCOMPARE(rig.app.engine.PagerCallRequest, qint16(raised ? -1 : 0));
    QVERIFY(rig.scripted.questions.isEmpty());
    if (raised) {
        QVERIFY(rig.scripted.boxes.isEmpty());
    } else {
        QCOMPARE(rig.scripted.boxes.size(), 1);
        QCOMPARE(rig.scripted.boxes.first().title, TitleAddress);
        QCOMPARE(rig.scripted.boxes.first().text, QStringLiteral("Please enter address of pager"));
        QCOMPARE(rig.scripted.boxes.first().icon, Dialogs::Icon::Critical);
        // Nothing goes out to the converter either.
        rig.port.takeSent();
        rig.step(200);
        QCOMPARE(rig.port.sent, QByteArray());
    }
}

void TestCommands::restartAsksFirst_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel or box closed") << false;
}

void TestCommands::restartAsksFirst()
{
    QFETCH(bool, answer);
    CommandRig rig;
    rig.scripted.questionAnswers = {answer};
    QVERIFY(press(rig, "CmdTestHerstart"));
    QCOMPARE(rig.scripted.questions.size(), 1);
    QCOMPARE(rig.scripted.questions.first().title, TitleAddress);
    QCOMPARE(rig.scripted.questions.first().text,
             QStringLiteral("Restart the converter.\r\n\r\nAre you sure? "));
    QCOMPARE(rig.app.engine.RestartRequest, qint16(answer ? -1 : 0));
    QVERIFY(rig.scripted.boxes.isEmpty());
}

void TestCommands::writeAllAsksFirst_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void TestCommands::writeAllAsksFirst()
{
    QFETCH(bool, answer);
    CommandRig rig;
    const Value before = rig.app.table.SettingValue[12];
    QVERIFY(rig.window.screen().setSelectedIndex(12, 1));
    QVERIFY(rig.app.table.SettingValue[12] != Value::int16(1));

    rig.scripted.questionAnswers = {answer};
    QVERIFY(press(rig, "CmdSchrijfAlles"));
    QCOMPARE(rig.scripted.questions.size(), 1);
    QCOMPARE(rig.scripted.questions.first().title, QStringLiteral("Kestrum by Brivane"));
    QCOMPARE(rig.scripted.questions.first().text,
             QStringLiteral("Overwrite all settings in the converter.\r\nAre you sure?"));
    QCOMPARE(rig.app.engine.WriteAllRequest, qint16(answer ? -1 : 0));
    // OK takes the screen into the table first; Cancel leaves the table alone.
    QCOMPARE(rig.app.table.SettingValue[12], answer ? Value::int16(1) : before);
}

void TestCommands::defaultFileCommandsAsk_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("answer");

    const QString read = QStringLiteral(
        "Default instellingen uit file lezen.\r\n"
        "Dit betekend dat alle wijzigingen tot nu toe gemaakt, worden overschreven.\r\n"
        "Zeker weten? ");
    const QString save =
        QStringLiteral("Default instellingen naar file schrijven.\r\n"
                       "Hierbij wordt het oude default instellingen-file overschreven.\r\n"
                       "Zeker weten? ");
    QTest::newRow("read, OK") << "CmdInstellingenLezen" << read << true;
    QTest::newRow("read, Cancel") << "CmdInstellingenLezen" << read << false;
    QTest::newRow("save, OK") << "CmdInstellingenOpslaan" << save << true;
    QTest::newRow("save, Cancel") << "CmdInstellingenOpslaan" << save << false;
}

void TestCommands::defaultFileCommandsAsk()
{
    QFETCH(QString, button);
    QFETCH(QString, question);
    QFETCH(bool, answer);

    // "Save as default" can be pressed in service mode only.
    CommandRig rig("/DEBUG");
    const QString defaultFile = rig.app.files.defaultFilePath();
    QCOMPARE(defaultFile, rig.home.filePath(QStringLiteral("default.set")));
    const QByteArray oldDefault = "0    ->3\r\n10    ->4\r\n";
    QVERIFY(writeBytes(defaultFile, oldDefault));
    // The screen shows something else than the file.
    QVERIFY(rig.window.screen().setSelectedIndex(0, 1));
    QVERIFY(rig.window.screen().setSelectedIndex(10, 2));
    rig.app.table.UnitValue[10] = Value::int16(2);

    rig.scripted.questionAnswers = {answer};
    QVERIFY(press(rig, button));
    QCOMPARE(rig.scripted.questions.size(), 1);
    QCOMPARE(rig.scripted.questions.first().title, TitleVanBrivane);
    QCOMPARE(rig.scripted.questions.first().text, question);
    QVERIFY(rig.scripted.fileRequests.isEmpty());
    QVERIFY(rig.scripted.boxes.isEmpty());

    const bool reads = button == QLatin1String("CmdInstellingenLezen");
    const bool fileRead = reads && answer;
    const bool fileWritten = !reads && answer;
    QCOMPARE(rig.window.screen().selectedIndex(0), fileRead ? 3 : 1);
    QCOMPARE(rig.window.screen().selectedIndex(10), fileRead ? 4 : 2);
    QCOMPARE(rig.app.table.UnitValue[10], fileRead ? Value::int16(-1) : Value::int16(2));

    const QList<QByteArray> lines = fileLines(defaultFile);
    if (fileWritten) {
        QCOMPARE(lines.size(), 250);
        QCOMPARE(lines.at(0), QByteArray("0    ->1\r"));
        QCOMPARE(lines.at(10), QByteArray("10    ->2\r"));
    } else {
        QCOMPARE(fileBytes(defaultFile), oldDefault);
    }
}

void TestCommands::fileDialogsStartInTheSettingsFolder_data()
{
    QTest::addColumn<QString>("setPath");
    QTest::addColumn<bool>("folderEndsInSlash");
    QTest::addColumn<QString>("expected"); // "<home>" stands for the program folder

    QTest::newRow("no SetPath") << "" << false << "<home>/Instellingen";
    QTest::newRow("no SetPath, program folder ending in /") << "" << true << "<home>/Instellingen";
    QTest::newRow("SetPath, taken as it is") << "/srv/cfg, old" << false << "/srv/cfg, old";
}

void TestCommands::fileDialogsStartInTheSettingsFolder()
{
    QFETCH(QString, setPath);
    QFETCH(bool, folderEndsInSlash);
    QFETCH(QString, expected);

    CommandRig rig;
    rig.app.globals.SetPath = setPath;
    if (folderEndsInSlash)
        rig.app.globals.ProgramFolder = rig.home.path() + QLatin1Char('/');
    expected.replace(QStringLiteral("<home>"), rig.home.path());

    QVERIFY(press(rig, "CmdLezenUnitgegevens"));
    QVERIFY(press(rig, "CmdOpslaanUnitGegevens"));
    QCOMPARE(rig.scripted.fileRequests,
             (QStringList{
                 QStringList{"open", "*.cfg", expected, SettingsFilter}.join('|'),
                 QStringList{"save", "NieuweInstellingen", expected, SettingsFilter}.join('|')}));
}

void TestCommands::saveToFile_data()
{
    QTest::addColumn<bool>("chosen");
    QTest::newRow("cancelled") << false;
    QTest::newRow("file chosen") << true;
}

void TestCommands::saveToFile()
{
    QFETCH(bool, chosen);
    CommandRig rig;
    QVERIFY(rig.window.screen().setSelectedIndex(0, 2));
    const QString target = rig.home.filePath(QStringLiteral("Instellingen/unit.cfg"));
    QVERIFY(QDir().mkpath(QFileInfo(target).path()));
    const QStringList filesBefore = filesBelow(rig.home.path());
    if (chosen)
        rig.scripted.fileAnswers = {target};

    QVERIFY(press(rig, "CmdOpslaanUnitGegevens"));
    QCOMPARE(rig.scripted.fileRequests.size(), 1);
    QVERIFY(rig.scripted.fileRequests.first().startsWith("save|NieuweInstellingen|"));
    QCOMPARE(rig.scripted.beeps, chosen ? 0 : 1);
    QVERIFY(rig.scripted.questions.isEmpty());
    QVERIFY(rig.scripted.boxes.isEmpty());
    if (!chosen) {
        QCOMPARE(filesBelow(rig.home.path()), filesBefore);
        return;
    }
    const QList<QByteArray> lines = fileLines(target);
    QCOMPARE(lines.size(), 250);
    QCOMPARE(lines.first(), QByteArray("0    ->2\r"));
    QCOMPARE(lines.last(), QByteArray("249    ->\r"));
    QCOMPARE(rig.app.table.SettingValue[0], Value::int16(2));
}

void TestCommands::readFromFile_data()
{
    QTest::addColumn<QString>("answer"); // "<file>" for the prepared file
    QTest::addColumn<bool>("read");
    QTest::newRow("cancelled") << "" << false;
    QTest::newRow("the preset pattern handed back") << "*.cfg" << false;
    QTest::newRow("file chosen") << "<file>" << true;
}

void TestCommands::readFromFile()
{
    QFETCH(QString, answer);
    QFETCH(bool, read);
    CommandRig rig;
    const QString file = rig.home.filePath(QStringLiteral("unit.cfg"));
    QVERIFY(writeBytes(file, "0    ->3\r\n10    ->4\r\n20    ->2\r\n"));
    Screen &screen = rig.window.screen();
    QVERIFY(screen.setSelectedIndex(0, 1));
    QVERIFY(screen.setSelectedIndex(10, 1));
    rig.app.table.UnitValue[10] = Value::int16(1);
    answer.replace(QStringLiteral("<file>"), file);
    rig.scripted.fileAnswers = {answer};

    QVERIFY(press(rig, "CmdLezenUnitgegevens"));
    QCOMPARE(rig.scripted.fileRequests.size(), 1);
    QVERIFY(rig.scripted.fileRequests.first().startsWith("open|*.cfg|"));
    QCOMPARE(rig.scripted.beeps, read ? 0 : 1);
    QVERIFY(rig.scripted.questions.isEmpty()); // no question before reading either
    QVERIFY(rig.scripted.boxes.isEmpty());
    QCOMPARE(screen.selectedIndex(0), read ? 3 : 1);
    QCOMPARE(screen.selectedIndex(10), read ? 4 : 1);
    QCOMPARE(screen.selectedIndex(20), read ? 2 : 0);
    QCOMPARE(rig.app.table.SettingValue[10], read ? Value::int16(4) : Value::int16(0));
    QCOMPARE(rig.app.table.UnitValue[10], read ? Value::int16(-1) : Value::int16(1));
}

void TestCommands::openComPortClosesAndReopens()
{
    CommandRig rig;
    const int opensBefore = int(rig.port.openedDevices.size());
    QVERIFY(rig.port.isOpen());
    QVERIFY(press(rig, "CmdReOpenCom"));
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.port.openedDevices.size(), opensBefore + 1);
    QCOMPARE(rig.log, (QStringList{QStringLiteral("Comport closed by software."),
                                   QStringLiteral("Com: 1 opened with: 9600,N,8,1")}));

    // A port closed by hand is opened again the same way.
    QVERIFY(rig.child<QPushButton>("Command1"));
    rig.child<QPushButton>("Command1")->click();
    QVERIFY(!rig.port.isOpen());
    rig.log.clear();
    QVERIFY(press(rig, "CmdReOpenCom"));
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.log, (QStringList{QStringLiteral("Comport closed by software."),
                                   QStringLiteral("Com: 1 opened with: 9600,N,8,1")}));
}

void TestCommands::clearLogEmptiesOnlyTheProgressPane()
{
    CommandRig rig;
    rig.app.log.WriteLog(QStringLiteral("A line for the message window"));
    rig.window.screen().appendProgress(QStringLiteral("Reading setting 10 OK\r\n"));
    rig.app.LedTimerTick();
    auto *first = rig.child<QLineEdit>("Text2_0");
    QCOMPARE(first->text(), QStringLiteral("10:00:00 A line for the message window"));

    QVERIFY(press(rig, "CmdWisLogVenster"));
    QCOMPARE(rig.window.screen().progressText(), QString());
    QCOMPARE(rig.child<QPlainTextEdit>("TxtProgress")->toPlainText(), QString());
    rig.app.LedTimerTick();
    QCOMPARE(first->text(), QStringLiteral("10:00:00 A line for the message window"));
    QCOMPARE(rig.app.log.MessageLineCount, 1);
    QVERIFY(rig.scripted.questions.isEmpty());
}

void TestCommands::endingTheProgram_data()
{
    QTest::addColumn<QString>("how"); // "quit" through the menu, or "close" the window
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("ends");

    QTest::newRow("Quit, Cancel") << "quit" << false << false;
    QTest::newRow("Quit, OK") << "quit" << true << true;
    QTest::newRow("window closed") << "close" << true << true;
}

void TestCommands::endingTheProgram()
{
    QFETCH(QString, how);
    QFETCH(bool, answer);
    QFETCH(bool, ends);

    // The window's own timers drive the engine here, as in the running program.
    WindowRig rig;
    int tick = 0;
    ScriptedConverter converter(rig.port, tick);
    converter.answer = [](const QByteArray &request) {
        return charAnswer(requestItem(request), ConverterValue);
    };
    QStringList log;
    rig.app.log.onLine = [&log](const QString &line) { log.append(line.mid(9)); };
    QSignalSpy closed(&rig.window, &MainWindow::closed);
    rig.scripted.questionAnswers = {answer};

    if (how == QLatin1String("quit")) {
        rig.window.findChild<QAction *>("Quit")->trigger();
        QCOMPARE(rig.scripted.questions.size(), 1);
        QCOMPARE(rig.scripted.questions.first().title, TitleAddress);
        QCOMPARE(rig.scripted.questions.first().text,
                 QStringLiteral("Do you want to quit the program?"));
        QVERIFY(rig.scripted.questions.first().icon == Dialogs::Icon::None);
    } else {
        rig.window.close();
        QVERIFY(rig.scripted.questions.isEmpty());
    }

    QCOMPARE(rig.port.isOpen(), !ends);
    QCOMPARE(log.count(QStringLiteral("Comport closed by software.")), ends ? 1 : 0);
    QCOMPARE(closed.size(), ends ? 1 : 0);
    QCOMPARE(rig.window.isVisible(), !ends);

    // Whether everything still runs: a read job is served by the window's timers, or
    // nothing reaches the converter any more.
    rig.port.takeSent();
    rig.app.table.SettingJob[10] = JOB_READ;
    if (ends) {
        QTest::qWait(500);
        QCOMPARE(rig.port.sent, QByteArray());
        QCOMPARE(rig.app.table.SettingJob[10], JOB_READ);
        QCOMPARE(log.count(QStringLiteral("Comport closed by software.")), 1);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(rig.app.table.SettingJob[10] == JOB_NONE, 10000);
        QVERIFY(!converter.received.isEmpty());
        QCOMPARE(requestItem(converter.received.last().bytes), 10);
        QCOMPARE(rig.app.table.SettingValue[10], Value::int16(ConverterValue));
        QVERIFY(!log.contains(QStringLiteral("Comport closed by software.")));
    }
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
