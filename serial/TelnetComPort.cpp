#include "serial/TelnetComPort.h"

#include <QStringList>

namespace {

// Telnet commands and options.
constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr unsigned char BINARY = 0, SGA = 3, COM_PORT = 44;
// COM-PORT-OPTION commands: the client's codes; the server answers with the code + 100.
constexpr unsigned char SIGNATURE = 0, SET_BAUDRATE = 1;
constexpr unsigned char ServerOffset = 100;

const char *const ParityNames[] = {"?", "none", "odd", "even", "mark", "space"};
const char *const StopNames[] = {"?", "1", "2", "1.5"};
const char *const ControlNames[] = {"?", "none", "XON/XOFF", "hardware"};

QString nameOf(quint32 value, const char *const *names, int count)
{
    return value > 0 && value < quint32(count) ? QLatin1String(names[value])
                                               : QString::number(value);
}

QByteArray escaped(const QByteArray &bytes)
{
    QByteArray out;
    for (const char c : bytes)
        out += TelnetComPort::escape(static_cast<unsigned char>(c));
    return out;
}

} // namespace

TelnetComPort::TelnetComPort(const LineSettings &settings) : m_settings(settings) {}

QByteArray TelnetComPort::escape(unsigned char byte)
{
    return byte == IAC ? QByteArray(2, char(IAC)) : QByteArray(1, char(byte));
}

QByteArray TelnetComPort::start()
{
    m_us[BINARY] = Side::WantYes;
    m_him[BINARY] = Side::WantYes;
    m_us[COM_PORT] = Side::WantYes;
    reply(WILL, BINARY);
    reply(DO, BINARY);
    reply(WILL, COM_PORT);
    return takeReplies();
}

QByteArray TelnetComPort::takeData()
{
    QByteArray data;
    data.swap(m_data);
    return data;
}

QByteArray TelnetComPort::takeReplies()
{
    QByteArray replies;
    replies.swap(m_replies);
    return replies;
}

bool TelnetComPort::isReady() const
{
    if (hasFailed() || m_us[BINARY] != Side::Yes || m_him[BINARY] != Side::Yes ||
        m_us[COM_PORT] != Side::Yes)
        return false;
    for (const bool confirmed : m_confirmed) {
        if (!confirmed)
            return false;
    }
    return true;
}

QString TelnetComPort::waitingFor() const
{
    QStringList missing;
    if (m_us[BINARY] != Side::Yes)
        missing << QStringLiteral("DO BINARY");
    if (m_him[BINARY] != Side::Yes)
        missing << QStringLiteral("WILL BINARY");
    if (m_us[COM_PORT] != Side::Yes)
        missing << QStringLiteral("DO COM-PORT-OPTION");
    const char *const settings[] = {"the baud rate", "the data bits", "the parity", "the stop bits",
                                    "the flow control"};
    for (int s = 0; s < SettingCount; ++s) {
        if (!m_confirmed[size_t(s)])
            missing << QLatin1String(settings[s]);
    }
    return missing.join(QStringLiteral(", "));
}

void TelnetComPort::receive(const QByteArray &bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (m_parse) {
        case Parse::Data:
            if (byte == IAC)
                m_parse = Parse::Iac;
            else
                m_data.append(c);
            break;
        case Parse::Iac:
            command(byte);
            break;
        case Parse::Option:
            m_parse = Parse::Data;
            option(m_verb, byte);
            break;
        case Parse::Sub:
            if (byte == IAC)
                m_parse = Parse::SubIac;
            else if (m_sub.size() < MaxSubnegotiation)
                m_sub.append(c);
            else
                m_subTooLong = true;
            break;
        case Parse::SubIac:
            if (byte == IAC) {
                m_parse = Parse::Sub;
                if (m_sub.size() < MaxSubnegotiation)
                    m_sub.append(c);
                else
                    m_subTooLong = true;
            } else if (byte == SE) {
                m_parse = Parse::Data;
                if (!m_subTooLong)
                    subnegotiation();
            } else {
                // A command inside a subnegotiation ends it unfinished; the command
                // itself still counts.
                command(byte);
            }
            break;
        }
    }
}

void TelnetComPort::command(unsigned char byte)
{
    m_parse = Parse::Data;
    switch (byte) {
    case IAC:
        m_data.append(char(IAC));
        return;
    case WILL:
    case WONT:
    case DO:
    case DONT:
        m_verb = byte;
        m_parse = Parse::Option;
        return;
    case SB:
        m_sub.clear();
        m_subTooLong = false;
        m_parse = Parse::Sub;
        return;
    default:
        // NOP, data mark, break, go ahead and the others carry no data.
        return;
    }
}

