#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "serial/MemorySerialBackend.h"
#include "support/FakeClock.h"

#include <QTemporaryDir>
#include <QtTest>

using Command = CliOptions::Command;
using Outcome = CliParseResult::Outcome;

Q_DECLARE_METATYPE(CliOptions::Command)
Q_DECLARE_METATYPE(CliParseResult::Outcome)

namespace {

CliParseResult parse(const QStringList &arguments)
{
    return ParseCliArguments(QStringList{QStringLiteral("kestrum-cli")} + arguments);
}

} // namespace

class TestCliArgs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandsAndTheirArguments_data();
    void commandsAndTheirArguments();
    void usageErrorsGiveOneLine_data();
    void usageErrorsGiveOneLine();
    void helpAndVersionAreAskedFor_data();
    void helpAndVersionAreAskedFor();
    void globalOptions();
    void portNamesANumberOrADevice_data();
    void portNamesANumberOrADevice();
    void writeTakesAValueThatLooksLikeAnOption();
    void usageNamesEveryCommand();
    void homeMustBeAFolder();
    void aPortWithoutPermissionNamesTheFix();
};

void TestCliArgs::commandsAndTheirArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("bleep");

    QTest::newRow("read-all") << QStringList{"read-all"} << Command::ReadAll << "" << -1 << ""
                              << ""
                              << "" << 1;
    QTest::newRow("read-all with a backup file")
        << QStringList{"read-all", "--save", "b.cfg"} << Command::ReadAll << "b.cfg" << -1 << ""
        << ""
        << "" << 1;
    QTest::newRow("read-all --save=FILE")
        << QStringList{"read-all", "--save=x/y.cfg"} << Command::ReadAll << "x/y.cfg" << -1 << ""
        << ""
        << "" << 1;
    QTest::newRow("write-all") << QStringList{"write-all", "a.cfg"} << Command::WriteAll << "a.cfg"
                               << -1 << ""
                               << ""
                               << "" << 1;
    QTest::newRow("read the first item")
        << QStringList{"read", "0"} << Command::Read << "" << 0 << ""
        << ""
        << "" << 1;
    QTest::newRow("read the last file item")
        << QStringList{"read", "249"} << Command::Read << "" << 249 << ""
        << ""
        << "" << 1;
    QTest::newRow("write a choice")
        << QStringList{"write", "10", "3"} << Command::Write << "" << 10 << "3"
        << ""
        << "" << 1;
    QTest::newRow("write a number item without a control")
        << QStringList{"write", "149", "32767"} << Command::Write << "" << 149 << "32767"
        << ""
        << "" << 1;
    QTest::newRow("a choice with a fraction is rounded as the window rounds it")
        << QStringList{"write", "10", "4.4"} << Command::Write << "" << 10 << "4.4"
        << ""
        << "" << 1;
    QTest::newRow("write a text with blanks") << QStringList{"write", "151", "  two words "}
                                              << Command::Write << "" << 151 << "  two words "
                                              << ""
                                              << "" << 1;
    QTest::newRow("write an empty text")
        << QStringList{"write", "233", ""} << Command::Write << "" << 233 << ""
        << ""
        << "" << 1;
    QTest::newRow("a text item takes any text, also one like a number")
        << QStringList{"write", "150", "12abc"} << Command::Write << "" << 150 << "12abc"
        << ""
        << "" << 1;
    QTest::newRow("restart") << QStringList{"restart"} << Command::Restart << "" << -1 << ""
                             << ""
                             << "" << 1;
    QTest::newRow("call with the default bleep code")
        << QStringList{"call", "1234"} << Command::Call << "" << -1 << ""
        << "1234"
        << "" << 1;
    QTest::newRow("call with message and bleep code")
        << QStringList{"call", "1234", "--message", "Hello there", "--bleep", "15"} << Command::Call
        << "" << -1 << ""
        << "1234"
        << "Hello there" << 15;
    QTest::newRow("call options before the address")
        << QStringList{"call", "--bleep", "0", "77"} << Command::Call << "" << -1 << ""
        << "77"
        << "" << 0;
    QTest::newRow("call with an empty address is left to the Call button")
        << QStringList{"call", ""} << Command::Call << "" << -1 << ""
        << ""
        << "" << 1;
    QTest::newRow("show") << QStringList{"show", "some file.cfg"} << Command::Show
                          << "some file.cfg" << -1 << ""
                          << ""
                          << "" << 1;
    QTest::newRow("ports") << QStringList{"ports"} << Command::Ports << "" << -1 << ""
                           << ""
                           << "" << 1;
}

