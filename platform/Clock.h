#pragma once

#include <QtGlobal>

// A monotonic clock in milliseconds that keeps counting while the machine is suspended.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;
};