void TelnetComPort::option(unsigned char verb, unsigned char opt)
{
    // What each side may switch on: both BINARY and SUPPRESS-GO-AHEAD, this side the
    // serial-port option. Echo above all stays off: the requests would come back as
    // if the converter had sent them.
    const bool weMay = opt == BINARY || opt == SGA || opt == COM_PORT;
    const bool heMay = opt == BINARY || opt == SGA;
    Side &us = m_us[opt];
    Side &him = m_him[opt];
    switch (verb) {
    case WILL:
        if (him == Side::WantYes)
            him = Side::Yes;
        else if (him == Side::No && heMay) {
            him = Side::Yes;
            reply(DO, opt);
        } else if (him == Side::No)
            reply(DONT, opt);
        return;
    case WONT:
        if (him == Side::WantYes && opt == BINARY)
            fail(QStringLiteral("the server refused BINARY transmission (WONT BINARY)"));
        else if (him == Side::Yes)
            reply(DONT, opt);
        him = Side::No;
        return;
    case DO:
        if (us == Side::Yes)
            return;
        if (us == Side::No && !weMay) {
            reply(WONT, opt);
            return;
        }
        if (us == Side::No)
            reply(WILL, opt);
        us = Side::Yes;
        if (opt == COM_PORT)
            sendSettings();
        return;
    case DONT:
        if (us == Side::WantYes && opt == BINARY)
            fail(QStringLiteral("the server refused BINARY transmission (DONT BINARY)"));
        else if (us == Side::WantYes && opt == COM_PORT)
            fail(QStringLiteral("the server refused COM-PORT-OPTION (DONT COM-PORT-OPTION): it "
                                "does not set serial lines (RFC 2217)"));
        else if (us == Side::Yes)
            reply(WONT, opt);
        us = Side::No;
        return;
    default:
        return;
    }
}

void TelnetComPort::subnegotiation()
{
    if (m_sub.size() < 2 || static_cast<unsigned char>(m_sub.at(0)) != COM_PORT)
        return;
    const auto code = static_cast<unsigned char>(m_sub.at(1));
    const QByteArray value = m_sub.mid(2);
    if (code == ServerOffset + SIGNATURE) {
        // Without a text the server asks for this side's name.
        if (value.isEmpty())
            m_replies += QByteArray::fromRawData("\xff\xfa\x2c\x00", 4) + "Kestrum" +
                         QByteArray::fromRawData("\xff\xf0", 2);
        return;
    }
    // The answers to the line settings; line-state and modem-state notifications
    // and the flow-control signals of the server are of no use here.
    if (code >= ServerOffset + SET_BAUDRATE && code < ServerOffset + SET_BAUDRATE + SettingCount)
        confirm(Setting(code - ServerOffset - SET_BAUDRATE), value);
}

quint32 TelnetComPort::wanted(Setting setting) const
{
    switch (setting) {
    case Baud:
        return quint32(m_settings.baudRate);
    case DataSize:
        return quint32(m_settings.dataBits);
    case Parity:
        return m_settings.parity == 'O' ? 2 : m_settings.parity == 'E' ? 3 : 1;
    case StopSize:
        return m_settings.stopBits == 2 ? 2 : 1;
    case Control:
    case SettingCount:
        break;
    }
    return 1; // no flow control
}

void TelnetComPort::confirm(Setting setting, const QByteArray &value)
{
    // Only the first answer to each setting asked for counts; later ones (another
    // client's change, a repeat) are not this side's business.
    if (!m_settingsSent || m_confirmed[size_t(setting)] || hasFailed())
        return;
    const int size = setting == Baud ? 4 : 1;
    const char *const names[] = {"baud rate", "data bits", "parity", "stop bits", "flow control"};
    if (value.size() != size) {
        fail(QStringLiteral("the server's answer to the %1 cannot be read")
                 .arg(QLatin1String(names[setting])));
        return;
    }
    quint32 got = 0;
    for (const char c : value)
        got = (got << 8) | static_cast<unsigned char>(c);
    const quint32 want = wanted(setting);
    if (got == want) {
        m_confirmed[size_t(setting)] = true;
        return;
    }
    switch (setting) {
    case Baud:
        fail(QStringLiteral("the server set %1 baud instead of %2").arg(got).arg(want));
        return;
    case DataSize:
        fail(QStringLiteral("the server set %1 data bits instead of %2").arg(got).arg(want));
        return;
    case Parity:
        fail(QStringLiteral("the server set parity %1 instead of %2")
                 .arg(nameOf(got, ParityNames, 6), nameOf(want, ParityNames, 6)));
        return;
    case StopSize:
        fail(QStringLiteral("the server set %1 stop bits instead of %2")
                 .arg(nameOf(got, StopNames, 4), nameOf(want, StopNames, 4)));
        return;
    case Control:
    case SettingCount:
        fail(QStringLiteral("the server set flow control %1 instead of none")
                 .arg(nameOf(got, ControlNames, 4)));
        return;
    }
}

void TelnetComPort::sendSettings()
{
    if (m_settingsSent)
        return;
    m_settingsSent = true;
    for (int s = 0; s < SettingCount; ++s) {
        const quint32 value = wanted(Setting(s));
        QByteArray bytes;
        if (s == Baud) {
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes.append(char((value >> shift) & 0xFF));
        } else {
            bytes.append(char(value));
        }
        m_replies += QByteArray(1, char(IAC)) + char(SB) + char(COM_PORT) + char(SET_BAUDRATE + s) +
                     escaped(bytes) + char(IAC) + char(SE);
    }
}

void TelnetComPort::reply(unsigned char verb, unsigned char opt)
{
    m_replies += QByteArray(1, char(IAC)) + char(verb) + char(opt);
}

void TelnetComPort::fail(const QString &why)
{
    if (m_failure.isEmpty())
        m_failure = why;
}
