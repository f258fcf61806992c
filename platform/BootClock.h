#pragma once

#include "platform/Clock.h"

// CLOCK_BOOTTIME: unlike the monotonic clock it includes time spent in suspend, so a countdown
// measured on it stays true across a forced sleep.
class BootClock final : public Clock {
public:
    qint64 nowMs() const override;
};
