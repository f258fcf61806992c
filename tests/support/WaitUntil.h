#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>

// Runs the event loop until `condition` holds or the time is up; returns whether it holds.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return condition();
}
