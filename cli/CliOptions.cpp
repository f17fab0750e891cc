#include "cli/CliOptions.h"

#include "app/SettingsFileCheck.h"
#include "base/Value.h"
#include "serial/NetworkAddress.h"
#include "settings/SettingsTable.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <cmath>

namespace {

using Command = CliOptions::Command;

// The commands: how they are parsed, and what --help and "help COMMAND" say of
// them, in the words of the user.
struct CommandSpec
{
    const char *name;
    Command command;
    int positionals;
    const char *arguments;   // as the usage writes them after the name
    const char *description; // what the command does for the user
    const char *example;     // one command line, with "  # " and what it does
};

constexpr CommandSpec Commands[] = {
    {"read-all", Command::ReadAll, 0, "[--save FILE]",
     "Read all settings from the converter and print a line for each. With --save, also "
     "save them to FILE, a settings file of all 250 settings in which those that are not "
     "read keep the values of the default file.",
     "kestrum-cli read-all --save unit-42.cfg  # back up a converter"},
    {"write-all", Command::WriteAll, 1, "FILE",
     "Load the settings file FILE and write its settings to the converter (the ones "
     "read-all reads), printing a line for each. The file must have a line for each of "
     "them whose value the converter gets as written (see --lenient); else nothing is "
     "sent.",
     "kestrum-cli write-all unit-42.cfg  # restore a backup"},
    {"write-changed", Command::WriteChanged, 1, "FILE",
     "Load the settings file FILE, read what the converter holds, print the settings that "
     "differ (as diff unit FILE prints them), write only those and read each back. Ends "
     "with one report: all read back as written, or the settings that did not take. Exit "
     "status 0 also when nothing differed. FILE is checked as for write-all.",
     "kestrum-cli write-changed unit-42.cfg  # apply only what differs"},
    {"read", Command::Read, 1, "ITEM",
     "Read setting number ITEM (0..249) from the converter and print it as ITEM=VALUE.",
     "kestrum-cli read 10  # prints e.g. 10=3"},
    {"write", Command::Write, 2, "ITEM VALUE",
     "Write VALUE into setting number ITEM of the converter and print what was sent: "
     "for 0..149 a number the setting takes (a choice by its number in the setting's "
     "list, 0..255 for a setting without one, 0..32767 for a number setting), for "
     "150..249 a text of at most 85 characters. Only this setting is written.",
     "kestrum-cli write 0 2  # diagnostic level Debug info"},
    {"restart", Command::Restart, 0, "", "Restart the converter and wait for its confirmation.",
     "kestrum-cli restart  # restart the converter"},
    {"call", Command::Call, 1, "ADDRESS [--message TEXT] [--bleep N]",
     "Send a test call through the converter to the pager ADDRESS, with the message TEXT "
     "(none when not given) and the bleep code N (0..15, default 1).",
     "kestrum-cli call 1234 --message Test --bleep 3  # a test call to pager 1234"},
    {"show", Command::Show, 1, "FILE [--json]",
     "Print the settings file FILE as a table: the number, name and value of every "
     "setting, and for a setting with a list of choices the text of its choice, or (no "
     "such choice). A tab, line end or other control character in a text is shown as "
     "\\t, \\n, \\r or \\xHH. With --json, a JSON array of objects with item, legend "
     "and value. Needs no converter.",
     "kestrum-cli show unit-42.cfg  # a backup as a table"},
    {"diff", Command::Diff, 2, "A B [--json]",
     "Compare two settings files, or a settings file with what the converter holds (the "
     "word unit for A or B), and print one line per setting that differs: number, name, "
     "A's value and B's value, separated by tabs; a text in double quotes, with \\ "
     "before a \" or \\ in it and control characters as in show. Two files are compared "
     "over all 250 "
     "settings, the converter over the settings read-all reads. With --json, a JSON array "
     "of objects with item, legend, a and b. Exit status 0 when nothing differs, 1 when "
     "something does, 3 when the converter failed the reads.",
     "kestrum-cli diff unit unit-42.cfg  # what a backup would change"},
    {"ports", Command::Ports, 0, "",
     "List the ports Com1..Com30: the device each one opens, whether that device is "
     "there now and, when it is, what the system calls it and its name under "
     "/dev/serial/by-id, or the network address a file ports/comN holds (shown as "
     "network); then the serial devices that no port reaches. Needs no converter.",
     "kestrum-cli ports  # which port is which device"},
    {"detect", Command::Detect, 0, "[--save] [--device PATH]",
     "Look for the converter on every serial device that is there, all at once, in a few "
     "seconds. Each device gets the converter's wake-up and one read request, nothing "
     "that changes a device; a device another program holds (its lock file, its flock, "
     "or opened for itself alone) is left alone, and so are Bluetooth serial devices "
     "(rfcomm) and ttyS devices without a UART unless a link ports/comN names them. "
     "--device PATH, given once or more, tries only those devices (or network "
     "addresses). Addresses kept in ports/comN are tried beside the devices. Prints a line "
     "per device: its port (- when no port reaches it), the device, what the system calls "
     "it (- when nothing) and converter, no answer, no permission, busy or no connection "
     "(a network server that could not be reached). With --save, the "
     "lowest port that answered becomes the port of the setup file; a device no port "
     "reached gets the lowest free port, linked to it.",
     "kestrum-cli detect --save  # find the converter's port"},
    {"report", Command::Report, 1,
     "SOURCE -o FILE.pdf|FILE.html [--title TEXT] [--compare SOURCE2]",
     "Write a configuration report of SOURCE to FILE: a settings file, or the word unit for "
     "what the converter holds (read first). It lists every setting of the window's four "
     "settings pages in their order, with its value in words, marks those that differ from "
     "the default file and counts them, and ends with lines for name, date and signature. "
     "TEXT is a title line (site, converter). With --compare, a section lists every setting "
     "that differs from SOURCE2, with both values. FILE.pdf is an archival PDF (PDF/A-3b) "
     "on A4, or Letter where the locale's paper is Letter, that carries the settings file "
     "inside it; FILE.html is the same report as one web page. Needs no display.",
     "kestrum-cli report unit-42.cfg -o unit-42.pdf  # a report to hand over"},
    {"history", Command::History, 0, "[--json]",
     "List the snapshots of the settings history, newest first, one line each: @N (@1 the "
     "newest), date and time, port, read or written, and how many of the settings read-all "
     "reads differ from the snapshot before it (- for the oldest), separated by tabs. A "
     "snapshot is kept in the folder history of the program folder whenever all those "
     "settings were read from a converter (read-all, write-changed, diff unit, the window) "
     "or written to it with every one confirmed; one equal to the newest of its port is not "
     "kept again; besides the first, the newest 1000 are kept. Wherever a command takes a "
     "settings file, @N names the Nth newest snapshot (./@N a file of that name). With "
     "--json, a JSON array of objects with snapshot, time, port, event, changes and path. "
     "Needs no converter.",
     "kestrum-cli history  # what the converters held"},
    {"help", Command::Help, 1, "[COMMAND]",
     "Print the usage of COMMAND, what it does and an example; without COMMAND, the whole "
     "help.",
     "kestrum-cli help read-all  # this text for read-all"},
};

const int HelpWidth = 79;

// The words of text in lines of at most HelpWidth characters, each line indented.
QString Wrapped(const QString &text, int indent)
{
    const QString margin(indent, QLatin1Char(' '));
    QString result;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > HelpWidth) {
            result += margin + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        result += margin + line + QLatin1Char('\n');
    return result;
}

// "name arguments", as the usage and the command list write a command.
QString Synopsis(const CommandSpec &spec)
{
    QString text = QLatin1String(spec.name);
    if (*spec.arguments)
        text += QLatin1Char(' ') + QLatin1String(spec.arguments);
    return text;
}

// The examples, their notes lined up after the longest command line.
QString ExampleLines(const QList<const CommandSpec *> &specs)
{
    const QString gap = QStringLiteral("  # ");
    qsizetype width = 0;
    for (const CommandSpec *spec : specs)
        width = std::max(width, QLatin1String(spec->example).indexOf(gap));
    QString text;
    for (const CommandSpec *spec : specs) {
        const QString example = QLatin1String(spec->example);
        const qsizetype at = example.indexOf(gap);
        text += QStringLiteral("  ") + example.left(at).leftJustified(width) + gap +
                example.mid(at + gap.size()) + QLatin1Char('\n');
    }
    return text;
}

const CommandSpec *FindCommand(const QString &name)
{
    for (const CommandSpec &spec : Commands) {
        if (name == QLatin1String(spec.name))
            return &spec;
    }
    return nullptr;
}

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
    return QStringLiteral("usage: kestrum-cli [OPTION]... ") + Synopsis(spec);
}

