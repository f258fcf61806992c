#include "platform/BootClock.h"

#include <ctime>

qint64 BootClock::nowMs() const {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
