#pragma once

#include <QString>
#include <QStringList>

// What the command line of kestrum-cli asks for.
struct CliOptions
{
    enum class Command {
        ReadAll,
        WriteAll,
        WriteChanged,
        Read,
        Write,
        Restart,
        Call,
        Show,
        Diff,
        Ports,
        Detect,
        Report,
        History,
        Help
    };

    // --port: "" keeps the setup file's port; a text with a "/" is a device path,
    // anything else a port number N (Com N).
    QString port;
    QString home; // --home: the program folder; "" for the window program's rule
    bool debug = false;
    bool quiet = false;   // --quiet: no progress lines, only results and errors
    bool lenient = false; // --lenient: settings files taken as the window takes them
    double timeoutSeconds = 120;

    Command command = Command::Ports;
    QString file;  // write-all FILE, write-changed FILE, show FILE, read-all --save FILE, diff A
    QString fileB; // diff B; for diff, "unit" on either side stands for the converter
    bool json = false; // show, diff and history: a JSON array instead of lines
    int item = -1;     // read ITEM, write ITEM VALUE
    QString value;     // write ITEM VALUE
    QString address;
    QString message;
    int bleep = 1;
    bool saveFound = false; // detect --save
    QStringList devices;    // detect --device, repeatable: only these devices
    QString output;         // report -o FILE
    QString title;          // report --title TEXT
    QString compare;        // report --compare SOURCE2

    bool portIsDevice() const { return port.contains(QLatin1Char('/')); }
    // The number N of --port N; 0 when --port names a device or is not given.
    int portNumber() const;
    // True for the commands that talk to the converter through the program's port.
    bool needsConverter() const
    {
        if (command == Command::Diff)
            return isUnit(file) || isUnit(fileB);
        if (command == Command::Report)
            return isUnit(file) || isUnit(compare);
        return command != Command::Show && command != Command::Ports &&
               command != Command::Detect && command != Command::Help &&
               command != Command::History;
    }
    static bool isUnit(const QString &side) { return side == QLatin1String("unit"); }
};

struct CliParseResult
{
    enum class Outcome { Run, Help, Version, UsageError };

    Outcome outcome = Outcome::UsageError;
    CliOptions options;
    QString error;       // one line, for UsageError
    QString helpCommand; // for Help: the command asked about; "" for the whole help
};

// The arguments as main() gets them, program name first.
CliParseResult ParseCliArguments(const QStringList &arguments);

// The text --help prints: the usage, every command with what it does, the options,
// an example of each command, the environment and the exit status.
QString CliUsage();
// The text "help COMMAND" prints: that command's usage, what it does and its
// example; "" for a name that is no command.
QString CliCommandHelp(const QString &command);
