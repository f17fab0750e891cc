#include "cli/CliRunner.h"

#include "app/ConverterFinder.h"
#include "base/ProgramFolder.h"
#include "base/SetupFile.h"
#include "base/TextHelpers.h"
#include "cli/Interrupts.h"
#include "screen/Catalogue.h"
#include "serial/NetworkAddress.h"
#include "serial/NetworkSerialBackend.h"
#include "serial/PortMap.h"
#include "serial/SerialBackend.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>

namespace {

using Command = CliOptions::Command;

const QString Prefix = QStringLiteral("kestrum-cli: ");
// The engine's only reply to a value it cannot put into a frame; the job is dropped.
const QString RefusedText = QStringLiteral(" -> Not implemented type of unit.");
const QString PermissionHint =
    QStringLiteral("no permission: add your user to the dialout group and log in again");

bool IsResetState(qint16 state)
{
    return state >= Engine::ST_RESET_SEND && state <= Engine::ST_RESET_DATA;
}

bool IsCallState(qint16 state)
{
    return state >= Engine::ST_BUFPOS_SEND && state <= Engine::ST_CALL_DATA;
}

// A number as the file keeps it (its 16-bit form), else as it is.
QString NumberText(const Value &value)
{
    const std::optional<qint16> number = value.asInt16();
    return number ? NumToText(*number) : value.asText();
}

// A value as diff prints it: a number by its digits, for a choice followed by a blank
// and the choice's text; a text in double quotes, with \ before a " or \ in it.
QString DiffText(int item, const Value &value)
{
    if (!IsNumberItem(item)) {
        QString text = value.asText();
        text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        text.replace(QLatin1Char('"'), QLatin1String("\\\""));
        return QLatin1Char('"') + EscapeControlChars(text) + QLatin1Char('"');
    }
    const std::optional<QString> choice = ChoiceTextOf(item, value);
    return NumberText(value) + (choice ? QLatin1Char(' ') + *choice : QString());
}

// A value as a frame would carry it to the converter: a number item as the 16-bit
// number the request is made of (1.5 and 2 both go as 2), when it has one; a text as
// it is. Two files differ in a setting only where these differ.
Value FrameForm(int item, const Value &value)
{
    if (IsNumberItem(item)) {
        if (const std::optional<qint16> number = value.asInt16())
            return Value::int16(*number);
    }
    return value;
}

QJsonObject JsonValue(int item, const Value &value)
{
    QJsonObject object;
    if (!IsNumberItem(item)) {
        object.insert(QStringLiteral("text"), value.asText());
        return object;
    }
    const std::optional<qint16> number = value.asInt16();
    object.insert(QStringLiteral("number"),
                  number ? QJsonValue(int(*number)) : QJsonValue(value.asNumber()));
    if (const std::optional<QString> choice = ChoiceTextOf(item, value))
        object.insert(QStringLiteral("text"), *choice);
    return object;
}

} // namespace

CliRunner::CliRunner(const CliOptions &options, SerialBackend &backend, const Clock &clock,
                     const QString &programFolder, QTextStream &out, QTextStream &err)
    : m_options(options), m_backend(backend), m_out(out), m_err(err),
      m_app(m_screen, m_dialogs, backend, clock, programFolder), m_commands(m_app)
{
    m_screen.onProgress = [this](const QString &progress) {
        if (progress.startsWith(QLatin1String(" -> Saved.")))
            m_saved.insert(m_app.engine.CurrentItem);
        if (progress.contains(RefusedText))
            m_writeRefused = true;
        if (m_options.quiet)
            return;
        QString text = progress;
        // The write names the value it sends, also where the setting's control
        // would not show it.
        if (m_options.command == Command::Write) {
            if (text.startsWith(QLatin1String("Writing ")) && !m_options.debug)
                text = writeLine();
            else if (text.startsWith(QLatin1String(" -> ")) && m_outAtLineStart)
                text = writeLine() + text;
        }
        if (m_progressToErr) {
            QString plain = text;
            plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            m_err << plain;
            m_err.flush();
        } else {
            printOut(text);
        }
    };
    m_dialogs.onBox = [this](const QString &text) { printErr(Prefix + text); };
    m_app.log.onLine = [this](const QString &line) {
        if (!m_options.quiet)
            printErr(line);
        if (m_workHanded)
            m_logSinceStart.append(line);
    };
    // A snapshot is named on standard error whenever one is kept, also with --quiet,
    // and so is one that could not be kept, which the log line does not say then.
    m_app.onSnapshot = [this](const SettingsHistory::Kept &kept) {
        if (!kept.path.isEmpty())
            printErr(QStringLiteral("Kept in history: ") + kept.path);
        else if (m_options.quiet)
            printErr(Prefix + QStringLiteral("History not kept: ") + kept.error);
    };
    m_app.log.onLogFailed = [this](const QString &reason) {
        if (m_logFailureShown)
            return;
        m_logFailureShown = true;
        printErr(Prefix + QStringLiteral("Log not written: ") + reason);
    };
}

