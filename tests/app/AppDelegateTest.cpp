#include "app/AppDelegate.h"
#include "tests/support/FakePlatform.h"

#include <gtest/gtest.h>

namespace {
TEST(AppDelegateStartUp, FirstLaunchIsIdleWithTheQueriedPowerState) {
    FakePlatform fake;
    fake.powerSource.type = QStringLiteral("Battery Power");
    AppDelegate delegate(fake.platform());
    delegate.applicationDidFinishLaunching();

    EXPECT_FALSE(delegate.isRunning());
    EXPECT_FALSE(delegate.lidSleepEnabled());
    EXPECT_FALSE(delegate.isOnACPower());
    EXPECT_TRUE(delegate.powerMonitor().isStarted());
    EXPECT_FALSE(delegate.telegramPushTimer() && delegate.telegramPushTimer()->isActive());
    EXPECT_TRUE(fake.powerAssertions.calls.isEmpty());
    EXPECT_TRUE(fake.alerts.shown.isEmpty());
    const FakeStatusItem *item = fake.application.statusItem;
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->calls, QStringList({"image", "title", "toolTip", "menu"}));
}

TEST(AppDelegateStartUp, StoredLidModeIsLoadedWithoutAlertOrAssertion) {
    FakePlatform fake;
    fake.settings.setBool(QStringLiteral("lidSleepEnabled"), true);
    fake.powerSource.type.reset(); // no power information at all
    AppDelegate delegate(fake.platform());
    delegate.applicationDidFinishLaunching();

    EXPECT_TRUE(delegate.lidSleepEnabled());
    EXPECT_FALSE(delegate.lidWakeAtRisk());
    EXPECT_TRUE(delegate.isOnACPower()) << "no information reads as mains power";
    EXPECT_TRUE(fake.alerts.shown.isEmpty());
    EXPECT_TRUE(fake.powerAssertions.calls.isEmpty());
}

TEST(AppDelegateStartUp, WithoutATrayButtonOnlyTheMenuIsReplaced) {
    FakePlatform fake;
    fake.application.statusItemHasButton = false;
    AppDelegate delegate(fake.platform());
    delegate.applicationDidFinishLaunching();
    delegate.selectDuration(30);

    EXPECT_EQ(fake.application.statusItem->calls, QStringList({"menu", "menu"}));
    EXPECT_EQ(fake.application.statusItem->menu.entries.first().title, "防睡眠中・剩 30 分");
}

TEST(AppDelegateStartUp, VersionTextComesFromTheBuild) {
    EXPECT_EQ(AppDelegate::appVersionString(), QStringLiteral(KORVELLA_TEST_PROJECT_VERSION));
}

TEST(AppDelegateLifetime, CallbacksDoNothingOnceTheDelegateIsGone) {
    FakePlatform fake;
    auto delegate = std::make_unique<AppDelegate>(fake.platform());
    delegate->applicationDidFinishLaunching();
    StatusItem::ActionHandler handler = fake.application.statusItem->handler;
    delegate->selectDuration(30);
    delegate.reset();

    // A click that arrives after the delegate is gone must not reach it.
    handler(MenuAction::SelectDuration, 60);
    EXPECT_EQ(fake.powerAssertions.calls.size(), 1);
    EXPECT_EQ(fake.powerSource.stops, 1) << "the monitor stops when it goes away";
}
} // namespace
