#include "window/ReportCommands.h"

#include "app/Commands.h"
#include "app/Kestrum.h"
#include "report/ReportSources.h"

#include "Version.h"

#include <QLocale>

namespace {

const QString MessageTitle = QStringLiteral("Kestrum by Brivane");
const QString ReportFilter = QStringLiteral("PDF (*.pdf) | *.pdf | HTML (*.html) | *.html");

// UnitValue holds the 16-bit -1 until a value is learnt from the converter.
bool KnownFromUnit(const Value &value)
{
    return !(value.kind() == Value::Kind::Int16 && value.asInt16() == qint16(-1));
}

} // namespace

ReportCommands::ReportCommands(Kestrum &app, Commands &commands) : m_app(app), m_commands(commands)
{
}

std::optional<ReportInput> ReportCommands::screenReport()
{
    const std::optional<QString> title =
        m_app.dialogs.textLine(QStringLiteral("Configuration report"),
                               QStringLiteral("Title line (site, converter), or none:"));
    if (!title)
        return std::nullopt;

    // As "Save to file" takes them: the screen's values into the table.
    m_app.transfer.ControlsToSettings();
    const QDateTime now = m_app.clock.now();
    std::array<bool, ItemSlots> known{};
    std::array<std::optional<Value>, ItemSlots> unit;
    for (int item = 0; item < ItemSlots; ++item) {
        known[item] = item < FileItemCount;
        if (KnownFromUnit(m_app.table.UnitValue[item]))
            unit[item] = m_app.table.UnitValue[item];
    }
    ReportInput input;
    input.title = title->trimmed();
    input.made = now;
    input.program = QStringLiteral("Kestrum ") + QLatin1String(KestrumVersion);
    input.source = SourceFromValues(
        QStringLiteral("Values shown on screen at %1")
            .arg(now.toString(QStringLiteral("HH:mm:ss"))),
        QStringLiteral("the screen"), m_app.table.SettingValue, known,
        QStringLiteral("screen-%1.cfg").arg(now.toString(QStringLiteral("yyyyMMdd-HHmmss"))), now);
    input.defaults = LoadDefaultSet(m_app.globals.ProgramFolder);
    input.unitValues = unit;

    // A second source: a settings file, whose differences get a section of their own.
    if (!m_app.dialogs.question(QStringLiteral("Configuration report"),
                                QStringLiteral("List the differences from a settings file?")))
        return input;
    const QString preset = QStringLiteral("*.cfg");
    const QString other = m_app.dialogs.openFileName(preset, m_commands.InitialSettingsFolder(),
                                                     QStringLiteral("cfg (*.cfg) | *.cfg"));
    if (other.isEmpty() || other == preset)
        return std::nullopt;
    QString error;
    input.compare = LoadReportFile(other, &error);
    if (!input.compare) {
        m_app.dialogs.messageBox(MessageTitle,
                                 QStringLiteral("Error reading settings-file") +
                                     QLatin1String("\r\n") + error,
                                 Dialogs::Icon::Critical);
        return std::nullopt;
    }
    return input;
}

void ReportCommands::CmdExportReport()
{
    const QString name = m_app.dialogs.saveFileName(
        QStringLiteral("Report-%1").arg(m_app.clock.now().toString(QStringLiteral("yyyyMMdd"))),
        m_commands.InitialSettingsFolder(), ReportFilter);
    if (name.isEmpty()) {
        m_app.dialogs.beep();
        return;
    }
    const std::optional<ReportInput> input = screenReport();
    if (!input)
        return;
    QString error;
    if (!WriteReport(*input, name, PaperLocale(), &error)) {
        m_app.dialogs.messageBox(
            MessageTitle, QStringLiteral("Error writing report") + QLatin1String("\r\n") + error,
            Dialogs::Icon::Critical);
        return;
    }
    m_app.log.WriteLog(QStringLiteral("Report written to ") + name);
}

void ReportCommands::CmdPrintReport()
{
    const std::optional<ReportInput> input = screenReport();
    if (!input)
        return;
    m_app.dialogs.printPreview(
        [&input](QPagedPaintDevice &device) { PaintReport(*input, device); });
}