void TestCliArgs::commandsAndTheirArguments()
{
    QFETCH(QStringList, arguments);
    const CliParseResult result = parse(arguments);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.outcome, Outcome::Run);
    const CliOptions &o = result.options;
    QTEST(o.command, "command");
    QTEST(o.file, "file");
    QTEST(o.item, "item");
    QTEST(o.value, "value");
    QTEST(o.address, "address");
    QTEST(o.message, "message");
    QTEST(o.bleep, "bleep");
    // Nothing given before the command: the setup file's port, the usual folder.
    QCOMPARE(o.port, QString());
    QCOMPARE(o.home, QString());
    QCOMPARE(o.debug, false);
    QCOMPARE(o.timeoutSeconds, 120.0);
}

void TestCliArgs::usageErrorsGiveOneLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("nothing at all") << QStringList{} << "no command";
    QTest::newRow("only options") << QStringList{"--debug"} << "no command";
    QTest::newRow("unknown command") << QStringList{"fetch"} << "fetch";
    QTest::newRow("unknown global option") << QStringList{"--baud", "9600", "ports"} << "baud";
    QTest::newRow("global option after the command")
        << QStringList{"read-all", "--debug"} << "--debug goes before the command";
    QTest::newRow("global option after a command without options")
        << QStringList{"read", "10", "-q"} << "-q goes before the command";
    QTest::newRow("an unknown option keeps its dashes")
        << QStringList{"show", "x.cfg", "--jsn"} << "Unknown option '--jsn'.";
    QTest::newRow("read without item") << QStringList{"read"} << "read takes 1 argument";
    QTest::newRow("read with two items") << QStringList{"read", "1", "2"} << "ITEM";
    QTest::newRow("item past the file's items") << QStringList{"read", "250"} << "0..249";
    QTest::newRow("negative item") << QStringList{"read", "-1"} << "\"-1\"";
    QTest::newRow("item that is no number") << QStringList{"read", "ten"} << "0..249";
    QTest::newRow("write without value") << QStringList{"write", "10"} << "ITEM VALUE";
    QTest::newRow("a number item given a word") << QStringList{"write", "100", "abc"} << "number";
    QTest::newRow("a number item given a number with a tail")
        << QStringList{"write", "10", "3x"} << "\"3x\" is no choice";
    QTest::newRow("a number too big for the converter")
        << QStringList{"write", "120", "40000"} << "40000 is no number of EventId 16 (0..32767)";
    QTest::newRow("a negative number")
        << QStringList{"write", "120", "-5"} << "setting 120: -5 is no number";
    QTest::newRow("a choice past the list")
        << QStringList{"write", "10", "99"}
        << "setting 10: 99 is no choice of ESPA out serial speed (0..4)";
    QTest::newRow("no choice") << QStringList{"write", "10", "-1"} << "-1 is no choice";
    QTest::newRow("a bleep code past F") << QStringList{"write", "40", "16"} << "BleepCode (0..15)";
    QTest::newRow("a setting without a list past a byte")
        << QStringList{"write", "80", "256"} << "256 is no value of setting 80 (0..255)";
    QTest::newRow("a text the converter's answer cannot echo")
        << QStringList{"write", "155", QString(86, 'x')} << "86 characters is too long for";
    QTest::newRow("a text the converter cannot carry")
        << QStringList{"write", "151", QString::fromUtf8("\u20ac 5")} << "8859-1";
    QTest::newRow("read-all with an argument") << QStringList{"read-all", "x"} << "read-all";
    QTest::newRow("--save without a file") << QStringList{"read-all", "--save"} << "save";
    QTest::newRow("--save with an empty name") << QStringList{"read-all", "--save="} << "save";
    QTest::newRow("detect --save takes no file")
        << QStringList{"detect", "--save", "f"} << "detect takes no arguments";
    QTest::newRow("detect --device without a path")
        << QStringList{"detect", "--device", ""} << "--device needs a device path";
    QTest::newRow("--save belongs to read-all")
        << QStringList{"restart", "--save", "f"} << "restart takes no arguments";
    QTest::newRow("--message belongs to call")
        << QStringList{"read", "1", "--message", "x"} << "read takes 1 argument";
    QTest::newRow("--bleep belongs to call") << QStringList{"read-all", "--bleep", "3"} << "bleep";
    QTest::newRow("write-all without file") << QStringList{"write-all"} << "FILE";
    QTest::newRow("show with an empty name") << QStringList{"show", ""} << "file name";
    QTest::newRow("call without address") << QStringList{"call"} << "ADDRESS";
    QTest::newRow("bleep code above 15") << QStringList{"call", "1", "--bleep", "16"} << "0..15";
    QTest::newRow("bleep code in hex") << QStringList{"call", "1", "--bleep", "A"} << "0..15";
    QTest::newRow("port 0") << QStringList{"--port", "0", "ports"} << "--port";
    QTest::newRow("port word") << QStringList{"--port", "tty1", "ports"} << "tty1";
    QTest::newRow("port past the index range")
        << QStringList{"--port", "40000", "ports"} << "--port";
    QTest::newRow("timeout 0") << QStringList{"--timeout", "0", "restart"} << "--timeout";
    QTest::newRow("timeout negative") << QStringList{"--timeout", "-3", "restart"} << "--timeout";
    QTest::newRow("timeout word") << QStringList{"--timeout", "soon", "restart"} << "soon";
    QTest::newRow("timeout infinite") << QStringList{"--timeout", "inf", "restart"} << "--timeout";
    QTest::newRow("timeout past a timer's range")
        << QStringList{"--timeout", "3000000", "restart"} << "--timeout";
    QTest::newRow("empty home") << QStringList{"--home", "", "ports"} << "--home";
    QTest::newRow("address with an unknown scheme")
        << QStringList{"--port", "ssh://unit:22", "read", "0"}
        << "\"ssh://unit:22\" is no network address: unknown scheme \"ssh\"";
    QTest::newRow("detect address without a host")
        << QStringList{"detect", "--device", "tcp://:4001"}
        << "\"tcp://:4001\" is no network address: no host";
    QTest::newRow("option value missing at the end") << QStringList{"--port"} << "port";
    QTest::newRow("help for an unknown command") << QStringList{"help", "fetch"} << "\"fetch\"";
    QTest::newRow("help for two commands")
        << QStringList{"help", "read", "write"} << "help takes 1 argument";
}

