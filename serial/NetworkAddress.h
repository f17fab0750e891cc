#pragma once

#include <QString>

#include <optional>

// The address of a serial device server on the network, as the user writes it where
// a device would stand: "tcp://HOST:PORT" passes every byte as it is (the server's
// side of the line is set by its own configuration), "rfc2217://HOST:PORT" speaks
// Telnet with the serial-port option and sets the line itself. HOST is a name, an
// IPv4 address or an IPv6 address in brackets ("rfc2217://[fe80::1]:4001").
struct NetworkAddress
{
    enum class Scheme { Tcp, Rfc2217 };

    Scheme scheme = Scheme::Tcp;
    QString host; // without brackets
    quint16 port = 0;

    bool operator==(const NetworkAddress &) const = default;

    // "tcp://10.1.2.3:4001", "rfc2217://[::1]:4001": the scheme and host in lower case.
    QString text() const;

    // True for a text written as an address ("SCHEME://..."), whether or not it is a
    // valid one; a device path never is.
    static bool looksLikeAddress(const QString &text);
    // The address, or no value with *error saying what is wrong with it and quoting it.
    static std::optional<NetworkAddress> parse(const QString &text, QString *error = nullptr);
};
