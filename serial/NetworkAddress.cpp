#include "serial/NetworkAddress.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

const QString Separator = QStringLiteral("://");

std::optional<NetworkAddress> refuse(QString *error, const QString &text, const QString &why)
{
    if (error)
        *error = QStringLiteral("\"%1\" is no network address: %2").arg(text, why);
    return std::nullopt;
}

} // namespace

QString NetworkAddress::text() const
{
    const QString name =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return (scheme == Scheme::Tcp ? QStringLiteral("tcp://") : QStringLiteral("rfc2217://")) +
           name + QLatin1Char(':') + QString::number(port);
}

bool NetworkAddress::looksLikeAddress(const QString &text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(text).hasMatch();
}

std::optional<NetworkAddress> NetworkAddress::parse(const QString &text, QString *error)
{
    const qsizetype at = text.indexOf(Separator);
    if (at < 0)
        return refuse(error, text, QStringLiteral("write tcp://HOST:PORT or rfc2217://HOST:PORT"));
    NetworkAddress address;
    const QString scheme = text.left(at).toLower();
    if (scheme == QLatin1String("tcp"))
        address.scheme = Scheme::Tcp;
    else if (scheme == QLatin1String("rfc2217"))
        address.scheme = Scheme::Rfc2217;
    else
        return refuse(error, text,
                      QStringLiteral("unknown scheme \"%1\" (tcp or rfc2217)").arg(text.left(at)));

    const QString rest = text.mid(at + Separator.size());
    QString host;
    QString port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return refuse(error, text, QStringLiteral("the IPv6 address has no closing \"]\""));
        host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.startsWith(QLatin1Char(':')))
            return refuse(error, text, QStringLiteral("no port after the host"));
        port = after.mid(1);
        QHostAddress ip;
        if (!ip.setAddress(host) || ip.protocol() != QAbstractSocket::IPv6Protocol)
            return refuse(error, text,
                          QStringLiteral("\"%1\" in brackets is no IPv6 address").arg(host));
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return refuse(error, text, QStringLiteral("no port after the host"));
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        if (host.contains(QLatin1Char(':')))
            return refuse(error, text, QStringLiteral("an IPv6 address goes in brackets"));
        // A name or an IPv4 address: letters, digits, dots, hyphens, underscores.
        static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9._-]*$"));
        if (!name.match(host).hasMatch())
            return refuse(error, text, QStringLiteral("\"%1\" is no host name").arg(host));
    }
    if (host.isEmpty())
        return refuse(error, text, QStringLiteral("no host"));
    if (port.isEmpty())
        return refuse(error, text, QStringLiteral("no port after the host"));
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const uint number = digits.match(port).hasMatch() ? port.toUInt() : 0;
    if (number < 1 || number > 65535)
        return refuse(error, text,
                      QStringLiteral("the port must be 1..65535, not \"%1\"").arg(port));
    address.host = host.toLower();
    address.port = quint16(number);
    return address;
}