QString CliRunner::ProgramFolderFor(const CliOptions &options, const QString &executableDir,
                                    QString *error)
{
    if (options.home.isEmpty())
        return ResolveProgramFolder(executableDir);
    const QFileInfo home(options.home);
    if (!home.isDir()) {
        if (error)
            *error = QStringLiteral("the program folder \"%1\" does not exist").arg(options.home);
        return QString();
    }
    return QDir::cleanPath(home.absoluteFilePath());
}

int CliRunner::run()
{
    switch (m_options.command) {
    case Command::Ports:
        return listPorts();
    case Command::Detect:
        return detect();
    case Command::Show:
        return showFile();
    case Command::Diff:
        if (!m_options.needsConverter())
            return diffFiles();
        m_progressToErr = true;
        return talkToConverter();
    case Command::Report:
        return runReport();
    case Command::History:
        return listHistory();
    default:
        return talkToConverter();
    }
}

void CliRunner::printOut(const QString &text)
{
    // The pane's lines end in CR LF; a terminal or a pipe wants LF.
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (plain.isEmpty())
        return;
    m_out << plain;
    m_out.flush();
    m_outAtLineStart = plain.endsWith(QLatin1Char('\n'));
}

void CliRunner::printErr(const QString &line)
{
    m_err << line << '\n';
    m_err.flush();
}

int CliRunner::fail(int status, const QString &why)
{
    printErr(Prefix + why);
    return status;
}

bool CliRunner::sawLog(const QString &text) const
{
    for (const QString &line : m_logSinceStart) {
        if (line.endsWith(text))
            return true;
    }
    return false;
}

QString CliRunner::portLabel() const
{
    if (m_options.portIsDevice())
        return m_options.port;
    const int number = m_app.globals.ComPortIndex + 1;
    const QString device = DeviceForPort(number, m_app.globals.ProgramFolder);
    return QStringLiteral("Com%1 (%2)")
        .arg(number)
        .arg(device.isEmpty() ? QStringLiteral("no device") : device);
}

int CliRunner::listPorts()
{
    const QString folder = m_app.globals.ProgramFolder;
    const PortMap map = m_app.portMap();
    // What the system knows of a present device: its description, its by-id name.
    const auto known = [](const PortDevice &d) {
        QString text;
        for (const QString &part :
             {d.description, d.byIdName, d.noPermission ? PermissionHint : QString()}) {
            if (!part.isEmpty())
                text += QStringLiteral("  ") + part;
        }
        return text;
    };
    for (int n = 1; n <= PortMap::PortCount; ++n) {
        const PortDevice d = map.port(n);
        const QString link = QStringLiteral("ports/com%1").arg(n);
        const bool linked = QFileInfo(QDir(folder).filePath(link)).isSymLink();
        const char *state = d.network ? "network" : d.present ? "exists " : "missing";
        const QString entry = linked      ? QStringLiteral("  (link %1)").arg(link)
                              : d.network ? QStringLiteral("  (address in %1)").arg(link)
                                          : QString();
        m_out << QStringLiteral("Com%1").arg(n).leftJustified(7) << d.device.leftJustified(22)
              << ' ' << state << entry << known(d) << '\n';
    }
    // Serial devices that no number reaches, so the user sees what to link.
    for (const PortDevice &d : map.presentDevices()) {
        if (d.portNumber == 0)
            m_out << QStringLiteral("-").leftJustified(7) << d.device.leftJustified(22) << ' '
                  << "exists " << known(d) << '\n';
    }
    m_out.flush();
    return ExitOk;
}

