#include "sleep/PowerSourceMonitor.h"
#include "tests/support/FakePowerSourceInfo.h"

#include <gtest/gtest.h>

namespace {
TEST(PowerSourceMonitor, StartsAndStopsOnceAndRetriesAFailedStart) {
    FakePowerSourceInfo info;
    PowerSourceMonitor monitor(info);
    monitor.stop();
    EXPECT_EQ(info.stops, 0);

    info.canNotify = false;
    monitor.start();
    EXPECT_FALSE(monitor.isStarted());
    info.canNotify = true;
    monitor.start();
    monitor.start();
    EXPECT_TRUE(monitor.isStarted());
    EXPECT_EQ(info.starts, 2);

    monitor.stop();
    monitor.stop();
    EXPECT_FALSE(monitor.isStarted());
    EXPECT_EQ(info.stops, 1);
}

// Every notification is passed on, with the state read at that moment, also when it did not
// change; with no callback set, a notification does nothing.
TEST(PowerSourceMonitor, PassesOnEveryNotificationWithTheStateReadAfresh) {
    FakePowerSourceInfo info;
    PowerSourceMonitor monitor(info);
    monitor.start();
    ASSERT_TRUE(info.onChange);
    info.onChange();

    std::vector<bool> received;
    monitor.setOnChange([&](bool isOnAC) { received.push_back(isOnAC); });
    info.onChange();
    info.setOnAC(false);
    info.onChange();
    monitor.setOnChange([&](bool) { received.push_back(true); });
    info.setOnAC(false);
    EXPECT_EQ(received, (std::vector<bool>{true, false, false, true}));
}

TEST(PowerSourceMonitor, DestroyingAStartedMonitorStopsItFirst) {
    FakePowerSourceInfo info;
    {
        PowerSourceMonitor monitor(info);
        monitor.setOnChange([](bool) {});
        monitor.start();
    }
    EXPECT_EQ(info.stops, 1);
    EXPECT_FALSE(info.onChange);
    { PowerSourceMonitor unstarted(info); }
    EXPECT_EQ(info.stops, 1);
}
} // namespace
