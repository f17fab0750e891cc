#include "base/Clock.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "serial/QtSerialBackend.h"

#include "Version.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const CliParseResult parsed = ParseCliArguments(QCoreApplication::arguments());
    switch (parsed.outcome) {
    case CliParseResult::Outcome::Help:
        out << (parsed.helpCommand.isEmpty() ? CliUsage() : CliCommandHelp(parsed.helpCommand));
        return CliRunner::ExitOk;
    case CliParseResult::Outcome::Version:
        out << "kestrum-cli " << KestrumVersion << '\n';
        return CliRunner::ExitOk;
    case CliParseResult::Outcome::UsageError:
        err << "kestrum-cli: " << parsed.error << '\n';
        return CliRunner::ExitUsage;
    case CliParseResult::Outcome::Run:
        break;
    }

    QString error;
    const QString folder =
        CliRunner::ProgramFolderFor(parsed.options, QCoreApplication::applicationDirPath(), &error);
    if (folder.isEmpty()) {
        err << "kestrum-cli: " << error << '\n';
        return CliRunner::ExitUsage;
    }

    QtSerialBackend backend;
    SystemClock clock;
    CliRunner runner(parsed.options, backend, clock, folder, out, err);
    return runner.run();
}
