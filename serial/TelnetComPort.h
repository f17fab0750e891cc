#pragma once

#include "serial/SerialBackend.h"

#include <QByteArray>
#include <QString>

#include <array>

// The client side of a serial device server that speaks Telnet with the serial-port
// option (COM-PORT-OPTION, RFC 2217), without a socket: what the server sends goes in
// through receive(); the serial line's own bytes come out of takeData(), and what this
// side must send back (the opening requests, answers to the server's option requests,
// the line settings) out of takeReplies(). Only bytes in, bytes out, so every sequence
// of bytes can be tried in a test or by a fuzzer.
//
// The link counts as ready once the server has agreed to BINARY in both directions
// and to COM-PORT-OPTION, and has confirmed each line setting with the value asked
// for. A refusal or another value fails the link with a text that names it. Option
// requests of the server are answered once per change of state (so two sides never
// answer each other forever): BINARY and SUPPRESS-GO-AHEAD are agreed to, everything
// else refused. Other Telnet commands and the server's line-state and modem-state
// notifications are dropped; none of it reaches the data.
class TelnetComPort
{
public:
    explicit TelnetComPort(const LineSettings &settings);

    // The requests that open the negotiation: WILL BINARY, DO BINARY, WILL COM-PORT-OPTION.
    QByteArray start();
    void receive(const QByteArray &bytes);
    QByteArray takeData();
    QByteArray takeReplies();

    bool isReady() const;
    bool hasFailed() const { return !m_failure.isEmpty(); }
    // What the server refused or set otherwise, in words.
    QString failure() const { return m_failure; }
    // The confirmations still missing, e.g. "WILL BINARY, the baud rate".
    QString waitingFor() const;

    // A data byte as it goes to the server: 0xFF (IAC) is sent twice.
    static QByteArray escape(unsigned char byte);

    // The longest subnegotiation kept; the rest of a longer one is dropped with it.
    static constexpr int MaxSubnegotiation = 64;

private:
    enum class Parse { Data, Iac, Option, Sub, SubIac };
    enum class Side : unsigned char { No, WantYes, Yes };
    enum Setting { Baud, DataSize, Parity, StopSize, Control, SettingCount };

    void command(unsigned char byte);
    void option(unsigned char verb, unsigned char opt);
    void subnegotiation();
    void confirm(Setting setting, const QByteArray &value);
    void sendSettings();
    void reply(unsigned char verb, unsigned char opt);
    void fail(const QString &why);
    quint32 wanted(Setting setting) const;

    LineSettings m_settings;
    Parse m_parse = Parse::Data;
    unsigned char m_verb = 0;
    QByteArray m_sub;
    bool m_subTooLong = false;
    // This side's options (WILL) and the server's (DO), per option code.
    std::array<Side, 256> m_us{};
    std::array<Side, 256> m_him{};
    bool m_settingsSent = false;
    std::array<bool, SettingCount> m_confirmed{};
    QByteArray m_data;
    QByteArray m_replies;
    QString m_failure;
};
