#include "window/CommandLine.h"

#include "Version.h"

std::optional<QString> WindowInfoText(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--help"))
            return WindowHelpText();
        if (argument == QLatin1String("--version"))
            return QStringLiteral("kestrum ") + QLatin1String(KestrumVersion) + QLatin1Char('\n');
    }
    return std::nullopt;
}

QString WindowHelpText()
{
    return QStringLiteral(
        "Usage: kestrum [/LOG] [/DEBUG]\n"
        "  or:  kestrum --help | --version\n"
        "Configures the Dunvale unit, a paging converter with one ESPA 4.4.4 output and\n"
        "two ESPA inputs, over its configuration port (a serial line, 9600 8N1): reads\n"
        "every setting, lets you change it on tab pages, writes it back, keeps settings\n"
        "files and a default set, restarts the converter, sends a test call to a pager\n"
        "and logs every exchange. The serial port is chosen in the \"Setup\" menu.\n"
        "\n"
        "Options:\n"
        "  /LOG       start at level 1: looks like a normal start, but one double-click\n"
        "             on the logo of the About window enters service mode\n"
        "  /DEBUG     start in service mode: extra detail lines in the progress pane,\n"
        "             the single-setting read and write buttons of the service frames\n"
        "             and \"Save as default\"\n"
        "  --help     print this help and exit\n"
        "  --version  print the version and exit\n"
        "The switches are case-sensitive and count anywhere in the arguments; other\n"
        "arguments are ignored. Double-clicks on the logo of the About window switch\n"
        "service mode too (0, 1, 2, back to 0).\n"
        "\n"
        "Environment:\n"
        "  KESTRUM_HOME  the program folder (see Files)\n"
        "\n"
        "Files:\n"
        "  All in the program folder: $KESTRUM_HOME when set; else the program's own\n"
        "  folder when it already holds Kestrum.set or default.set (a portable copy);\n"
        "  else ~/.local/share/Kestrum. Every file is saved to a temporary file first\n"
        "  and then put in place, so a failed save leaves the old file as it was.\n"
        "\n"
        "  Kestrum.set       the serial port, logging switch, settings folder and unit\n"
        "                    type (written by the settings dialog's Save)\n"
        "  default.set       the default settings, loaded at every start (\"Save as\n"
        "                    default\" writes it, in service mode)\n"
        "  Log/DDMMYYYY.log  one log file per day: every line of the message window\n"
        "                    with its time\n"
        "  Instellingen/     where the settings-file dialogs start when no settings\n"
        "                    folder is set\n"
        "  *.cfg             settings files you save: 250 lines ITEM    ->VALUE,\n"
        "                    CR LF, Latin-1\n"
        "  ports/comN        a link to the device that ComN opens; without it Com1..10\n"
        "                    are /dev/ttyUSB0..9, Com11..20 /dev/ttyACM0..9 and\n"
        "                    Com21..30 /dev/ttyS0..9\n"
        "\n"
        "kestrum-cli does the same work from a shell; kestrum-sim simulates a converter\n"
        "for trying the program without one.\n");
}