void TestCliArgs::usageErrorsGiveOneLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, mentions);
    const CliParseResult result = parse(arguments);
    QCOMPARE(result.outcome, Outcome::UsageError);
    QVERIFY2(result.error.contains(mentions), qPrintable(result.error));
    QVERIFY(!result.error.contains(QLatin1Char('\n')));
}

void TestCliArgs::helpAndVersionAreAskedFor_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("helpCommand"); // "" for the whole help
    QTest::newRow("--help") << QStringList{"--help"} << Outcome::Help << "";
    QTest::newRow("-h") << QStringList{"-h"} << Outcome::Help << "";
    QTest::newRow("--help beside other options")
        << QStringList{"--debug", "--help"} << Outcome::Help << "";
    QTest::newRow("--help before a command")
        << QStringList{"--help", "read", "x"} << Outcome::Help << "";
    QTest::newRow("a command's --help") << QStringList{"call", "--help"} << Outcome::Help << "call";
    QTest::newRow("-h after a command without options")
        << QStringList{"show", "-h"} << Outcome::Help << "show";
    QTest::newRow("write's --help") << QStringList{"write", "--help"} << Outcome::Help << "write";
    QTest::newRow("help alone") << QStringList{"help"} << Outcome::Help << "";
    QTest::newRow("help COMMAND") << QStringList{"help", "read-all"} << Outcome::Help << "read-all";
    QTest::newRow("help after options")
        << QStringList{"--port", "3", "help", "ports"} << Outcome::Help << "ports";
    QTest::newRow("--version") << QStringList{"--version"} << Outcome::Version << "";
}

void TestCliArgs::helpAndVersionAreAskedFor()
{
    QFETCH(QStringList, arguments);
    const CliParseResult result = parse(arguments);
    QTEST(result.outcome, "outcome");
    QTEST(result.helpCommand, "helpCommand");
}

void TestCliArgs::globalOptions()
{
    const CliParseResult result = parse({"--port", "/dev/pts/9", "--home", "/tmp/kh", "--debug",
                                         "-q", "--lenient", "--timeout", "2.5", "read", "7"});
    QCOMPARE(result.outcome, Outcome::Run);
    const CliOptions &o = result.options;
    QCOMPARE(o.port, QStringLiteral("/dev/pts/9"));
    QCOMPARE(o.home, QStringLiteral("/tmp/kh"));
    QVERIFY(o.debug && o.quiet && o.lenient);
    QCOMPARE(o.timeoutSeconds, 2.5);
    QCOMPARE(o.command, Command::Read);
    QCOMPARE(o.item, 7);
    QVERIFY(o.needsConverter());

    // The long options also work with one dash and with "=".
    const CliParseResult oneDash = parse({"-port=4", "-timeout", "9", "ports"});
    QCOMPARE(oneDash.outcome, Outcome::Run);
    QCOMPARE(oneDash.options.portNumber(), 4);
    QCOMPARE(oneDash.options.timeoutSeconds, 9.0);
    QVERIFY(!oneDash.options.needsConverter());
}

