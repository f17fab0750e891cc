#include "base/Clock.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "serial/QtSerialBackend.h"

#include "Version.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <QTextStream>
#include <cstdio>

namespace {

// Output that did not arrive fails the run, whatever the work did: a script would
// take a cut-off result for a whole one.
int Checked(QTextStream &out, QTextStream &err, int status)
{
    out.flush();
    const bool written =
        out.status() == QTextStream::Ok && std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (written)
        return status;
    const auto *device = qobject_cast<QFileDevice *>(out.device());
    err << "kestrum-cli: cannot write to standard output"
        << (device && device->error() != QFileDevice::NoError ? ": " + device->errorString()
                                                              : QString())
        << '\n';
    return CliRunner::ExitUsage;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const CliParseResult parsed = ParseCliArguments(QCoreApplication::arguments());
    switch (parsed.outcome) {
    case CliParseResult::Outcome::Help:
        out << (parsed.helpCommand.isEmpty() ? CliUsage() : CliCommandHelp(parsed.helpCommand));
        return Checked(out, err, CliRunner::ExitOk);
    case CliParseResult::Outcome::Version:
        out << "kestrum-cli " << KestrumVersion << '\n';
        return Checked(out, err, CliRunner::ExitOk);
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
    const int status = runner.run();
    return Checked(out, err, status);
}
