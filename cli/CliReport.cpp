// kestrum-cli report: the configuration report of a settings file or of the
// converter, as PDF or HTML.

#include "cli/CliRunner.h"

#include "report/ReportSources.h"

#include "Version.h"

#include <QLocale>

namespace {

const QString Prefix = QStringLiteral("kestrum-cli: ");

} // namespace

int CliRunner::readUnit()
{
    // The read-all of the command of that name, with its progress and its checks.
    const CliOptions asked = m_options;
    m_options.command = CliOptions::Command::ReadAll;
    m_options.file.clear();
    const int status = talkToConverter();
    m_options = asked;
    return status;
}

std::optional<ReportSource> CliRunner::reportSource(const QString &argument, int *status)
{
    if (!CliOptions::isUnit(argument)) {
        // A report stands for what the file would put into a converter, so it takes
        // only a file that write-all would take.
        const std::optional<QString> path = settingsFilePath(argument);
        if (!path || !checkedFile(*path, FileCheck::Sendable)) {
            *status = ExitUsage;
            return std::nullopt;
        }
        QString error;
        std::optional<ReportSource> source = LoadReportFile(*path, &error);
        if (!source) {
            *status = ExitUsage;
            printErr(Prefix + error);
        }
        return source;
    }

    *status = readUnit();
    if (*status != ExitOk)
        return std::nullopt;
    // As "read-all --save" would save it: the screen's values, the ones not read from
    // the default file.
    m_app.transfer.ControlsToSettings();
    std::array<bool, ItemSlots> known{};
    for (int item = 0; item < ItemSlots; ++item)
        known[item] = IsBulkItem(item);
    const QDateTime taken = m_app.clock.now();
    return SourceFromValues(
        QStringLiteral("Read from the converter on %1 at %2")
            .arg(portLabel(), taken.toString(QStringLiteral("HH:mm:ss"))),
        QStringLiteral("the converter on %1").arg(portLabel()), m_app.table.SettingValue, known,
        QStringLiteral("converter-%1.cfg").arg(taken.toString(QStringLiteral("yyyyMMdd-HHmmss"))),
        taken);
}

int CliRunner::runReport()
{
    // A report that could not be kept is found out before the converter is read.
    if (const QString why = cannotSaveTo(m_options.output, QStringLiteral("report"));
        !why.isEmpty())
        return fail(ExitUsage, why);
    const QString arguments[2] = {m_options.file, m_options.compare};
    std::optional<ReportSource> sources[2];
    // The files first: one that cannot be read ends the report before the converter
    // is read.
    for (const bool unit : {false, true}) {
        for (int i = 0; i < 2; ++i) {
            if (arguments[i].isEmpty() || CliOptions::isUnit(arguments[i]) != unit)
                continue;
            int status = ExitOk;
            sources[i] = reportSource(arguments[i], &status);
            if (!sources[i])
                return status;
        }
    }

    ReportInput input;
    input.title = m_options.title;
    input.made = m_app.clock.now();
    input.program = QStringLiteral("kestrum-cli ") + QLatin1String(KestrumVersion);
    input.source = *sources[0];
    input.defaults = LoadDefaultSet(m_app.globals.ProgramFolder);
    input.compare = sources[1];
    QString error;
    if (!WriteReport(input, m_options.output, PaperLocale(), &error))
        return fail(ExitUsage, error);
    printOut(QStringLiteral("Report written to %1\n").arg(m_options.output));
    return ExitOk;
}
