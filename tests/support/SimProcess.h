#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs kestrum-sim, the simulated converter, on a fresh pseudo-terminal for an
// end-to-end test. The simulator prints every request it sees and every write it
// accepts on its standard output; commands go to its standard input.
//
//     SimProcess sim;
//     QVERIFY(sim.start({"--fault", "silent x1"}));
//     ... open sim.ptyPath() ...
//     sim.sendCommand("fault checksum item 10");
//     QVERIFY(sim.waitForOutput("write item 10 = 2"));
class SimProcess
{
public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts the simulator with extra command-line arguments and waits (up to 10 s)
    // for the line that names its pseudo-terminal. False when it did not come up.
    bool start(const QStringList &extraArgs = {});
    QString ptyPath() const { return m_ptyPath; }

    // Writes one command line to the simulator's standard input and waits (up to
    // 5 s) for its "ok ..." or "error: ..." reply. False when no reply came or the
    // reply was an error.
    bool sendCommand(const QString &line);

    // Everything the simulator printed on standard output so far.
    QString output() const;
    // Waits until the output holds text (counting from the start); false on time-out.
    bool waitForOutput(const QString &text, int timeoutMs = 5000) const;

    // Asks it to stop (SIGTERM) and waits; kills it when it does not stop.
    void kill();
    // The exit code after kill() or after the simulator stopped by itself; -1 while
    // running or after a crash.
    int exitCode() const;
    // Closes its standard input: the simulator stops reading commands and goes on
    // serving until kill().
    void closeInput();
    bool waitForFinished(int timeoutMs = 5000);

    QProcess &process() { return m_process; }

private:
    void collect() const;

    mutable QProcess m_process;
    mutable QString m_output;
    QString m_ptyPath;
};
