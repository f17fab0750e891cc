#pragma once

#include "serial/SerialBackend.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// Looks for the converter on several serial devices at once. Each device gets a
// port of its own from the factory and the same short exchange the engine starts
// a job with: the wake-up bytes, 10 ticks' rest, the read request of item 0, and
// at most 120 ticks for a whole answer with ACK. Nothing else is ever sent, so a
// device that is not the converter sees one harmless burst of bytes. A device that
// answered or ran out of time is closed at once; the search never leaves a
// device open, also when it is stopped or destroyed half-way.
//
// Like the engine it never waits: tick() does one 25 ms step for every device, so
// the whole search lasts 130 ticks however many devices there are. A network
// address first waits for its connection (which its port bounds in time), and
// starts counting from there.
class ConverterSearch
{
public:
    enum class Outcome {
        Trying,
        Converter,    // answered the read request with ACK
        NoAnswer,     // opened, but no accepted answer in time (or it failed on the way)
        NoPermission, // the user may not open the device
        Busy,         // another program holds the device; nothing was sent
        NoConnection  // a network server that could not be reached or set the line
    };

    struct Probe
    {
        QString device;
        Outcome outcome = Outcome::Trying;
        QString error; // why the device could not be opened
    };

    using PortFactory = std::function<std::unique_ptr<SerialBackend>()>;

    static constexpr int WakeUpTicks = 10;
    static constexpr int AnswerTicks = 120;

    ConverterSearch(PortFactory factory, const LineSettings &settings);
    ~ConverterSearch();
    ConverterSearch(const ConverterSearch &) = delete;
    ConverterSearch &operator=(const ConverterSearch &) = delete;

    // Opens every device and sends the wake-up bytes; a device that cannot be
    // opened is decided here.
    void start(const QStringList &devices);
    void tick();
    // Closes every device still being tried; those count as not answering.
    void stop();

    bool isFinished() const;
    const std::vector<Probe> &probes() const { return m_probes; }

private:
    struct Line
    {
        std::unique_ptr<SerialBackend> port;
        int ticksLeft = 0;
        bool connecting = false;
        bool requestSent = false;
        QByteArray received;
    };

    void finish(size_t index, Outcome outcome);
    void wakeUp(size_t index);
    bool send(SerialBackend &port, const QByteArray &bytes);

    PortFactory m_factory;
    LineSettings m_settings;
    std::vector<Probe> m_probes;
    std::vector<Line> m_lines;
};
