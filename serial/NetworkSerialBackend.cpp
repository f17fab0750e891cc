#include "serial/NetworkSerialBackend.h"

#include "serial/NetworkAddress.h"
#include "serial/TelnetComPort.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <optional>
#include <vector>

namespace {

// What a server may send that no one reads (a chatty device, a flood) before the
// oldest bytes make room.
constexpr qsizetype MaxInput = 1 << 20;

// Keep-alive probes after 10 s of silence, every 5 s, 3 unanswered ones end the
// connection, and so do requests unacknowledged for 25 s: a server that lost its
// power or its cable is noticed in half a minute instead of the system's two hours
// (or quarter of an hour while requests go out).
void shortenKeepAlive(qintptr descriptor)
{
    if (descriptor < 0)
        return;
    const int fd = int(descriptor);
    const int idle = 10, interval = 5, count = 3;
    const unsigned int unacknowledgedMs = 25000;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs);
}

} // namespace

// One TCP connection to a serial device server, from the connect to its end. The
// port that holds it sets the callbacks; a parked link (its port closed, the
// connection kept for a moment) has none and drops what arrives.
class NetworkLink : public QObject
{
public:
    enum class Stage { Connecting, Negotiating, Open, Failed, Lost };

    NetworkLink(const NetworkAddress &address_, const LineSettings &settings_)
        : address(address_), settings(settings_)
    {
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] { timedOut(); });
        connect(&m_socket, &QTcpSocket::connected, this, [this] { connected(); });
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { readyRead(); });
        connect(&m_socket, &QAbstractSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) { socketError(error); });
        connect(&m_socket, &QAbstractSocket::disconnected, this,
                [this] { socketError(QAbstractSocket::RemoteHostClosedError); });
    }

    ~NetworkLink() override { shutDown(); }

    void connectToServer()
    {
        m_deadline.start(NetworkSerialBackend::ConnectMs);
        m_socket.connectToHost(address.host, address.port);
    }

    // Stops everything: no more callbacks, no more connecting.
    void shutDown()
    {
        release();
        m_deadline.stop();
        QObject::disconnect(&m_socket, nullptr, this, nullptr);
        m_socket.abort();
    }

    void release()
    {
        onOpenFinished = nullptr;
        onLost = nullptr;
        onData = nullptr;
    }

    bool reusable(const NetworkAddress &other, const LineSettings &otherSettings) const
    {
        return stage == Stage::Open && m_socket.state() == QAbstractSocket::ConnectedState &&
               address == other && settings == otherSettings;
    }

    bool write(unsigned char byte)
    {
        const QByteArray bytes = m_telnet ? TelnetComPort::escape(byte) : QByteArray(1, char(byte));
        // Written when the event loop runs next, at the end of the tick: a request
        // the engine sends byte by byte leaves in one segment.
        return m_socket.write(bytes) == bytes.size();
    }

    qsizetype available() const { return m_input.size() - m_readAt; }
    int take()
    {
        if (available() < 1)
            return -1;
        const auto byte = static_cast<unsigned char>(m_input.at(m_readAt++));
        if (m_readAt == m_input.size())
            clearInput();
        return byte;
    }
    void clearInput()
    {
        m_input.clear();
        m_readAt = 0;
    }

    const NetworkAddress address;
    const LineSettings settings;
    Stage stage = Stage::Connecting;
    QString error;
    std::function<void()> onOpenFinished;
    std::function<void(const QString &)> onLost;
    std::function<void()> onData;

