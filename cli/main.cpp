#include "base/Clock.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "serial/PortBackend.h"

#include "Version.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QFileDevice>
#include <QTextStream>
#include <cstdio>
#include <memory>

namespace {

QtMessageHandler qtHandler = nullptr;

// Without a login session (root, a service, sudo) XDG_RUNTIME_DIR is unset, and the
// platform the report needs takes a folder of its own and says so on every run;
// the notice is of no use to the user of a shell command.
void WithoutRuntimeDirNotice(QtMsgType type, const QMessageLogContext &context,
                             const QString &message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    qtHandler(type, context, message);
}

} // namespace

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
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CliParseResult parsed = ParseCliArguments(arguments);
    // The report lays out text and fonts, which takes a QGuiApplication; without a
    // window it needs no display. Every other command stays without one.
    const bool report = parsed.outcome == CliParseResult::Outcome::Run &&
                        parsed.options.command == CliOptions::Command::Report;
    if (report) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qtHandler = qInstallMessageHandler(WithoutRuntimeDirNotice);
    }
    std::unique_ptr<QCoreApplication> application(report ? new QGuiApplication(argc, argv)
                                                         : new QCoreApplication(argc, argv));
    QTextStream out(stdout);
    QTextStream err(stderr);

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

    PortBackend backend;
    SystemClock clock;
    CliRunner runner(parsed.options, backend, clock, folder, out, err);
    const int status = runner.run();
    return Checked(out, err, status);
}