void TestCliArgs::portNamesANumberOrADevice_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<bool>("device");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("kept");

    QTest::newRow("Com1") << "1" << false << 1 << "1";
    QTest::newRow("leading zero") << "03" << false << 3 << "3";
    QTest::newRow("past the fixed table still opens through the mapping")
        << "31" << false << 31 << "31";
    QTest::newRow("highest index") << "32767" << false << 32767 << "32767";
    QTest::newRow("as ports prints it") << "Com2" << false << 2 << "2";
    QTest::newRow("in small letters") << "com12" << false << 12 << "12";
    QTest::newRow("pseudo-terminal") << "/dev/pts/4" << true << 0 << "/dev/pts/4";
    QTest::newRow("relative path") << "./ttyX" << true << 0 << "./ttyX";
}

void TestCliArgs::portNamesANumberOrADevice()
{
    QFETCH(QString, given);
    const CliParseResult result = parse({"--port", given, "restart"});
    QCOMPARE(result.outcome, Outcome::Run);
    QTEST(result.options.portIsDevice(), "device");
    QTEST(result.options.portNumber(), "number");
    QTEST(result.options.port, "kept");
}

void TestCliArgs::writeTakesAValueThatLooksLikeAnOption()
{
    // A negative number or a text that starts with dashes is the value, not an option.
    CliParseResult result = parse({"write", "152", "-5"});
    QCOMPARE(result.outcome, Outcome::Run);
    QCOMPARE(result.options.value, QStringLiteral("-5"));

    result = parse({"write", "152", "--help"});
    QCOMPARE(result.outcome, Outcome::Run);
    QCOMPARE(result.options.value, QStringLiteral("--help"));

    result = parse({"write", "--", "152", "-x-"});
    QCOMPARE(result.outcome, Outcome::Run);
    QCOMPARE(result.options.item, 152);
    QCOMPARE(result.options.value, QStringLiteral("-x-"));

    // The call's message takes one with "=".
    result = parse({"call", "55", "--message=-urgent-"});
    QCOMPARE(result.outcome, Outcome::Run);
    QCOMPARE(result.options.message, QStringLiteral("-urgent-"));
}

void TestCliArgs::usageNamesEveryCommand()
{
    const QString usage = CliUsage();
    QVERIFY(
        usage.startsWith(QStringLiteral("Usage: kestrum-cli [OPTION]... COMMAND [ARGUMENTS]\n")));
    const QStringList lines = usage.split(QLatin1Char('\n'));
    for (const char *command :
         {"read-all [--save FILE]", "write-all FILE", "read ITEM", "write ITEM VALUE", "restart",
          "call ADDRESS [--message TEXT] [--bleep N]", "show FILE", "ports", "help [COMMAND]"}) {
        const QString start = QStringLiteral("  ") + QLatin1String(command);
        const bool found = std::any_of(lines.begin(), lines.end(),
                                       [&](const QString &line) { return line.startsWith(start); });
        QVERIFY2(found, command);
    }
    // The user's words, never the program's inner names; lines fit a terminal.
    for (const char *name : {"JOB_", "SettingValue", "SettingsFile(", "Combo", "Cmd"})
        QVERIFY2(!usage.contains(QLatin1String(name)), name);
    for (const QString &line : lines)
        QVERIFY2(line.size() <= 79, qPrintable(line));
}

void TestCliArgs::homeMustBeAFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CliOptions options;
    QString error;

    options.home = dir.filePath(QStringLiteral("missing"));
    QCOMPARE(CliRunner::ProgramFolderFor(options, QStringLiteral("/usr/bin"), &error), QString());
    QVERIFY2(error.contains(QStringLiteral("missing")), qPrintable(error));

    QFile file(dir.filePath(QStringLiteral("plain")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    options.home = file.fileName();
    QCOMPARE(CliRunner::ProgramFolderFor(options, QStringLiteral("/usr/bin"), &error), QString());

    // A relative folder is made absolute, so the log and the port links do not
    // depend on where the tool runs later.
    QDir::setCurrent(dir.path());
    QVERIFY(QDir().mkdir(QStringLiteral("home")));
    options.home = QStringLiteral("home/");
    QCOMPARE(CliRunner::ProgramFolderFor(options, QStringLiteral("/usr/bin"), &error),
             QDir(dir.path()).canonicalPath() + QStringLiteral("/home"));
}

void TestCliArgs::aPortWithoutPermissionNamesTheFix()
{
    QTemporaryDir home;
    MemorySerialBackend port;
    port.denyNextOpen = true;
    FakeClock clock;
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    CliRunner runner(parse({"read", "5"}).options, port, clock, home.path(), outStream, errStream);
    QCOMPARE(runner.run(), int(CliRunner::ExitUsage));
    QCOMPARE(err,
             QStringLiteral("kestrum-cli: cannot open the port Com1 (/dev/ttyUSB0): Permission "
                            "denied (no permission: add your user to the dialout group and "
                            "log in again)\n"));
}

QTEST_GUILESS_MAIN(TestCliArgs)
#include "tst_cli_args.moc"
