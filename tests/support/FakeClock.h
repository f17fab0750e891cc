#pragma once

#include "base/Clock.h"

// A clock that stands still until a test moves it.
class FakeClock : public Clock
{
public:
    explicit FakeClock(const QDateTime &start = QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)))
        : m_now(start)
    {
    }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &t) { m_now = t; }
    void advanceSecs(int s) { m_now = m_now.addSecs(s); }

private:
    QDateTime m_now;
};