int CliRunner::detect()
{
    for (const QString &device : m_options.devices) {
        if (!QFileInfo::exists(device) && !NetworkAddress::looksLikeAddress(device))
            return fail(ExitUsage, QStringLiteral("no such device: %1").arg(device));
    }
    m_app.searchDevices = m_options.devices;
    ConverterFinder finder(m_app);
    finder.start();
    if (!finder.isFinished()) {
        // The probes' ports deliver their bytes from the event loop.
        QEventLoop loop;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(25);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            finder.tick();
            if (finder.isFinished())
                loop.quit();
        });
        tick.start();
        loop.exec();
    }
    for (const QString &line : finder.detectLines())
        m_out << line << '\n';
    m_out.flush();

    const std::optional<ConverterFinder::Found> found = finder.found();
    if (!found)
        return ExitConverterFailed;
    if (!m_options.saveFound)
        return ExitOk;
    if (found->portNumber == 0)
        return fail(ExitConverterFailed,
                    QStringLiteral("every Com number is taken; link %1 by hand as ports/comN")
                        .arg(found->device.device));

    // As the settings dialog's Save writes it: the setup file whole, with the
    // other entries as they were.
    QString error;
    if (!finder.linkFound(*found, &error))
        return fail(ExitUsage, error);
    Globals &globals = m_app.globals;
    ReadSetupFile(globals);
    globals.ComPortIndex = qint16(found->portNumber - 1);
    globals.LogfileMode = 2;
    globals.UnitType = 3;
    if (!WriteSetupFile(globals))
        return fail(ExitUsage, QStringLiteral("cannot write the setup file %1/Kestrum.set; the "
                                              "port was not saved")
                                   .arg(globals.ProgramFolder));
    printErr(Prefix + QStringLiteral("the port is now Com%1 (%2)")
                          .arg(found->portNumber)
                          .arg(DeviceForPort(found->portNumber, globals.ProgramFolder)));
    return ExitOk;
}

QString CliRunner::openErrorText() const
{
    const QString error = m_backend.errorString();
    QString text = error.isEmpty() ? QString() : QStringLiteral(": ") + error;
    if (m_backend.lastOpenFailure() == SerialBackend::OpenFailure::NoPermission)
        text += QStringLiteral(" (") + PermissionHint + QLatin1Char(')');
    return text;
}

std::optional<QString> CliRunner::settingsFilePath(const QString &argument)
{
    static const QRegularExpression snapshot(QStringLiteral("^@(\\d+)$"));
    const QRegularExpressionMatch m = snapshot.match(argument);
    if (!m.hasMatch())
        return argument;
    const QList<Snapshot> snapshots = m_app.history.snapshots();
    bool ok = false;
    const qsizetype n = m.captured(1).toLongLong(&ok);
    if (ok && n >= 1 && n <= snapshots.size())
        return snapshots[n - 1].path;
    const QString held =
        snapshots.isEmpty() ? QStringLiteral("the history holds no snapshot")
        : snapshots.size() == 1
            ? QStringLiteral("the history holds 1 snapshot, @1")
            : QStringLiteral("the history holds %1 snapshots, @1 to @%1").arg(snapshots.size());
    fail(ExitUsage, QStringLiteral("%1: %2 (a file of that name is ./%1)").arg(argument, held));
    return std::nullopt;
}

int CliRunner::listHistory()
{
    const QList<SettingsHistory::Listed> listing = m_app.history.listing();
    QJsonArray array;
    for (qsizetype i = 0; i < listing.size(); ++i) {
        const Snapshot &s = listing[i].snapshot;
        const std::optional<int> changes = listing[i].changes;
        if (m_options.json) {
            QJsonObject object;
            object.insert(QStringLiteral("snapshot"), QStringLiteral("@%1").arg(i + 1));
            object.insert(QStringLiteral("time"), s.takenText());
            object.insert(QStringLiteral("port"), SnapshotPortLabel(s.port));
            object.insert(QStringLiteral("event"), SnapshotEventName(s.event));
            object.insert(QStringLiteral("changes"), changes ? QJsonValue(*changes) : QJsonValue());
            object.insert(QStringLiteral("path"), s.path);
            array.append(object);
        } else {
            m_out << '@' << (i + 1) << '\t' << s.takenText() << '\t' << SnapshotPortLabel(s.port)
                  << '\t' << SnapshotEventName(s.event) << '\t' << listing[i].changesText << '\n';
        }
    }
    if (m_options.json)
        m_out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    m_out.flush();
    return ExitOk;
}

std::optional<FileValues> CliRunner::checkedFile(const QString &argument, FileCheck check)
{
    const std::optional<QString> path = settingsFilePath(argument);
    if (!path)
        return std::nullopt;
    const CheckedSettingsFile checked =
        CheckSettingsFile(*path, m_options.lenient ? FileCheck::Lenient : check);
    if (checked.taken())
        return checked.values;
    fail(ExitUsage, checked.refusal + (checked.lenientTakesIt
                                           ? QStringLiteral(" (--lenient takes it as the window "
                                                            "program does)")
                                           : QString()));
    return std::nullopt;
}

