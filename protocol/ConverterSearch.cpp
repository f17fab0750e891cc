#include "protocol/ConverterSearch.h"

#include "protocol/Frames.h"

#include <algorithm>

namespace {

// Item 0 is read by every read-all first; every converter answers it.
constexpr int ProbeItem = 0;
// What a chatty device may leave in the buffer: a few answers' worth, the newest.
constexpr int KeepBytes = 512;

} // namespace

ConverterSearch::ConverterSearch(PortFactory factory, const LineSettings &settings)
    : m_factory(std::move(factory)), m_settings(settings)
{
}

ConverterSearch::~ConverterSearch()
{
    stop();
}

void ConverterSearch::start(const QStringList &devices)
{
    stop();
    m_probes.clear();
    m_lines.clear();
    for (const QString &device : devices) {
        m_probes.push_back(Probe{device, Outcome::Trying, QString()});
        m_lines.push_back(Line{m_factory(), WakeUpTicks, false, false, QByteArray()});
        SerialBackend &port = *m_lines.back().port;
        if (port.open(device, m_settings)) {
            wakeUp(m_lines.size() - 1);
            continue;
        }
        m_probes.back().error = port.errorString();
        switch (port.lastOpenFailure()) {
        case SerialBackend::OpenFailure::Pending:
            m_lines.back().connecting = true;
            break;
        case SerialBackend::OpenFailure::Busy:
            finish(m_probes.size() - 1, Outcome::Busy);
            break;
        case SerialBackend::OpenFailure::NoPermission:
            finish(m_probes.size() - 1, Outcome::NoPermission);
            break;
        case SerialBackend::OpenFailure::NoConnection:
            finish(m_probes.size() - 1, Outcome::NoConnection);
            break;
        default:
            finish(m_probes.size() - 1, Outcome::NoAnswer);
            break;
        }
    }
}

void ConverterSearch::wakeUp(size_t index)
{
    SerialBackend &port = *m_lines[index].port;
    port.clearInput();
    if (!send(port, Frames::WakeUpSequence()))
        finish(index, Outcome::NoAnswer);
}

bool ConverterSearch::send(SerialBackend &port, const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (!port.writeByte(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

void ConverterSearch::tick()
{
    for (size_t i = 0; i < m_probes.size(); ++i) {
        if (m_probes[i].outcome != Outcome::Trying)
            continue;
        Line &line = m_lines[i];
        SerialBackend &port = *line.port;
        if (line.connecting) {
            if (port.isOpening())
                continue;
            line.connecting = false;
            m_probes[i].error = port.errorString();
            if (port.isOpen())
                wakeUp(i);
            else
                finish(i, Outcome::NoConnection);
            continue;
        }
        if (!line.requestSent) {
            if (--line.ticksLeft > 0)
                continue;
            // Whatever the device said to the wake-up is no answer to the request.
            port.clearInput();
            line.received.clear();
            line.requestSent = true;
            line.ticksLeft = AnswerTicks;
            if (!send(port, Frames::ReadRequestFrame(ProbeItem)))
                finish(i, Outcome::NoAnswer);
            continue;
        }
        for (int byte = port.readByte(); byte >= 0; byte = port.readByte())
            line.received.append(char(byte));
        if (line.received.size() > KeepBytes)
            line.received.remove(0, line.received.size() - KeepBytes);
        if (Frames::HoldsAcceptedAnswer(line.received))
            finish(i, Outcome::Converter);
        else if (--line.ticksLeft <= 0)
            finish(i, Outcome::NoAnswer);
    }
}

void ConverterSearch::finish(size_t index, Outcome outcome)
{
    m_probes[index].outcome = outcome;
    if (SerialBackend *port = m_lines[index].port.get(); port && port->isOpen())
        port->close();
    m_lines[index].port.reset();
}

void ConverterSearch::stop()
{
    for (size_t i = 0; i < m_probes.size(); ++i) {
        if (m_probes[i].outcome == Outcome::Trying)
            finish(i, Outcome::NoAnswer);
    }
}

bool ConverterSearch::isFinished() const
{
    return std::none_of(m_probes.begin(), m_probes.end(),
                        [](const Probe &p) { return p.outcome == Outcome::Trying; });
}