private:
    void connected()
    {
        // A request is a handful of bytes that should leave at once.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        shortenKeepAlive(m_socket.socketDescriptor());
        if (address.scheme == NetworkAddress::Scheme::Tcp) {
            finishOpen(QString());
            return;
        }
        m_telnet.emplace(settings);
        stage = Stage::Negotiating;
        m_deadline.start(NetworkSerialBackend::NegotiateMs);
        m_socket.write(m_telnet->start());
    }

    void readyRead()
    {
        const QByteArray bytes = m_socket.readAll();
        QByteArray data = bytes;
        if (m_telnet) {
            m_telnet->receive(bytes);
            const QByteArray replies = m_telnet->takeReplies();
            if (!replies.isEmpty() && stage != Stage::Failed && stage != Stage::Lost)
                m_socket.write(replies);
            data = m_telnet->takeData();
        }
        if (stage == Stage::Negotiating) {
            // What the server says before the line is set (a banner) is text like
            // the converter's own.
            append(data);
            if (m_telnet->hasFailed())
                finishOpen(m_telnet->failure());
            else if (m_telnet->isReady())
                finishOpen(QString());
            return;
        }
        // A parked link's port is closed: its bytes are lost, as on a closed device.
        if (stage != Stage::Open || data.isEmpty() || !onData)
            return;
        append(data);
        onData();
    }

    void append(const QByteArray &data)
    {
        m_input.append(data);
        if (available() > MaxInput) {
            m_input.remove(0, m_input.size() - MaxInput);
            m_readAt = 0;
        }
    }

    void timedOut()
    {
        if (stage == Stage::Connecting)
            finishOpen(QStringLiteral("time-out: no connection within %1 s")
                           .arg(NetworkSerialBackend::ConnectMs / 1000));
        else if (stage == Stage::Negotiating)
            finishOpen(QStringLiteral("time-out: the server did not finish the serial-port "
                                      "negotiation within %1 s (no answer to: %2)")
                           .arg(NetworkSerialBackend::NegotiateMs / 1000)
                           .arg(m_telnet->waitingFor()));
    }

    QString describe(QAbstractSocket::SocketError socketError) const
    {
        switch (socketError) {
        case QAbstractSocket::ConnectionRefusedError:
            return QStringLiteral("connection refused (nothing accepts connections on port %1)")
                .arg(address.port);
        case QAbstractSocket::HostNotFoundError:
            return QStringLiteral("name not found: no address for %1").arg(address.host);
        case QAbstractSocket::NetworkError:
            return QStringLiteral("unreachable: ") + m_socket.errorString();
        case QAbstractSocket::SocketTimeoutError:
            return QStringLiteral("time-out: ") + m_socket.errorString();
        case QAbstractSocket::RemoteHostClosedError:
            return stage == Stage::Open
                       ? QStringLiteral("the server closed the connection")
                       : QStringLiteral("the server closed the connection before the line was "
                                        "set (is another client connected?)");
        default:
            return m_socket.errorString();
        }
    }

    void socketError(QAbstractSocket::SocketError socketError)
    {
        if (stage == Stage::Connecting || stage == Stage::Negotiating) {
            finishOpen(describe(socketError));
        } else if (stage == Stage::Open) {
            error = describe(socketError);
            stage = Stage::Lost;
            m_socket.abort();
            if (onLost)
                onLost(error);
        }
    }

    void finishOpen(const QString &failure)
    {
        m_deadline.stop();
        if (failure.isEmpty()) {
            stage = Stage::Open;
        } else {
            stage = Stage::Failed;
            error = failure;
            m_socket.abort();
        }
        if (onOpenFinished)
            onOpenFinished();
    }

    QTcpSocket m_socket;
    QTimer m_deadline;
    std::optional<TelnetComPort> m_telnet;
    QByteArray m_input;
    qsizetype m_readAt = 0;
};

