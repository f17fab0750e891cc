#include "support/SimProcess.h"

#include <QDeadlineTimer>

namespace {

const QString ListeningPrefix = QStringLiteral("kestrum-sim: listening on ");

} // namespace

SimProcess::~SimProcess()
{
    kill();
}

bool SimProcess::start(const QStringList &extraArgs)
{
#ifdef KESTRUM_SIM_PATH
    const QString program = QStringLiteral(KESTRUM_SIM_PATH);
#else
    const QString program = QStringLiteral("kestrum-sim");
#endif
    m_output.clear();
    m_ptyPath.clear();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, extraArgs);
    if (!m_process.waitForStarted(10000))
        return false;
    if (!waitForOutput(QStringLiteral("\n"), 10000))
        return false;
    const QString first = m_output.section(QLatin1Char('\n'), 0, 0);
    if (!first.startsWith(ListeningPrefix))
        return false;
    m_ptyPath = first.mid(ListeningPrefix.size()).trimmed();
    return !m_ptyPath.isEmpty();
}

void SimProcess::collect() const
{
    // Reading without an event loop: take whatever has arrived by now.
    m_process.waitForReadyRead(0);
    m_output += QString::fromUtf8(m_process.readAllStandardOutput());
}

QString SimProcess::output() const
{
    collect();
    return m_output;
}

bool SimProcess::waitForOutput(const QString &text, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    collect();
    while (!m_output.contains(text)) {
        if (m_process.state() != QProcess::Running) {
            collect();
            return m_output.contains(text);
        }
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        m_process.waitForReadyRead(int(std::min<qint64>(left, 100)));
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
    }
    return true;
}

bool SimProcess::sendCommand(const QString &line)
{
    collect();
    const qsizetype seen = m_output.size();
    m_process.write(line.toUtf8() + '\n');
    m_process.waitForBytesWritten(5000);
    const QDeadlineTimer deadline(5000);
    for (;;) {
        const QString fresh = m_output.mid(seen);
        if (fresh.contains(QLatin1String("\nerror: ")) ||
            fresh.startsWith(QLatin1String("error: ")))
            return false;
        if (fresh.startsWith(QLatin1String("ok ")) || fresh.contains(QLatin1String("\nok ")) ||
            fresh.startsWith(QLatin1String("value item ")) ||
            fresh.contains(QLatin1String("\nvalue item ")))
            return true;
        if (deadline.hasExpired() || m_process.state() != QProcess::Running)
            return false;
        m_process.waitForReadyRead(100);
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
    }
}

void SimProcess::closeInput()
{
    m_process.closeWriteChannel();
}

bool SimProcess::waitForFinished(int timeoutMs)
{
    const bool finished =
        m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    collect();
    return finished;
}

void SimProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    collect();
}

int SimProcess::exitCode() const
{
    if (m_process.state() != QProcess::NotRunning || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}