// An argument as an option name: "--port=3" and "-port" give "port"; "" for an
// argument that is no option.
QString OptionName(const QString &argument)
{
    if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-"))
        return QString();
    QString name = argument.section(QLatin1Char('='), 0, 0);
    while (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    return name;
}

// QCommandLineParser names an unknown option without the dashes the user typed.
QString ParserError(const QCommandLineParser &parser, const QStringList &arguments)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty())
        return parser.errorText();
    QStringList typed;
    for (const QString &name : unknown) {
        QString spelled = QStringLiteral("--") + name;
        for (const QString &argument : arguments) {
            if (OptionName(argument) == name) {
                spelled = argument.section(QLatin1Char('='), 0, 0);
                break;
            }
        }
        typed.append(QLatin1Char('\'') + spelled + QLatin1Char('\''));
    }
    return (typed.size() == 1 ? QStringLiteral("Unknown option ")
                              : QStringLiteral("Unknown options: ")) +
           typed.join(QStringLiteral(", ")) + QLatin1Char('.');
}

// The options of kestrum-cli itself, which go before the command.
const QStringList GlobalOptions = {QStringLiteral("port"),    QStringLiteral("home"),
                                   QStringLiteral("debug"),   QStringLiteral("timeout"),
                                   QStringLiteral("quiet"),   QStringLiteral("q"),
                                   QStringLiteral("lenient"), QStringLiteral("version")};

