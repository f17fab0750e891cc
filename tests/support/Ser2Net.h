#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include <vector>

// Debian's ser2net serving pseudo-terminals on 127.0.0.1 for an end-to-end test, its
// configuration in a temporary folder, each accepter on a free port: raw ("tcp,PORT")
// or Telnet with the serial-port option ("telnet(rfc2217),tcp,PORT").
class Ser2Net
{
public:
    enum Mode { Raw, Rfc2217 };

    ~Ser2Net() { stop(); }

    // Adds an accepter for device before start(); gives its address ("tcp://127.0.0.1:N").
    QString serve(const QString &device, Mode mode);
    // Starts ser2net and waits (up to 10 s) until every accepter listens; again after
    // stop(), on the same ports.
    bool start();
    // SIGTERM (SIGKILL when that does not end it): every connection and accepter closes.
    void stop();

    // A free TCP port on 127.0.0.1 at the moment of asking.
    static quint16 freePort();

private:
    struct Accepter
    {
        QString device;
        Mode mode;
        quint16 port;
    };

    QTemporaryDir m_folder;
    QProcess m_process;
    std::vector<Accepter> m_accepters;
};
