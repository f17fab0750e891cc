#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// The simulator's end of the serial line: the master side of a fresh
// pseudo-terminal, or a device given by path. Reading and writing never block;
// what the other side does not take yet waits in a bounded queue.
class SerialLine : public QObject
{
    Q_OBJECT

public:
    ~SerialLine() override;

    // A new pseudo-terminal in raw mode; its slave path is what the program opens.
    bool openPty(QString *error);
    // An existing device (a serial port, one end of a cable), set raw at 9600 8N1.
    bool openDevice(const QString &path, QString *error);

    // The path the program opens.
    QString path() const { return m_path; }
    void write(const QByteArray &bytes);

Q_SIGNALS:
    void received(const QByteArray &bytes);
    void failed(const QString &error);

private:
    void start();
    void readAvailable();
    void flush();

    int m_fd = -1;
    // The pty's slave side stays open here as well, so the master never sees a
    // hang-up while the program has the port closed (poll would report it
    // without end) and the line keeps its raw settings between opens.
    int m_slaveFd = -1;
    QString m_path;
    QByteArray m_out;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
};
