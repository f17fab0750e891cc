#pragma once

#include <QDateTime>
#include <QElapsedTimer>

// The time source of the log; tests put their own in to cross midnight.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds of a clock that only ever runs forward, whatever happens to the
    // time of day: the measure of how long the engine's timer slept.
    virtual qint64 monotonicMs() const
    {
        static const QElapsedTimer started = [] {
            QElapsedTimer timer;
            timer.start();
            return timer;
        }();
        return started.elapsed();
    }
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
