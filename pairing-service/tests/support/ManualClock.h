#pragma once
#include "Clock.h"

// A clock that moves only when a test says so.
class ManualClock final : public pairing::Clock {
public:
    qint64 nowMs() const override { return m_now; }
    void advanceMs(qint64 ms) { m_now += ms; }
    void advanceSeconds(qint64 seconds) { m_now += seconds * 1000; }

private:
    qint64 m_now = 1'700'000'000'000;
};
