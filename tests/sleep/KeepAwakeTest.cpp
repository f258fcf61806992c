#include "app/AppDelegate.h"
#include "tests/support/FakePlatform.h"

#include <gtest/gtest.h>

// The period's state, time and lock; what the menu shows is checked in tests/app.
namespace {
class KeepAwake : public ::testing::Test {
protected:
    void SetUp() override {
        delegate = std::make_unique<AppDelegate>(fake.platform());
        delegate->applicationDidFinishLaunching();
        item = fake.application.statusItem;
        item->calls.clear();
    }

    // One on-time tick of the countdown.
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            fake.clock.advanceSeconds(1.0);
            delegate->countdownTick();
        }
    }

    FakePlatform fake;
    std::unique_ptr<AppDelegate> delegate;
    FakeStatusItem *item = nullptr;
};

// The user chooses "1 小時" and lets it run out.
TEST_F(KeepAwake, OneHourFromTheMenuRunsOutOnTheLastTick) {
    ASSERT_TRUE(item->choose(QStringLiteral("1 小時")));
    EXPECT_EQ(fake.powerAssertions.calls,
              QStringList{"create PreventUserIdleSystemSleep 255 Korvella防睡眠中"});
    EXPECT_TRUE(delegate->isRunning());
    EXPECT_FALSE(delegate->isInfinite());
    EXPECT_EQ(delegate->remainingSeconds(), 3600);
    EXPECT_EQ(delegate->activeDurationMinutes(), 60);
    EXPECT_TRUE(delegate->hasCountdownTimer());

    tick(3599);
    EXPECT_TRUE(delegate->isRunning());
    EXPECT_EQ(delegate->remainingSeconds(), 1);
    EXPECT_EQ(item->toolTip, "Korvella・防睡眠中・剩 1 分");

    item->calls.clear();
    tick();
    EXPECT_FALSE(delegate->isRunning());
    EXPECT_EQ(delegate->remainingSeconds(), 0);
    EXPECT_EQ(delegate->activeDurationMinutes(), 0);
    EXPECT_FALSE(delegate->hasCountdownTimer());
    EXPECT_TRUE(fake.powerAssertions.held.isEmpty());
    EXPECT_EQ(item->calls, QStringList({"image", "title", "toolTip", "menu"}));
    EXPECT_EQ(item->toolTip, "Korvella・防睡眠未啟動");
}

TEST_F(KeepAwake, ToggleStartsWithoutLimitAndStopsATimedPeriod) {
    delegate->toggle();
    EXPECT_TRUE(delegate->isInfinite());
    EXPECT_FALSE(delegate->hasCountdownTimer());
    delegate->toggle();
    EXPECT_FALSE(delegate->isRunning());
    delegate->selectDuration(120);
    delegate->toggle();
    EXPECT_FALSE(delegate->isRunning()) << "toggle during a timed period stops it";
    EXPECT_TRUE(fake.powerAssertions.held.isEmpty());
}

TEST_F(KeepAwake, ChoosingAnotherDurationReplacesTheRunningPeriod) {
    delegate->selectDuration(120);
    tick(100);
    delegate->selectDuration(30);
    EXPECT_EQ(delegate->remainingSeconds(), 1800);
    EXPECT_EQ(fake.powerAssertions.held.size(), 1);

    tick(5);
    delegate->selectDuration(30);
    EXPECT_EQ(delegate->remainingSeconds(), 1800) << "the same duration restarts at full length";

    delegate->selectDuration(0);
    EXPECT_TRUE(delegate->isInfinite());
    EXPECT_FALSE(delegate->hasCountdownTimer());
    EXPECT_EQ(fake.powerAssertions.held.size(), 1);
}

TEST_F(KeepAwake, AFailedStartShowsTheWarningAndChangesNothingElse) {
    fake.powerAssertions.failCreate = true;
    delegate->selectDuration(30);
    const Alert warning{Alert::Style::Warning, "Korvella", "無法啟動防睡眠，請稍後再試一次。", {}};
    EXPECT_EQ(fake.alerts.shown, QList<Alert>{warning});
    EXPECT_TRUE(item->calls.isEmpty()) << "a failed start refreshes nothing";
    EXPECT_FALSE(delegate->isRunning());
    EXPECT_FALSE(delegate->hasCountdownTimer());

    // A failed restart leaves the period shown but its countdown stopped.
    fake.powerAssertions.failCreate = false;
    delegate->selectDuration(60);
    fake.powerAssertions.failCreate = true;
    delegate->selectDuration(30);
    EXPECT_EQ(fake.alerts.shown.size(), 2);
    EXPECT_TRUE(delegate->isRunning());
    EXPECT_EQ(delegate->activeDurationMinutes(), 60);
    EXPECT_FALSE(delegate->hasCountdownTimer());
    EXPECT_TRUE(fake.powerAssertions.held.isEmpty());
}

TEST_F(KeepAwake, LateTicksTakeOffTheTimeThatReallyPassed) {
    delegate->selectDuration(30);
    fake.clock.advanceSeconds(30);
    delegate->countdownTick();
    EXPECT_EQ(delegate->remainingSeconds(), 1800 - 30);

    fake.clock.advanceSeconds(0.2);
    delegate->countdownTick();
    EXPECT_EQ(delegate->remainingSeconds(), 1800 - 31) << "an early tick still takes one second";

    // Fractions are not lost: two ticks 1.5 s apart take three seconds in all.
    fake.clock.advanceSeconds(1.0); // back in step after the early tick
    delegate->countdownTick();
    const qint64 before = delegate->remainingSeconds();
    fake.clock.advanceSeconds(1.5);
    delegate->countdownTick();
    fake.clock.advanceSeconds(1.5);
    delegate->countdownTick();
    EXPECT_EQ(before - delegate->remainingSeconds(), 3);

    // A suspend longer than the rest of the period ends it on the next tick.
    fake.clock.advanceSeconds(3 * 3600);
    delegate->countdownTick();
    EXPECT_FALSE(delegate->isRunning());
    EXPECT_TRUE(fake.powerAssertions.held.isEmpty());
}

TEST_F(KeepAwake, QuitEndsTheRunningPeriodBeforeTerminating) {
    delegate->selectDuration(240);
    item->calls.clear();
    delegate->quit();
    EXPECT_TRUE(fake.powerAssertions.held.isEmpty());
    EXPECT_FALSE(delegate->isRunning());
    EXPECT_EQ(item->calls, QStringList({"image", "title", "toolTip", "menu"}));
    EXPECT_EQ(fake.application.terminations, 1);
    EXPECT_FALSE(delegate->powerMonitor().isStarted());
}
} // namespace
