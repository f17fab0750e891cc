#pragma once

#include "app/Commands.h"
#include "app/Kestrum.h"
#include "app/SettingsFileCheck.h"
#include "cli/CliDialogs.h"
#include "cli/CliOptions.h"
#include "cli/CliScreen.h"

#include "report/Report.h"

#include <QStringList>
#include <QTextStream>
#include <optional>
#include <set>

class Clock;
class SerialBackend;

// Runs one command of kestrum-cli on a whole application object, the same one the
// window program uses: the start-up sequence, the command handlers, the engine
// ticked every 25 ms, the settings files. Progress text goes to `out`, log lines
// and message boxes to `err`.
class CliRunner
{
public:
    // diff: 1 also when something differs, 3 when the converter failed the reads.
    // Interrupted: 128 and the signal's number, as a shell reports a process it ended.
    enum ExitStatus {
        ExitOk = 0,
        ExitConverterFailed = 1,
        ExitUsage = 2,
        ExitReadsFailed = 3,
        ExitInterrupted = 128
    };

    CliRunner(const CliOptions &options, SerialBackend &backend, const Clock &clock,
              const QString &programFolder, QTextStream &out, QTextStream &err);

    // The program folder for the options: --home made absolute, else the window
    // program's rule for the executable's folder. Empty, with a reason in *error,
    // for a --home that names no folder.
    static QString ProgramFolderFor(const CliOptions &options, const QString &executableDir,
                                    QString *error);

    // Runs the command to its end and gives the exit status. The commands that talk
    // to the converter need a running QCoreApplication (the serial port and the
    // tick timer live in its event loop).
    int run();

    Kestrum &app() { return m_app; }

private:
    int listPorts();
    int detect();
    // ": " and why the port could not be opened, with the fix for missing rights.
    QString openErrorText() const;
    // A settings file checked as the command needs it; a refusal is reported. The
    // argument may name a snapshot of the history (@N).
    std::optional<FileValues> checkedFile(const QString &argument, FileCheck check);
    // The file a settings-file argument names: @N the Nth newest snapshot of the
    // history, anything else itself. None, reported, for an @N the history lacks.
    std::optional<QString> settingsFilePath(const QString &argument);
    int listHistory();
    QString cannotSaveTo(const QString &path, const QString &what) const;
    int showFile();
    int diffFiles();
    // The lines or the JSON array of diff for the settings that differ.
    void printDifferences(const QList<PlannedChange> &differences);
    int finishChanges();
    int talkToConverter();
    // Until an open that connects (a network address) has ended.
    void waitForOpen();
    // Sets the job or raises the request; an exit status when that already failed.
    std::optional<int> startWork();
    // Ticks the engine until it is quiet; false when the time ran out first.
    bool tickUntilQuiet();
    void watchTick();
    // On SIGINT or SIGTERM: once no answer is awaited, the work is cancelled as the
    // window's Cancel does, and nothing more is sent.
    void interruptWhenBetweenExchanges();
    int finishInterrupted();
    QString writeLine() const;
    int finish();
    int finishRequest(const QString &statusText, const QString &what);

    // report (CliReport.cpp).
    int runReport();
    // Every SOURCE of report is resolved here: a settings file or the converter.
    // No value, with the exit status in *status, when it cannot be had.
    std::optional<ReportSource> reportSource(const QString &argument, int *status);
    int readUnit();

    QString portLabel() const;
    bool sawLog(const QString &text) const;
    void printOut(const QString &text);
    void printErr(const QString &line);
    int fail(int status, const QString &why);

    CliOptions m_options;
    SerialBackend &m_backend;
    QTextStream &m_out;
    QTextStream &m_err;
    CliScreen m_screen;
    CliDialogs m_dialogs;
    Kestrum m_app;
    Commands m_commands;

    // What happened since the work was handed to the engine.
    QStringList m_logSinceStart;
    int m_boxesBeforeWork = 0;
    bool m_workHanded = false;
    bool m_seriesStarted = false;
    bool m_flowStarted = false;
    bool m_writeRefused = false;
    bool m_outAtLineStart = true;
    // diff prints only its result on standard output; the progress goes to standard error.
    bool m_progressToErr = false;
    bool m_applyStarted = false;
    QList<PlannedChange> m_differences;
    // The settings file the work uses, as checked before the port was opened.
    FileValues m_fileValues;
    // Items the converter confirmed a write of, and the changes write-changed planned.
    std::set<int> m_saved;
    QList<int> m_planned;
    // The signal that interrupts the work (0: none), and what had been read by then.
    int m_signal = 0;
    bool m_cancelled = false;
    std::set<int> m_unfinished; // items with a job when the work was cancelled
    bool m_requestWasPending = false;
    bool m_cancelledBeforeRequest = false;
    bool m_logFailureShown = false;
};
