#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

// SIGINT and SIGTERM, turned from a signal that may arrive at any instruction into a
// call from the event loop, between two steps of the work. While an object lives the
// signals no longer end the process; afterwards they do what they did before. One at
// a time.
class Interrupts : public QObject
{
public:
    Interrupts();
    ~Interrupts() override;

    // Called from the event loop with the signal's number, once per signal.
    std::function<void(int signal)> onSignal;

private:
    void readSignals();
    std::unique_ptr<QSocketNotifier> m_notifier;
};