// Why a file (a settings file, a report) cannot be saved at path, found out before
// the converter is asked for anything; "" when it can.
QString CliRunner::cannotSaveTo(const QString &path, const QString &what) const
{
    const QFileInfo info(path);
    const QString why = QStringLiteral("cannot write the %1 \"%2\": %3").arg(what, path);
    if (info.isDir())
        return why.arg(QStringLiteral("it is a folder"));
    if (!info.dir().exists())
        return why.arg(QStringLiteral("no folder %1").arg(info.dir().path()));
    // The file is saved through a new file beside it, which takes its place.
    QTemporaryFile probe(info.dir().filePath(QStringLiteral(".kestrum-cli-XXXXXX")));
    if (!probe.open())
        return why.arg(probe.errorString());
    return QString();
}

int CliRunner::showFile()
{
    const std::optional<FileValues> values = checkedFile(m_options.file, FileCheck::Readable);
    if (!values)
        return ExitUsage;
    // The same reading as "Read from file", on a screen built like the window's; no
    // port is opened.
    BuildScreen(m_screen);
    m_app.files.ApplyFileValues(*values);

    if (m_options.json) {
        QJsonArray array;
        for (int item = 0; item < FileItemCount; ++item) {
            QJsonObject object;
            object.insert(QStringLiteral("item"), item);
            object.insert(QStringLiteral("legend"), LegendOf(item));
            object.insert(QStringLiteral("value"), JsonValue(item, m_app.table.SettingValue[item]));
            array.append(object);
        }
        m_out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        m_out.flush();
        return ExitOk;
    }

    int legendWidth = 6;
    for (const CatalogueItem &entry : Catalogue())
        legendWidth = std::max<int>(legendWidth, entry.legend.trimmed().size());

    m_out << QStringLiteral("Item ") << QStringLiteral("Legend").leftJustified(legendWidth + 2)
          << QStringLiteral("Value") << '\n';
    for (int item = 0; item < FileItemCount; ++item) {
        const CatalogueItem *entry = CatalogueEntry(item);
        const QString legend = entry ? entry->legend.trimmed() : QString();
        const Value &value = m_app.table.SettingValue[item];
        QString line = QString::number(item).leftJustified(5) +
                       legend.leftJustified(legendWidth + 2) + EscapeControlChars(value.asText());
        if (entry && entry->list != ChoiceList::None) {
            const QStringList choices = ChoiceEntries(entry->list);
            const std::optional<qint16> index = value.asInt16();
            line = line.leftJustified(5 + legendWidth + 2 + 8);
            if (index && *index >= 0 && *index < choices.size())
                line += choices.at(*index);
            else
                line += QStringLiteral("(no such choice)");
        }
        m_out << line << '\n';
    }
    m_out.flush();
    return ExitOk;
}

int CliRunner::diffFiles()
{
    // Each file as the reader puts it into the settings table, before any screen.
    FileValues sides[2];
    const QString paths[2] = {m_options.file, m_options.fileB};
    for (int side = 0; side < 2; ++side) {
        const std::optional<FileValues> values = checkedFile(paths[side], FileCheck::Readable);
        if (!values)
            return ExitUsage;
        sides[side] = *values;
    }
    QList<PlannedChange> differences;
    for (int item = 0; item < FileItemCount; ++item) {
        PlannedChange difference;
        difference.item = item;
        difference.unit = FrameForm(item, sides[0][item]);
        difference.wanted = FrameForm(item, sides[1][item]);
        if (difference.unit != difference.wanted)
            differences.append(difference);
    }
    printDifferences(differences);
    return differences.isEmpty() ? ExitOk : ExitConverterFailed;
}

// For diff, `unit` holds side A and `wanted` side B.
void CliRunner::printDifferences(const QList<PlannedChange> &differences)
{
    if (m_options.json) {
        QJsonArray array;
        for (const PlannedChange &d : differences) {
            QJsonObject object;
            object.insert(QStringLiteral("item"), d.item);
            object.insert(QStringLiteral("legend"), LegendOf(d.item));
            object.insert(QStringLiteral("a"), JsonValue(d.item, d.unit));
            object.insert(QStringLiteral("b"), JsonValue(d.item, d.wanted));
            array.append(object);
        }
        m_out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    } else {
        for (const PlannedChange &d : differences)
            m_out << d.item << '\t' << LegendOf(d.item) << '\t' << DiffText(d.item, d.unit) << '\t'
                  << DiffText(d.item, d.wanted) << '\n';
    }
    m_out.flush();
    m_outAtLineStart = true;
}

