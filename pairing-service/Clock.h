#pragma once
#include <QDateTime>

namespace pairing {

// Wall-clock time in milliseconds since the epoch. Wall time, not a monotonic clock, because
// several instances share the timestamps stored in the database.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;
};

class SystemClock final : public Clock {
public:
    qint64 nowMs() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

} // namespace pairing
