#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <vector>

// Debian's ser2net serving pseudo-terminals on 127.0.0.1 for an end-to-end test: its
// configuration is written into a temporary folder, each accepter on a free port,
// raw ("tcp,PORT") or Telnet with the serial-port option ("telnet(rfc2217),tcp,PORT").
//
//     Ser2Net server;
//     const QString address = server.serve(sim.ptyPath(), Ser2Net::Rfc2217);
//     QVERIFY(server.start());
//     ... open address ("rfc2217://127.0.0.1:PORT") ...
class Ser2Net
{
public:
    enum Mode { Raw, Rfc2217 };

    Ser2Net() = default;
    ~Ser2Net();
    Ser2Net(const Ser2Net &) = delete;
    Ser2Net &operator=(const Ser2Net &) = delete;

    // Adds an accepter for device; gives its address. Call before start().
    QString serve(const QString &device, Mode mode);
    // Starts ser2net and waits (up to 10 s) until every accepter listens; false with
    // a warning when it did not come up. Again after stop(): the same ports.
    bool start();
    // SIGTERM, then SIGKILL when it does not end; every accepter is closed after.
    void stop();

    // A free TCP port on 127.0.0.1 at the moment of asking.
    static quint16 freePort();
    // True while something listens on 127.0.0.1:port.
    static bool listening(quint16 port);

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
