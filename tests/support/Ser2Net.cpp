#include "support/Ser2Net.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

namespace {

// The kernel's table of sockets: local address 0100007F:PORT in state 0A (listening).
bool listening(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line :
         table.open(QIODevice::ReadOnly) ? table.readAll().split('\n') : QList<QByteArray>()) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields.at(1) == local && fields.at(3) == "0A")
            return true;
    }
    return false;
}

} // namespace

QString Ser2Net::serve(const QString &device, Mode mode)
{
    const quint16 port = freePort();
    m_accepters.push_back({device, mode, port});
    return (mode == Raw ? QStringLiteral("tcp://127.0.0.1:%1")
                        : QStringLiteral("rfc2217://127.0.0.1:%1"))
        .arg(port);
}

bool Ser2Net::start()
{
    // Debian puts it in /usr/sbin, which a user's PATH may lack.
    const QString program = QStandardPaths::findExecutable(
        QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (program.isEmpty()) {
        qWarning("ser2net is not installed (tools/install-deps.sh installs it)");
        return false;
    }
    QFile config(m_folder.filePath(QStringLiteral("ser2net.yaml")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    for (size_t i = 0; i < m_accepters.size(); ++i) {
        const Accepter &a = m_accepters[i];
        config.write(QStringLiteral("connection: &c%1\n  accepter: %2tcp,127.0.0.1,%3\n"
                                    "  connector: serialdev,%4,9600n81,local\n")
                         .arg(i)
                         .arg(a.mode == Raw ? QString() : QStringLiteral("telnet(rfc2217),"))
                         .arg(a.port)
                         .arg(a.device)
                         .toUtf8());
    }
    config.close();
    // In the foreground, without UUCP lock files (the program under test takes its
    // own on the devices it opens itself).
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                              config.fileName(), QStringLiteral("-P"),
                              m_folder.filePath(QStringLiteral("ser2net.pid"))});
    const QDeadlineTimer deadline(10000);
    for (const Accepter &a : m_accepters) {
        while (!listening(a.port)) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) {
                qWarning("ser2net did not listen on %u: %s", a.port, m_process.readAll().data());
                return false;
            }
            QThread::msleep(20);
        }
    }
    return true;
}

void Ser2Net::stop()
{
    // On SIGTERM ser2net closes every connection and accepter; one that hangs is killed.
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

quint16 Ser2Net::freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}
