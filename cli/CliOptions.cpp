#include "cli/CliOptions.h"

#include "base/Value.h"
#include "settings/SettingsTable.h"

#include <QCommandLineParser>
#include <cmath>

namespace {

using Command = CliOptions::Command;

struct CommandSpec
{
    const char *name;
    Command command;
    int positionals;
    const char *arguments; // as the usage writes them, for error lines
};

constexpr CommandSpec Commands[] = {
    {"read-all", Command::ReadAll, 0, "[--save FILE]"},
    {"write-all", Command::WriteAll, 1, "FILE"},
    {"read", Command::Read, 1, "ITEM"},
    {"write", Command::Write, 2, "ITEM VALUE"},
    {"restart", Command::Restart, 0, ""},
    {"call", Command::Call, 1, "ADDRESS [--message TEXT] [--bleep N]"},
    {"show", Command::Show, 1, "FILE"},
    {"ports", Command::Ports, 0, ""},
};

// The converter's texts are 8-bit: a character it cannot carry would arrive as
// another one.
bool IsLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

CliParseResult Failed(const QString &error)
{
    CliParseResult result;
    result.outcome = CliParseResult::Outcome::UsageError;
    result.error = error;
    return result;
}

bool ParseInt(const QString &text, int low, int high, int &out)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    if (!ok || n < low || n > high)
        return false;
    out = n;
    return true;
}

QString Usage(const CommandSpec &spec)
{
    QString line = QStringLiteral("usage: kestrum-cli [options] ") + QLatin1String(spec.name);
    if (*spec.arguments)
        line += QLatin1Char(' ') + QLatin1String(spec.arguments);
    return line;
}

// After the command come only that command's own options (read-all and call have
// some); the global options come before the command.
CliParseResult ParseCommand(const CommandSpec &spec, const QStringList &rest, CliParseResult result)
{
    CliOptions &o = result.options;
    o.command = spec.command;

    QStringList positionals;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption save(QStringLiteral("save"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption message(QStringLiteral("message"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption bleep(QStringLiteral("bleep"), QString(), QStringLiteral("N"));
    const bool hasOptions = spec.command == Command::ReadAll || spec.command == Command::Call;
    if (!hasOptions) {
        // Taken as they are, so "write 120 -5" writes -5 and "read -1" is refused as
        // an item number. A leading "--" is allowed.
        positionals = rest;
        if (!positionals.isEmpty() && positionals.first() == QLatin1String("--"))
            positionals.removeFirst();
        else if (spec.command != Command::Write && rest.size() == 1 &&
                 (rest.first() == QLatin1String("--help") || rest.first() == QLatin1String("-h"))) {
            result.outcome = CliParseResult::Outcome::Help;
            return result;
        }
    } else {
        parser.addOption(help);
        if (spec.command == Command::ReadAll)
            parser.addOption(save);
        if (spec.command == Command::Call) {
            parser.addOption(message);
            parser.addOption(bleep);
        }
        if (!parser.parse(QStringList{QStringLiteral("kestrum-cli")} + rest))
            return Failed(parser.errorText() + QStringLiteral(" (") + Usage(spec) +
                          QLatin1Char(')'));
        if (parser.isSet(help)) {
            result.outcome = CliParseResult::Outcome::Help;
            return result;
        }
        positionals = parser.positionalArguments();
    }

    if (positionals.size() != spec.positionals)
        return Failed(QStringLiteral("%1 takes %2 (%3)")
                          .arg(QLatin1String(spec.name),
                               spec.positionals == 0 ? QStringLiteral("no arguments")
                               : spec.positionals == 1
                                   ? QStringLiteral("1 argument")
                                   : QStringLiteral("%1 arguments").arg(spec.positionals),
                               Usage(spec)));

    switch (spec.command) {
    case Command::ReadAll:
        if (parser.isSet(save)) {
            o.file = parser.value(save);
            if (o.file.isEmpty())
                return Failed(QStringLiteral("--save needs a file name"));
        }
        break;
    case Command::WriteAll:
    case Command::Show:
        o.file = positionals.at(0);
        if (o.file.isEmpty())
            return Failed(QStringLiteral("%1 needs a file name").arg(QLatin1String(spec.name)));
        break;
    case Command::Read:
    case Command::Write:
        if (!ParseInt(positionals.at(0), 0, 249, o.item))
            return Failed(QStringLiteral("ITEM must be an item number 0..249, not \"%1\"")
                              .arg(positionals.at(0)));
        if (spec.command == Command::Write) {
            o.value = positionals.at(1);
            if (IsNumberItem(o.item) && !Value::text(o.value).asInt16())
                return Failed(QStringLiteral("item %1 holds a number -32768..32767, not \"%2\"")
                                  .arg(o.item)
                                  .arg(o.value));
            if (!IsLatin1(o.value))
                return Failed(QStringLiteral("VALUE holds characters outside ISO 8859-1"));
        }
        break;
    case Command::Call:
        o.address = positionals.at(0);
        o.message = parser.value(message);
        if (parser.isSet(bleep) && !ParseInt(parser.value(bleep), 0, 15, o.bleep))
            return Failed(
                QStringLiteral("--bleep must be 0..15, not \"%1\"").arg(parser.value(bleep)));
        if (!IsLatin1(o.address) || !IsLatin1(o.message))
            return Failed(QStringLiteral("the call's texts hold characters outside ISO 8859-1"));
        break;
    case Command::Restart:
    case Command::Ports:
        break;
    }
    result.outcome = CliParseResult::Outcome::Run;
    return result;
}

} // namespace

int CliOptions::portNumber() const
{
    if (port.isEmpty() || portIsDevice())
        return 0;
    bool ok = false;
    const int n = port.toInt(&ok, 10);
    return ok ? n : 0;
}

CliParseResult ParseCliArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Everything from the command on belongs to the command.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("N|DEVICE"));
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption debug(QStringLiteral("debug"), QString());
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(),
                                     QStringLiteral("SECONDS"));
    parser.addOptions({help, port, home, debug, timeout});

    if (!parser.parse(arguments))
        return Failed(parser.errorText() + QStringLiteral(" (see kestrum-cli --help)"));

    CliParseResult result;
    if (parser.isSet(help)) {
        result.outcome = CliParseResult::Outcome::Help;
        return result;
    }

    CliOptions &o = result.options;
    if (parser.isSet(port)) {
        o.port = parser.value(port);
        int n = 0;
        if (!o.portIsDevice() && !ParseInt(o.port, 1, 32767, n))
            return Failed(QStringLiteral("--port takes a port number 1.. or a device path, not "
                                         "\"%1\"")
                              .arg(o.port));
        if (!o.portIsDevice())
            o.port = QString::number(n);
    }
    if (parser.isSet(home)) {
        o.home = parser.value(home);
        if (o.home.isEmpty())
            return Failed(QStringLiteral("--home needs a folder"));
    }
    o.debug = parser.isSet(debug);
    if (parser.isSet(timeout)) {
        bool ok = false;
        const double seconds = parser.value(timeout).toDouble(&ok);
        // The upper bound keeps the time in milliseconds within a timer's range.
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 2000000)
            return Failed(QStringLiteral("--timeout takes a number of seconds above 0, not "
                                         "\"%1\"")
                              .arg(parser.value(timeout)));
        o.timeoutSeconds = seconds;
    }

    const QStringList positionals = parser.positionalArguments();
    if (positionals.isEmpty())
        return Failed(QStringLiteral("no command given (see kestrum-cli --help)"));
    for (const CommandSpec &spec : Commands) {
        if (positionals.first() == QLatin1String(spec.name))
            return ParseCommand(spec, positionals.mid(1), result);
    }
    return Failed(
        QStringLiteral("unknown command \"%1\" (see kestrum-cli --help)").arg(positionals.first()));
}

