#include "sleep/PowerSourceMonitor.h"
#include "tests/support/FakePowerSourceInfo.h"

#include <gtest/gtest.h>

namespace {
// Starts once, retries a start that failed, passes on every notification with the state read
// at that moment, and never leaves a notification pointing at a monitor that is gone.
TEST(PowerSourceMonitor, StartsOnceRetriesAndStopsWhenItGoes) {
    FakePowerSourceInfo info;
    std::vector<bool> received;
    {
        PowerSourceMonitor monitor(info);
        monitor.setOnChange([&](bool isOnAC) { received.push_back(isOnAC); });
        info.canNotify = false;
        monitor.start();
        EXPECT_FALSE(monitor.isStarted());
        info.canNotify = true;
        monitor.start();
        monitor.start();
        EXPECT_EQ(info.starts, 2);
        info.onChange();
        info.setOnAC(false);
        info.onChange();
        EXPECT_EQ(received, (std::vector<bool>{true, false, false}));
    }
    EXPECT_EQ(info.stops, 1);
    EXPECT_FALSE(info.onChange);
}
} // namespace