int CliRunner::talkToConverter()
{
    if (m_options.portIsDevice())
        m_app.datacom.setDeviceOverride(m_options.port);
    else if (m_options.portNumber() > 0)
        m_app.PortIndexOverride = qint16(m_options.portNumber() - 1);

    // A file that cannot be used stops the work before anything is opened: one to
    // write must say what the converter is to hold, one to save must be writable.
    const bool writing =
        m_options.command == Command::WriteAll || m_options.command == Command::WriteChanged;
    if (writing || m_options.command == Command::Diff) {
        const QString file =
            m_options.command == Command::Diff && CliOptions::isUnit(m_options.file)
                ? m_options.fileB
                : m_options.file;
        const std::optional<FileValues> values =
            checkedFile(file, writing ? FileCheck::Sendable : FileCheck::Readable);
        if (!values)
            return ExitUsage;
        m_fileValues = *values;
    }
    if (m_options.command == Command::ReadAll && !m_options.file.isEmpty()) {
        if (const QString why = cannotSaveTo(m_options.file, QStringLiteral("settings file"));
            !why.isEmpty())
            return fail(ExitUsage, why);
    }

    // From here on Ctrl-C and SIGTERM end the work between two exchanges.
    Interrupts interrupts;
    interrupts.onSignal = [this](int signal) {
        if (m_signal == 0)
            m_signal = signal;
        interruptWhenBetweenExchanges();
    };

    m_app.StartProgram(m_options.debug ? QStringLiteral("/DEBUG") : QString());
    waitForOpen();
    // A failed open leaves the engine waiting for its start for good.
    if (m_app.datacom.IsComPortOpen() != 1 || m_app.engine.EngineState == Engine::ST_START)
        return fail(ExitUsage,
                    QStringLiteral("cannot open the port %1%2").arg(portLabel(), openErrorText()));

    if (const std::optional<int> failed = startWork()) {
        m_app.datacom.CloseComPort();
        return *failed;
    }

    if (!tickUntilQuiet()) {
        m_commands.CmdCancelReadWrite();
        m_app.datacom.CloseComPort();
        return fail(m_options.command == Command::Diff ? ExitReadsFailed : ExitConverterFailed,
                    QStringLiteral("the work has not ended after %1 seconds; cancelled")
                        .arg(m_options.timeoutSeconds));
    }
    return m_signal != 0 ? finishInterrupted() : finish();
}

// A network address connects while the event loop runs; its port bounds the time
// (the connection, then the line's negotiation), the deadline here only guards.
void CliRunner::waitForOpen()
{
    if (!m_app.datacom.IsComPortOpening())
        return;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!m_app.datacom.IsComPortOpening())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(NetworkSerialBackend::ConnectMs + NetworkSerialBackend::NegotiateMs + 1000,
                       &loop, &QEventLoop::quit);
    loop.exec();
}

std::optional<int> CliRunner::startWork()
{
    m_boxesBeforeWork = m_dialogs.boxes.size();
    m_workHanded = true;
    const int item = m_options.item;
    switch (m_options.command) {
    case Command::ReadAll:
        m_commands.CmdLeesAlles();
        break;
    case Command::WriteAll:
        m_app.files.ApplyFileValues(m_fileValues);
        m_commands.CmdSchrijfAlles();
        break;
    case Command::WriteChanged:
    case Command::Diff: {
        m_app.files.ApplyFileValues(m_fileValues);
        if (m_options.command == Command::Diff) {
            // Only the comparison is wanted: it is kept, and nothing is written.
            m_dialogs.onChanges = [this](const QList<PlannedChange> &changes) {
                m_differences = changes;
                return false;
            };
        } else {
            m_dialogs.onChanges = [this](const QList<PlannedChange> &changes) {
                if (!m_outAtLineStart)
                    printOut(QStringLiteral("\n"));
                printDifferences(changes);
                for (const PlannedChange &change : changes)
                    m_planned.append(change.item);
                return true;
            };
        }
        m_commands.CmdWriteChanged();
        break;
    }
    case Command::Read:
        m_commands.CmdReadSingleSetting(item);
        break;
    case Command::Write: {
        const Value wanted = IsNumberItem(item) ? Value::number(TextToNumber(m_options.value))
                                                : Value::text(m_options.value);
        m_app.table.SettingValue[item] = wanted;
        // The screen shows what is written. A control that cannot show the value
        // would put 0 in its place; the tool never sends another value than asked.
        m_app.transfer.SettingToControl(item);
        if (m_app.table.SettingValue[item] != wanted)
            return fail(ExitUsage, QStringLiteral("setting %1 cannot hold the value \"%2\"")
                                       .arg(item)
                                       .arg(m_options.value));
        // Straight to the job: the per-item button would first take the value back
        // from the screen, and an item whose control is not in use has none there.
        m_app.table.SettingJob[item] = JOB_WRITE;
        break;
    }
    case Command::Restart:
        m_commands.CmdTestHerstart();
        break;
    case Command::Call:
        m_screen.setValueText(CTRL_TEST_ADDRESS, m_options.address);
        m_screen.setValueText(CTRL_TEST_MESSAGE, m_options.message);
        m_screen.setSelectedIndex(CTRL_TEST_BLEEP, m_options.bleep);
        m_commands.CmdTestOproepPager();
        // The button refuses an empty address with its own message box.
        if (m_app.engine.PagerCallRequest != -1)
            return ExitUsage;
        break;
    case Command::Show:
    case Command::Ports:
    case Command::Help:
    case Command::Detect:
    case Command::Report:
    case Command::History:
        break;
    }
    return std::nullopt;
}