QString CliUsage()
{
    return QStringLiteral(
        "kestrum-cli [--port N|DEVICE] [--home DIR] [--debug] [--timeout SECONDS] COMMAND "
        "[ARGUMENTS]\n"
        "\n"
        "  read-all [--save FILE]        \"Read all settings from unit\"; with --save, "
        "afterwards\n"
        "                                WriteSettingsFile(FILE) (all 250 items: the default "
        "file's\n"
        "                                values with what was read)\n"
        "  write-all FILE                ReadSettingsFile(FILE), then \"Write all settings to "
        "unit\"\n"
        "  read ITEM                     one JOB_READ for ITEM (0..249); prints \"ITEM=VALUE\" "
        "on success\n"
        "  write ITEM VALUE              SettingValue(ITEM) := VALUE (a number for items "
        "0..149, the\n"
        "                                text for 150..249), then one JOB_WRITE for ITEM\n"
        "  restart                       the restart request\n"
        "  call ADDRESS [--message TEXT] [--bleep N]\n"
        "                                the test call (N 0..15, default 1, as "
        "ComboTestBleepCode)\n"
        "  show FILE                     print a settings file as a table: item, legend, value, "
        "and for\n"
        "                                a CHAR item its choice text; no converter needed\n"
        "  ports                         print Com1..Com30 with the device each opens and "
        "whether it exists\n"
        "\n"
        "  --port N|DEVICE   Com N through the program folder's port mapping, or a device "
        "path;\n"
        "                    overrides the setup file's port for this run\n"
        "  --home DIR        the program folder (Kestrum.set, default.set, Log/, ports/)\n"
        "  --debug           service mode (DebugLevel 2): the extra detail lines\n"
        "  --timeout SECONDS when the work has not ended by then: cancel, exit 1 "
        "(default 120)\n"
        "\n"
        "Progress goes to standard output, log lines and messages to standard error.\n"
        "Exit status: 0 success; 1 the converter failed the work; 2 a usage error, a port\n"
        "that cannot be opened, or a file that cannot be read or written.\n");
}
