#pragma once

#include "base/Clock.h"

#include <optional>

// A clock that stands still until a test moves it.
class FakeClock : public Clock
{
public:
    explicit FakeClock(const QDateTime &start = QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)))
        : m_now(start)
    {
    }
    QDateTime now() const override { return m_now; }
    // The monotonic clock runs for real unless a test sets it.
    qint64 monotonicMs() const override { return monotonic ? *monotonic : Clock::monotonicMs(); }
    std::optional<qint64> monotonic;
    void set(const QDateTime &t) { m_now = t; }
    void advanceSecs(int s) { m_now = m_now.addSecs(s); }

private:
    QDateTime m_now;
};
