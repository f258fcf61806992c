#pragma once

#include "platform/Clock.h"

class FakeClock final : public Clock {
public:
    qint64 nowMs() const override { return now; }
    void advanceSeconds(double seconds) { now += qint64(seconds * 1000); }
    qint64 now = 1'000'000;
};