void CliRunner::watchTick()
{
    const Engine &engine = m_app.engine;
    if (engine.BulkMode != 0)
        m_seriesStarted = true;
    if (IsResetState(engine.EngineState) || IsCallState(engine.EngineState))
        m_flowStarted = true;
    if (engine.applyStage() != Engine::ApplyStage::None)
        m_applyStarted = true;
}

bool CliRunner::tickUntilQuiet()
{
    QEventLoop loop;
    bool done = false;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(25);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        m_app.TmrAfhandelTick();
        watchTick();
        interruptWhenBetweenExchanges();
        // A request counts as raised until the engine takes it, so a quiet engine
        // has taken the work and finished it.
        if (m_app.engine.isQuiet()) {
            done = true;
            loop.quit();
        }
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { loop.quit(); });

    tick.start();
    deadline.start(int(qMin<double>(m_options.timeoutSeconds * 1000.0, 2147483647.0)));
    loop.exec();
    return done;
}

void CliRunner::interruptWhenBetweenExchanges()
{
    if (m_signal == 0 || m_cancelled)
        return;
    Engine &engine = m_app.engine;
    const qint16 state = engine.EngineState;
    // In a SEND state at most the wake-up bytes have gone out; the request waits.
    const bool beforeRequest = state == Engine::ST_WRITE_SEND || state == Engine::ST_READ_SEND ||
                               state == Engine::ST_RESET_SEND || state == Engine::ST_BUFPOS_SEND ||
                               state == Engine::ST_CALL_SEND;
    // An answer is awaited: its exchange ends first, so no frame is cut off and the
    // converter is not left with an answer nobody takes.
    if (state != Engine::ST_IDLE && !beforeRequest)
        return;
    m_cancelled = true;
    for (int item = 0; item < FileItemCount; ++item) {
        if (m_app.table.SettingJob[item] != JOB_NONE)
            m_unfinished.insert(item);
    }
    m_requestWasPending = engine.ReadAllRequest == -1 || engine.WriteAllRequest == -1 ||
                          engine.PagerCallRequest == -1 || engine.RestartRequest == -1 ||
                          engine.WriteChangedRequest == -1;
    m_commands.CmdCancelReadWrite();
    // Nothing more goes out: no request waiting to be taken, no request of a job whose
    // wake-up bytes were sent.
    engine.ReadAllRequest = 0;
    engine.WriteAllRequest = 0;
    engine.PagerCallRequest = 0;
    engine.RestartRequest = 0;
    engine.WriteChangedRequest = 0;
    m_cancelledBeforeRequest = beforeRequest;
    if (beforeRequest)
        engine.EngineState = Engine::ST_IDLE;
}

// A line of the items as numbers: "10, 12, 13".
static QString ItemList(const QList<int> &items)
{
    QStringList numbers;
    for (int item : items)
        numbers.append(QString::number(item));
    return numbers.join(QStringLiteral(", "));
}

