#include "app/Commands.h"

#include "app/Kestrum.h"
#include "base/Maker.h"
#include "base/TextHelpers.h"
#include "screen/Screen.h"

namespace {
const QString CRLF = QStringLiteral("\r\n");
const QString SettingsFilter = QStringLiteral("cfg (*.cfg) | *.cfg");
} // namespace

Commands::Commands(Kestrum &app) : m_app(app) {}

void Commands::CmdInstellingenLezen()
{
    const QString question = QStringLiteral("Default instellingen uit file lezen.") + CRLF +
                             QStringLiteral("Dit betekend dat alle wijzigingen tot nu toe "
                                            "gemaakt, worden overschreven.") +
                             CRLF + QStringLiteral("Zeker weten? ");
    if (m_app.dialogs.question(TitleVanBrivane, question))
        m_app.files.ReadDefaultFile();
}

void Commands::CmdInstellingenOpslaan()
{
    const QString question =
        QStringLiteral("Default instellingen naar file schrijven.") + CRLF +
        QStringLiteral("Hierbij wordt het oude default instellingen-file overschreven.") + CRLF +
        QStringLiteral("Zeker weten? ");
    if (m_app.dialogs.question(TitleVanBrivane, question))
        m_app.files.WriteDefaultFile();
}

QString Commands::InitialSettingsFolder() const
{
    if (!m_app.globals.SetPath.isEmpty())
        return m_app.globals.SetPath;
    QString folder = m_app.globals.ProgramFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QStringLiteral("Instellingen");
}

void Commands::CmdLezenUnitgegevens()
{
    const QString preset = QStringLiteral("*.cfg");
    const QString name =
        m_app.dialogs.openFileName(preset, InitialSettingsFolder(), SettingsFilter);
    // A cancelled dialog hands back nothing (or the preset pattern itself).
    if (name.isEmpty() || name == preset) {
        m_app.dialogs.beep();
        return;
    }
    m_app.files.ReadSettingsFile(name);
}

void Commands::CmdOpslaanUnitGegevens()
{
    const QString name = m_app.dialogs.saveFileName(QStringLiteral("NieuweInstellingen"),
                                                    InitialSettingsFolder(), SettingsFilter);
    if (name.isEmpty()) {
        m_app.dialogs.beep();
        return;
    }
    m_app.files.WriteSettingsFile(name);
}

void Commands::CmdHistory()
{
    const QList<SettingsHistory::Listed> listing = m_app.history.listing();
    QList<SnapshotRow> rows;
    for (const SettingsHistory::Listed &entry : listing) {
        const Snapshot &s = entry.snapshot;
        rows.append({s.takenText(), SnapshotPortLabel(s.port), SnapshotEventName(s.event),
                     entry.changesText});
    }

    // The screen's values, as "Save to file" takes them.
    m_app.transfer.ControlsToSettings();
    const auto differences = [&](int row) {
        QList<PlannedChange> list;
        if (row < 0 || row >= listing.size() || !listing[row].values)
            return list;
        for (int item = 0; item < FileItemCount; ++item) {
            const Value &kept = (*listing[row].values)[item];
            const Value &shown = m_app.table.SettingValue[item];
            if (!IsBulkItem(item) || kept.asInt16() == shown.asInt16())
                continue;
            PlannedChange difference;
            difference.item = item;
            difference.legend = m_app.screen.legendText(item).trimmed();
            difference.unit = kept;
            difference.wanted = shown;
            difference.unitText = m_app.engine.changeText(item, kept);
            difference.wantedText = m_app.engine.changeText(item, shown);
            list.append(difference);
        }
        return list;
    };
    const std::optional<int> chosen = m_app.dialogs.chooseSnapshot(rows, differences);
    if (!chosen || *chosen < 0 || *chosen >= listing.size())
        return;
    // Loaded as a settings file is, except that what the converter is known to hold
    // stays known: the marking then shows where the snapshot differs from it.
    const std::array<Value, ItemSlots> unit = m_app.table.UnitValue;
    if (m_app.files.ReadSettingsFile(listing[*chosen].snapshot.path))
        m_app.table.UnitValue = unit;
}