// The first of the arguments after a command that is an option of kestrum-cli
// itself; "" when none is. A "--" ends the options.
QString MisplacedOption(const QStringList &rest)
{
    for (const QString &argument : rest) {
        if (argument == QLatin1String("--"))
            break;
        if (GlobalOptions.contains(OptionName(argument)))
            return argument.section(QLatin1Char('='), 0, 0);
    }
    return QString();
}

CliParseResult Misplaced(const QString &option, const CommandSpec &spec)
{
    return Failed(
        QStringLiteral("%1 goes before the command (%2)")
            .arg(option, QStringLiteral("usage: kestrum-cli [OPTION]... ") + Synopsis(spec)));
}

// After the command come only that command's own options (read-all, call, show,
// diff and detect have some); the global options come before the command.
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
    const QCommandLineOption json(QStringLiteral("json"), QString());
    const QCommandLineOption saveFound(QStringLiteral("save"), QString());
    const QCommandLineOption device(QStringLiteral("device"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                    QStringLiteral("FILE"));
    const QCommandLineOption title(QStringLiteral("title"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption compare(QStringLiteral("compare"), QString(),
                                     QStringLiteral("SOURCE"));
    const bool hasOptions = spec.command == Command::ReadAll || spec.command == Command::Call ||
                            spec.command == Command::Show || spec.command == Command::Diff ||
                            spec.command == Command::Detect || spec.command == Command::Report ||
                            spec.command == Command::History;
    if (!hasOptions) {
        // Taken as they are, so "write 120 -5" writes -5 and "read -1" is refused as
        // an item number. A leading "--" is allowed. A lone --help asks for help:
        // no command takes just one argument that starts with dashes.
        positionals = rest;
        if (!positionals.isEmpty() && positionals.first() == QLatin1String("--"))
            positionals.removeFirst();
        else if (rest.size() == 1 &&
                 (rest.first() == QLatin1String("--help") || rest.first() == QLatin1String("-h"))) {
            result.outcome = CliParseResult::Outcome::Help;
            result.helpCommand = QLatin1String(spec.name);
            return result;
        }
        if (positionals.size() != spec.positionals && spec.command != Command::Help) {
            if (const QString option = MisplacedOption(rest); !option.isEmpty())
                return Misplaced(option, spec);
        }
    } else {
        if (const QString option = MisplacedOption(rest); !option.isEmpty())
            return Misplaced(option, spec);
        parser.addOption(help);
        if (spec.command == Command::ReadAll)
            parser.addOption(save);
        if (spec.command == Command::Call) {
            parser.addOption(message);
            parser.addOption(bleep);
        }
        if (spec.command == Command::Show || spec.command == Command::Diff ||
            spec.command == Command::History)
            parser.addOption(json);
        if (spec.command == Command::Detect)
            parser.addOptions({saveFound, device});
        if (spec.command == Command::Report)
            parser.addOptions({output, title, compare});
        if (!parser.parse(QStringList{QStringLiteral("kestrum-cli")} + rest))
            return Failed(ParserError(parser, rest) + QStringLiteral(" (") + Usage(spec) +
                          QLatin1Char(')'));
        if (parser.isSet(help)) {
            result.outcome = CliParseResult::Outcome::Help;
            result.helpCommand = QLatin1String(spec.name);
            return result;
        }
        positionals = parser.positionalArguments();
    }

    // "help" alone gives the whole help.
    if (spec.command == Command::Help && positionals.size() <= 1) {
        const QString topic = positionals.value(0);
        if (!topic.isEmpty() && !FindCommand(topic))
            return Failed(
                QStringLiteral("unknown command \"%1\" (see kestrum-cli --help)").arg(topic));
        result.outcome = CliParseResult::Outcome::Help;
        result.helpCommand = topic;
        return result;
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
    case Command::WriteChanged:
    case Command::Show:
        o.file = positionals.at(0);
        if (o.file.isEmpty())
            return Failed(QStringLiteral("%1 needs a file name").arg(QLatin1String(spec.name)));
        o.json = spec.command == Command::Show && parser.isSet(json);
        break;
    case Command::Diff:
        o.file = positionals.at(0);
        o.fileB = positionals.at(1);
        o.json = parser.isSet(json);
        if (o.file.isEmpty() || o.fileB.isEmpty())
            return Failed(QStringLiteral("diff needs two settings files, or unit and a file"));
        if (CliOptions::isUnit(o.file) && CliOptions::isUnit(o.fileB))
            return Failed(QStringLiteral("diff compares the unit with a settings file, or two "
                                         "settings files; not the unit with itself"));
        break;
    case Command::Read:
    case Command::Write:
        if (!ParseInt(positionals.at(0), 0, 249, o.item))
            return Failed(QStringLiteral("ITEM must be a setting number 0..249, not \"%1\"")
                              .arg(positionals.at(0)));
        if (spec.command == Command::Write) {
            o.value = positionals.at(1);
            // Checked before anything is sent: the converter gets the value as given
            // or nothing.
            if (const QString why = RefusedValue(o.item, o.value); !why.isEmpty())
                return Failed(QStringLiteral("setting %1: %2").arg(o.item).arg(why));
            if (!IsLatin1(o.value))
                return Failed(QStringLiteral("VALUE holds characters outside ISO 8859-1 (Latin-1), "
                                             "which the converter cannot show"));
        }
        break;
    case Command::Call:
        o.address = positionals.at(0);
        o.message = parser.value(message);
        if (parser.isSet(bleep) && !ParseInt(parser.value(bleep), 0, 15, o.bleep))
            return Failed(
                QStringLiteral("--bleep must be 0..15, not \"%1\"").arg(parser.value(bleep)));
        if (!IsLatin1(o.address) || !IsLatin1(o.message))
            return Failed(QStringLiteral("the call's address or message holds characters outside "
                                         "ISO 8859-1 (Latin-1), which the converter cannot show"));
        break;
    case Command::Detect:
        o.saveFound = parser.isSet(saveFound);
        o.devices = parser.values(device);
        if (o.devices.contains(QString()))
            return Failed(QStringLiteral("--device needs a device path"));
        for (const QString &named : o.devices) {
            QString error;
            if (NetworkAddress::looksLikeAddress(named) && !NetworkAddress::parse(named, &error))
                return Failed(error);
        }
        break;
    case Command::Report: {
        o.file = positionals.at(0);
        o.output = parser.value(output);
        o.title = parser.value(title);
        o.compare = parser.value(compare);
        const QString suffix = o.output.section(QLatin1Char('.'), -1).toLower();
        if (o.file.isEmpty() || (parser.isSet(compare) && o.compare.isEmpty()))
            return Failed(QStringLiteral("report needs a settings file or unit as its source"));
        if (o.output.isEmpty() || !o.output.contains(QLatin1Char('.')) ||
            (suffix != QLatin1String("pdf") && suffix != QLatin1String("html") &&
             suffix != QLatin1String("htm")))
            return Failed(
                QStringLiteral("report needs -o FILE.pdf or -o FILE.html (%1)").arg(Usage(spec)));
        if (CliOptions::isUnit(o.file) && CliOptions::isUnit(o.compare))
            return Failed(QStringLiteral("report compares the unit with a settings file, not "
                                         "the unit with itself"));
        break;
    }
    case Command::History:
        o.json = parser.isSet(json);
        break;
    case Command::Restart:
    case Command::Ports:
    case Command::Help:
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
    const QCommandLineOption version(QStringLiteral("version"), QString());
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("N|DEVICE"));
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption debug(QStringLiteral("debug"), QString());
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")}, QString());
    const QCommandLineOption lenient(QStringLiteral("lenient"), QString());
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(),
                                     QStringLiteral("SECONDS"));
    parser.addOptions({help, version, port, home, debug, quiet, lenient, timeout});

    if (!parser.parse(arguments))
        return Failed(ParserError(parser, arguments) + QStringLiteral(" (see kestrum-cli --help)"));

    CliParseResult result;
    if (parser.isSet(help)) {
        result.outcome = CliParseResult::Outcome::Help;
        return result;
    }
    if (parser.isSet(version)) {
        result.outcome = CliParseResult::Outcome::Version;
        return result;
    }

    CliOptions &o = result.options;
    QString addressError;
    if (NetworkAddress::looksLikeAddress(parser.value(port)) &&
        !NetworkAddress::parse(parser.value(port), &addressError))
        return Failed(addressError);
    if (parser.isSet(port)) {
        o.port = parser.value(port);
        // "Com3" as ports and detect print it, in any case, or the bare number.
        static const QRegularExpression comName(QStringLiteral("^com(\\d+)$"),
                                                QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch com = comName.match(o.port);
        int n = 0;
        if (!o.portIsDevice() && !ParseInt(com.hasMatch() ? com.captured(1) : o.port, 1, 32767, n))
            return Failed(QStringLiteral("--port takes a port number 1.. (or Com1..) or a device "
                                         "path, not \"%1\"")
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
    o.quiet = parser.isSet(quiet);
    o.lenient = parser.isSet(lenient);
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
    if (const CommandSpec *spec = FindCommand(positionals.first()))
        return ParseCommand(*spec, positionals.mid(1), result);
    return Failed(
        QStringLiteral("unknown command \"%1\" (see kestrum-cli --help)").arg(positionals.first()));
}

QString CliUsage()
{
    QString text = QStringLiteral(
        "Usage: kestrum-cli [OPTION]... COMMAND [ARGUMENTS]\n"
        "  or:  kestrum-cli help [COMMAND]\n"
        "Reads, writes and backs up the settings of a Dunvale unit paging converter from\n"
        "a shell: the same settings, files, log and converter dialogue as the window\n"
        "program kestrum, without a window. The options go before the command; read-all,\n"
        "call, show, diff, detect, report and history take their own options after it.\n"
        "Progress goes to standard output, log lines and messages to standard error.\n"
        "Wherever a command takes a settings file, @N names the Nth newest snapshot of\n"
        "the history (see history).\n"
        "\n"
        "Commands:\n");
    // Each command a tagged paragraph, its text in one column.
    constexpr int Column = 22;
    QList<const CommandSpec *> all;
    for (const CommandSpec &spec : Commands) {
        const QString synopsis = QStringLiteral("  ") + Synopsis(spec);
        const QString description = Wrapped(QLatin1String(spec.description), Column);
        if (synopsis.size() + 2 <= Column)
            text += synopsis.leftJustified(Column) + description.mid(Column);
        else
            text += synopsis + QLatin1Char('\n') + description;
        all.append(&spec);
    }
    text += QStringLiteral(
        "\n"
        "Options:\n"
        "  --port N|DEVICE    use the port ComN (the program folder's link ports/comN,\n"
        "                     or the usual device of that number; also written ComN)\n"
        "                     or the device DEVICE instead of the port of the setup file\n"
        "  --home DIR         use DIR as the program folder (Kestrum.set, default.set,\n"
        "                     Log/, ports/)\n"
        "  --debug            service mode: more detail in the progress lines\n"
        "  -q, --quiet        no progress lines: only results, errors and messages\n"
        "  --lenient          take a settings file as the window program does: a\n"
        "                     setting without a line as 0 or \"\", a choice outside its\n"
        "                     list as the first choice, numbers rounded, any other\n"
        "                     lines and bytes as they come; without it a file that is\n"
        "                     no settings file is refused, and so is one for write-all\n"
        "                     or write-changed that lacks a setting or holds a value\n"
        "                     the converter would not get as written\n"
        "  --timeout SECONDS  when the work has not ended after SECONDS (default 120),\n"
        "                     cancel it and exit with 1\n"
        "  -h, --help         print this help; after a command, that command's help\n"
        "  --version          print the version and exit\n"
        "\n"
        "A DEVICE (of --port, and of detect's --device) may also be the address of a\n"
        "serial device server: tcp://HOST:PORT (raw: the server sets the line) or\n"
        "rfc2217://HOST:PORT (Telnet: the line is set to 9600 8N1 and confirmed).\n"
        "\n"
        "Examples:\n");
    text += ExampleLines(all);
    text += QStringLiteral(
        "\n"
        "*Exit status*\n"
        "  0    success\n"
        "  1    the converter failed the work: it did not answer or refused, write-all\n"
        "       could not send every setting, write-changed found a setting that did\n"
        "       not take, the confirmation of a restart or test call did not come, or\n"
        "       --timeout was reached; for diff: something differs; for detect: no\n"
        "       converter answered\n"
        "  2    a usage error or a value the setting does not take, a port that cannot\n"
        "       be opened, a settings file refused, a file that cannot be read or\n"
        "       written (the log aside), or standard output that cannot be written\n"
        "  3    diff only: the converter failed the reads\n"
        "  130  interrupted by Ctrl-C (SIGINT): the exchange under way ends, nothing\n"
        "       more is sent and a line says what was written\n"
        "  143  the same for SIGTERM\n"
        "\n"
        "Environment:\n"
        "  KESTRUM_HOME  the program folder when --home is not given; without either,\n"
        "                the folder of kestrum-cli when it holds Kestrum.set or\n"
        "                default.set, else ~/.local/share/Kestrum\n");
    return text;
}

QString CliCommandHelp(const QString &command)
{
    const CommandSpec *spec = FindCommand(command);
    if (!spec)
        return QString();
    return QStringLiteral("Usage: kestrum-cli [OPTION]... ") + Synopsis(*spec) +
           QStringLiteral("\n") + Wrapped(QLatin1String(spec->description), 0) +
           QStringLiteral("\nExample:\n") + ExampleLines({spec});
}