int CliRunner::finishInterrupted()
{
    m_app.datacom.CloseComPort();
    const int item = m_options.item;
    QList<int> bulk;
    for (int i = 0; i < FileItemCount; ++i) {
        if (IsBulkItem(i))
            bulk.append(i);
    }
    const auto count = [&](const auto &isDone) {
        return int(std::count_if(bulk.begin(), bulk.end(), isDone));
    };
    const QString mix = QStringLiteral("the converter now holds a mix of old and new settings");

    QString report;
    switch (m_options.command) {
    case Command::ReadAll: {
        // Every setting of the series that no longer waits for its read was read.
        const int read =
            m_requestWasPending ? 0 : count([&](int i) { return !m_unfinished.count(i); });
        report = QStringLiteral("Interrupted: %1 of %2 settings read.").arg(read).arg(bulk.size());
        if (!m_options.file.isEmpty())
            report += QStringLiteral(" %1 was not written.").arg(m_options.file);
        break;
    }
    case Command::WriteAll: {
        const int written = count([&](int i) { return m_saved.count(i) > 0; });
        report = QStringLiteral("Interrupted: %1 of %2 settings written; %3.")
                     .arg(written)
                     .arg(bulk.size())
                     .arg(written == 0 ? QStringLiteral("the converter holds its old settings")
                          : written == bulk.size() ? QStringLiteral("the converter holds them all")
                                                   : mix);
        break;
    }
    case Command::WriteChanged: {
        QList<int> written, notWritten;
        for (int planned : m_planned)
            (m_saved.count(planned) ? written : notWritten).append(planned);
        report = QStringLiteral("Interrupted: ") +
                 (written.isEmpty() ? QStringLiteral("nothing written")
                                    : ItemList(written) + QStringLiteral(" written"));
        if (!notWritten.isEmpty())
            report += QStringLiteral("; ") + ItemList(notWritten) + QStringLiteral(" not written");
        report += !written.isEmpty() && !notWritten.isEmpty() ? QStringLiteral("; ") + mix + '.'
                                                              : QStringLiteral(".");
        break;
    }
    case Command::Read:
        report = m_unfinished.count(item)
                     ? QStringLiteral("Interrupted: setting %1 was not read.").arg(item)
                     : QStringLiteral("Interrupted after setting %1 was read.").arg(item);
        break;
    case Command::Write:
        report = m_saved.count(item)
                     ? QStringLiteral("Interrupted after setting %1 was written.").arg(item)
                     : QStringLiteral("Interrupted: setting %1 was not written.").arg(item);
        break;
    case Command::Restart:
    case Command::Call: {
        const QString what = m_options.command == Command::Restart
                                 ? QStringLiteral("the restart")
                                 : QStringLiteral("the test call");
        // A flow stopped in a SEND state never sent its last frame.
        report = m_flowStarted && !m_cancelledBeforeRequest
                     ? QStringLiteral("Interrupted after %1 was sent.").arg(what)
                     : QStringLiteral("Interrupted: %1 was not sent.").arg(what);
        break;
    }
    default:
        report = QStringLiteral("Interrupted: the comparison was not finished.");
        break;
    }
    // A complete last line, then the report, also without progress lines.
    if (!m_outAtLineStart)
        printOut(QStringLiteral("\n"));
    printOut(report + QLatin1Char('\n'));
    m_app.log.WriteLog(report);
    return ExitInterrupted + m_signal;
}

QString CliRunner::writeLine() const
{
    const int item = m_options.item;
    QString name = LegendOf(item);
    if (name.isEmpty() || !Screen::hasSettingControl(item) || !m_screen.legendShown(item))
        name = QStringLiteral("setting %1").arg(item);
    QString value;
    if (!IsNumberItem(item)) {
        value = QLatin1Char('"') + EscapeControlChars(m_options.value) + QLatin1Char('"');
    } else {
        const qint16 sent = Value::text(m_options.value).asInt16().value_or(0);
        value = ChoiceTextOf(item, Value::int16(sent)).value_or(NumToText(sent));
    }
    return QStringLiteral("Writing ") + name + QLatin1Char(' ') + value;
}

