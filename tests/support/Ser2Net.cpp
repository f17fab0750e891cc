#include "support/Ser2Net.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

Ser2Net::~Ser2Net()
{
    stop();
}

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
    QString yaml;
    for (size_t i = 0; i < m_accepters.size(); ++i) {
        const Accepter &a = m_accepters[i];
        yaml += QStringLiteral("connection: &c%1\n"
                               "  accepter: %2tcp,127.0.0.1,%3\n"
                               "  connector: serialdev,%4,9600n81,local\n")
                    .arg(i)
                    .arg(a.mode == Raw ? QString() : QStringLiteral("telnet(rfc2217),"))
                    .arg(a.port)
                    .arg(a.device);
    }
    QFile config(m_folder.filePath(QStringLiteral("ser2net.yaml")));
    if (!config.open(QIODevice::WriteOnly) || config.write(yaml.toUtf8()) < 0)
        return false;
    config.close();
    // In the foreground, without UUCP lock files (the program under test keeps its
    // own on the devices it opens itself), its process number in the folder.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                              config.fileName(), QStringLiteral("-P"),
                              m_folder.filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process.waitForStarted(10000))
        return false;
    const QDeadlineTimer deadline(10000);
    for (const Accepter &a : m_accepters) {
        while (!listening(a.port)) {
            if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
                qWarning("ser2net did not listen on port %u: %s", a.port,
                         m_process.readAll().constData());
                return false;
            }
            QThread::msleep(20);
        }
    }
    return true;
}

void Ser2Net::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

quint16 Ser2Net::freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool Ser2Net::listening(quint16 port)
{
    // The kernel's table: local address 0100007F:PORT in state 0A (listening).
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields.at(1) == local && fields.at(3) == "0A")
            return true;
    }
    return false;
}