namespace {

// Connections of ports just closed, until the event loop runs.
std::vector<std::unique_ptr<NetworkLink>> &parkedLinks()
{
    static std::vector<std::unique_ptr<NetworkLink>> links;
    return links;
}

bool releaseScheduled = false;

void releaseParked()
{
    releaseScheduled = false;
    parkedLinks().clear();
}

void park(std::unique_ptr<NetworkLink> link)
{
    link->release();
    if (!QCoreApplication::instance())
        return; // no event loop to wait for: the connection ends now
    static const bool releasedAtExit = [] {
        qAddPostRoutine(releaseParked);
        return true;
    }();
    Q_UNUSED(releasedAtExit);
    parkedLinks().push_back(std::move(link));
    if (!releaseScheduled) {
        releaseScheduled = true;
        QTimer::singleShot(0, QCoreApplication::instance(), releaseParked);
    }
}

std::unique_ptr<NetworkLink> unpark(const NetworkAddress &address, const LineSettings &settings)
{
    std::vector<std::unique_ptr<NetworkLink>> &links = parkedLinks();
    for (auto it = links.begin(); it != links.end(); ++it) {
        if ((*it)->reusable(address, settings)) {
            std::unique_ptr<NetworkLink> link = std::move(*it);
            links.erase(it);
            return link;
        }
    }
    return nullptr;
}

} // namespace

NetworkSerialBackend::NetworkSerialBackend() = default;

NetworkSerialBackend::~NetworkSerialBackend()
{
    close();
}

bool NetworkSerialBackend::open(const QString &device, const LineSettings &settings)
{
    if (isOpen()) {
        m_openFailure = OpenFailure::Other;
        m_error = QStringLiteral("Device is already open");
        return false;
    }
    retire();
    QString error;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(device, &error);
    if (!address) {
        m_openFailure = OpenFailure::NoConnection;
        m_error = error;
        return false;
    }
    m_link = unpark(*address, settings);
    if (m_link) {
        m_link->clearInput();
        attach();
        m_openFailure = OpenFailure::None;
        m_error.clear();
        return true;
    }
    m_link = std::make_unique<NetworkLink>(*address, settings);
    m_openFailure = OpenFailure::Pending;
    m_error = QStringLiteral("connecting to ") + address->text();
    m_link->connectToServer();
    // A connection that cannot even begin has failed at once.
    if (m_link->stage == NetworkLink::Stage::Failed) {
        m_openFailure = OpenFailure::NoConnection;
        m_error = m_link->error;
        retire();
        return false;
    }
    attach();
    return false;
}

void NetworkSerialBackend::attach()
{
    NetworkLink &link = *m_link;
    link.onOpenFinished = [this] {
        const bool opened = isOpen();
        m_openFailure = opened ? OpenFailure::None : OpenFailure::NoConnection;
        m_error = opened ? QString() : m_link->error;
        if (onOpenFinished)
            onOpenFinished();
    };
    link.onLost = [this](const QString &why) {
        m_error = why;
        if (onPortLost)
            onPortLost(why);
    };
    link.onData = [this] {
        if (onBytesArrived)
            onBytesArrived();
    };
}

void NetworkSerialBackend::retire()
{
    if (!m_link)
        return;
    NetworkLink *link = m_link.release();
    link->shutDown();
    // This may run inside the link's own socket notification: it goes when the
    // event loop is back.
    if (QCoreApplication::instance())
        link->deleteLater();
    else
        delete link;
}

bool NetworkSerialBackend::close()
{
    if (isOpen())
        park(std::move(m_link));
    else
        retire();
    return true;
}

bool NetworkSerialBackend::isOpen() const
{
    return m_link && m_link->stage == NetworkLink::Stage::Open;
}

bool NetworkSerialBackend::isOpening() const
{
    return m_link && (m_link->stage == NetworkLink::Stage::Connecting ||
                      m_link->stage == NetworkLink::Stage::Negotiating);
}

bool NetworkSerialBackend::writeByte(unsigned char byte)
{
    return isOpen() && m_link->write(byte);
}

qint64 NetworkSerialBackend::bytesAvailable()
{
    return isOpen() ? m_link->available() : 0;
}

int NetworkSerialBackend::readByte()
{
    return isOpen() ? m_link->take() : -1;
}

void NetworkSerialBackend::clearInput()
{
    if (m_link)
        m_link->clearInput();
}
