#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

// Runs the event loop until `condition` holds or the time is up; returns whether it holds.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return condition();
}

// Starts an asynchronous call, handing `start` the completion, and returns the result, which
// must arrive later (not inside the call) and exactly once.
template <typename Result, typename Start> std::optional<Result> awaitOnce(Start start) {
    std::optional<Result> result;
    int calls = 0;
    start([&](const Result &value) {
        result = value;
        ++calls;
    });
    EXPECT_EQ(calls, 0) << "the result arrived inside the call";
    waitUntil([&] { return calls > 0; }, 10'000);
    // A second completion of the same reply is already queued by now: deliver it, if any.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_LE(calls, 1);
    return result;
}
