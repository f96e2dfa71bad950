#pragma once

#include "CountdownEngine.h"

#include <QDateTime>

namespace tidewell::test {

// A clock that moves only when the test moves it. It starts on a fixed
// morning, so times in what the tests check are always the same.
class FakeClock : public Clock
{
public:
    static qint64 morning() { return QDateTime(QDate(2026, 12, 8), QTime(9, 0)).toMSecsSinceEpoch(); }

    qint64 nowMs() const override { return m_now; }
    qint64 monotonicMs() const override { return m_monotonic; }
    void advance(qint64 seconds)
    {
        m_now += seconds * 1000;
        m_monotonic += seconds * 1000;
    }
    void set(qint64 ms)
    {
        m_monotonic += ms - m_now;
        m_now = ms;
    }
    // The computer sleeps: the wall clock goes on, the monotonic one stands.
    void sleep(qint64 seconds) { m_now += seconds * 1000; }

private:
    qint64 m_now = morning();
    qint64 m_monotonic = 0;
};

} // namespace tidewell::test
