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
    void advance(qint64 seconds) { m_now += seconds * 1000; }
    void set(qint64 ms) { m_now = ms; }

private:
    qint64 m_now = morning();
};

} // namespace tidewell::test