void Commands::CmdLeesAlles()
{
    m_app.engine.ReadAllRequest = -1;
    WorkSet();
}

void Commands::CmdSchrijfAlles()
{
    const QString question =
        QStringLiteral("Overwrite all settings in the converter.") + CRLF + "Are you sure?";
    if (!m_app.dialogs.question(TitleBrivane, question))
        return;
    m_app.transfer.ControlsToSettings();
    m_app.engine.WriteAllRequest = -1;
    WorkSet();
}

void Commands::CmdWriteChanged()
{
    // No question first: the list of changes the engine shows is the question.
    m_app.engine.WriteChangedRequest = -1;
    WorkSet();
}

void Commands::CmdCancelReadWrite()
{
    m_app.table.ClearSettingJobs();
    // Ending the series here keeps the engine from reporting it as successful.
    m_app.engine.BulkMode = 0;
    m_app.engine.CancelApply();
    m_app.screen.appendProgress(CRLF + QStringLiteral("Geannuleerd!") + CRLF);
}

// A job or request was set. Waiting for its start (the port could not be opened),
// the engine serves none until "Open ComPort" succeeds: the pane says so.
void Commands::WorkSet()
{
    if (m_app.engine.EngineState == Engine::ST_START)
        m_app.screen.appendProgress(QStringLiteral("Com") +
                                    NumToText(m_app.globals.ComPortIndex + 1) +
                                    QStringLiteral(" is not open: the work starts once \"Open "
                                                   "ComPort\" succeeds.") +
                                    CRLF);
    m_app.WorkArrived();
}

void Commands::CmdWisLogVenster()
{
    m_app.screen.clearProgress();
}

void Commands::CmdReadSingleSetting(int item)
{
    m_app.table.SettingJob[item] = JOB_READ;
    WorkSet();
}

void Commands::CmdWriteSingleSetting(int item)
{
    m_app.transfer.ControlToSetting(item);
    m_app.table.SettingJob[item] = JOB_WRITE;
    WorkSet();
}

void Commands::CmdReadSingleTekstSetting(int index)
{
    CmdReadSingleSetting(150 + index);
}

void Commands::CmdWriteSingleTekstSetting(int index)
{
    CmdWriteSingleSetting(150 + index);
}

void Commands::CmdTestHerstart()
{
    const QString question =
        QStringLiteral("Restart the converter.") + CRLF + CRLF + QStringLiteral("Are you sure? ");
    if (m_app.dialogs.question(TitleWithAddress, question)) {
        m_app.engine.RestartRequest = -1;
        WorkSet();
    }
}

void Commands::CmdTestOproepPager()
{
    if (m_app.screen.valueText(CTRL_TEST_ADDRESS).isEmpty()) {
        m_app.dialogs.messageBox(TitleWithAddress, QStringLiteral("Please enter address of pager"),
                                 Dialogs::Icon::Critical);
        return;
    }
    m_app.engine.PagerCallRequest = -1;
    WorkSet();
}

void Commands::TxtTestPagerAdresDoubleClick()
{
    m_app.screen.setValueText(CTRL_TEST_ADDRESS, QString());
}

void Commands::TxtTestPagerDisplayInfoDoubleClick()
{
    m_app.screen.setValueText(CTRL_TEST_MESSAGE, QString());
}

void Commands::CmdReOpenCom()
{
    m_app.datacom.CloseComPort();
    m_app.OpenConverterPort();
    m_app.WorkArrived();
}

void Commands::Command1()
{
    m_app.datacom.CloseComPort();
}

void Commands::Command2()
{
    m_app.table.SettingJob[18] = JOB_WRITE;
    WorkSet();
}

bool Commands::Command3()
{
    return m_app.datacom.IsComPortOpen() == 1;
}

void Commands::TabClicked()
{
    m_app.transfer.ClearComboSelections();
}