int CliRunner::finish()
{
    const bool aborted = m_dialogs.boxes.size() > m_boxesBeforeWork;
    const int item = m_options.item;
    const SettingsTable &table = m_app.table;

    switch (m_options.command) {
    case Command::ReadAll:
    case Command::WriteAll: {
        const bool reading = m_options.command == Command::ReadAll;
        const QString success =
            reading ? QStringLiteral("Reading of all settings was successfull.")
                    : QStringLiteral("Programming of all settings was successfull.");
        const bool portOpen = m_app.datacom.IsComPortOpen() == 1;
        m_app.datacom.CloseComPort();
        if (aborted)
            return ExitConverterFailed; // the abort box said why
        if (!m_seriesStarted && !portOpen)
            return fail(
                ExitUsage,
                QStringLiteral("cannot open the port %1%2").arg(portLabel(), openErrorText()));
        if (!sawLog(success))
            return fail(ExitConverterFailed,
                        reading ? QStringLiteral("the converter did not confirm that all "
                                                 "settings were read")
                                : QStringLiteral("the converter did not confirm that all "
                                                 "settings were written"));
        if (reading && !m_options.file.isEmpty() && !m_app.files.WriteSettingsFile(m_options.file))
            return fail(
                ExitUsage,
                QStringLiteral("cannot write the settings file \"%1\"").arg(m_options.file));
        return ExitOk;
    }
    case Command::Read: {
        m_app.datacom.CloseComPort();
        if (aborted)
            return ExitConverterFailed;
        // Only a good answer stores a value (never a negative number) and clears
        // the job.
        const Value &read = table.UnitValue[item];
        if (table.SettingJob[item] != JOB_NONE || !(read.isText() || read.asNumber() >= 0))
            return fail(ExitConverterFailed, QStringLiteral("setting %1 was not read").arg(item));
        // On a line of its own, also after a progress line that a hidden legend left
        // open.
        if (!m_outAtLineStart)
            printOut(QStringLiteral("\n"));
        // A number as its digits: the converter's numbers arrive as text with a
        // leading blank.
        const QString text =
            IsNumberItem(item) ? Value::number(read.asNumber()).asText() : read.asText();
        printOut(QStringLiteral("%1=%2\n").arg(item).arg(text));
        return ExitOk;
    }
    case Command::Write:
        m_app.datacom.CloseComPort();
        if (aborted)
            return ExitConverterFailed;
        if (m_writeRefused)
            return fail(ExitConverterFailed,
                        QStringLiteral("setting %1 cannot carry the value \"%2\" to the "
                                       "converter; nothing was written")
                            .arg(item)
                            .arg(m_options.value));
        if (table.SettingJob[item] != JOB_NONE)
            return fail(ExitConverterFailed,
                        QStringLiteral("setting %1 was not written").arg(item));
        return ExitOk;
    case Command::WriteChanged:
    case Command::Diff:
        return finishChanges();
    case Command::Restart:
        return finishRequest(QStringLiteral("STATUS: RESET command send to the converter."),
                             QStringLiteral("the restart"));
    case Command::Call:
        return finishRequest(QStringLiteral("STATUS: Calling pager via Kestrum succesfull."),
                             QStringLiteral("the test call"));
    case Command::Show:
    case Command::Ports:
    case Command::Help:
    case Command::Detect:
    case Command::Report:
    case Command::History:
        break;
    }
    return ExitOk;
}

int CliRunner::finishChanges()
{
    const bool diff = m_options.command == Command::Diff;
    const bool aborted = m_dialogs.boxes.size() > m_boxesBeforeWork;
    const bool portOpen = m_app.datacom.IsComPortOpen() == 1;
    m_app.datacom.CloseComPort();
    const bool nothingDiffers = sawLog(QStringLiteral("The unit already holds these settings."));
    if (diff) {
        if (!nothingDiffers && m_differences.isEmpty()) {
            if (!m_applyStarted && !portOpen)
                return fail(ExitUsage, QStringLiteral("cannot open the port %1").arg(portLabel()));
            return fail(ExitReadsFailed, QStringLiteral("the converter failed the reads"));
        }
        QList<PlannedChange> differences = m_differences;
        // The engine lists unit then file; diff prints A then B.
        if (!CliOptions::isUnit(m_options.file)) {
            for (PlannedChange &d : differences)
                std::swap(d.unit, d.wanted);
        }
        printDifferences(differences);
        return differences.isEmpty() ? ExitOk : ExitConverterFailed;
    }
    if (nothingDiffers || sawLog(QStringLiteral("all read back as written.")))
        return ExitOk;
    if (!m_applyStarted && !portOpen)
        return fail(ExitUsage, QStringLiteral("cannot open the port %1").arg(portLabel()));
    if (aborted)
        return ExitConverterFailed; // the box said why
    return fail(ExitConverterFailed,
                QStringLiteral("the changed settings were not all written and read back"));
}

int CliRunner::finishRequest(const QString &statusText, const QString &what)
{
    const bool portOpen = m_app.datacom.IsComPortOpen() == 1;
    // The flow's last word, for the reason line.
    QString report;
    for (const QString &line : m_logSinceStart) {
        const int at = line.indexOf(QLatin1String("ERROR: "));
        const int status = line.indexOf(QLatin1String("STATUS: "));
        if (at >= 0)
            report = line.mid(at);
        else if (status >= 0)
            report = line.mid(status);
    }
    m_app.datacom.CloseComPort();
    if (sawLog(statusText))
        return ExitOk;
    if (!m_flowStarted && !portOpen)
        return fail(ExitUsage,
                    QStringLiteral("cannot open the port %1%2").arg(portLabel(), openErrorText()));
    return fail(ExitConverterFailed,
                QStringLiteral("%1 did not succeed: %2")
                    .arg(what, report.isEmpty() ? QStringLiteral("the converter did not confirm it")
                                                : report));
}
