// The protective rules end to end: the delegate on a real UPower backend against the dbusmock
// template, a desktop notice through a mock notification service.
#include "app/AppDelegate.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/UPowerPowerSourceInfo.h"
#include "tests/support/DBusMock.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

namespace {
const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kDisplay = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kNotices = QStringLiteral("org.freedesktop.Notifications");

class ProtectiveRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.startTemplate(QStringLiteral("upower"))) << qPrintable(bus.errorString());
        ASSERT_TRUE(bus.startTemplate(QStringLiteral("notification_daemon")));
        ASSERT_TRUE(bus.setProperty(kUPower, kDisplay, kUPower + ".Device", "IsPresent", true));
        // Subscribed after the delegate: once it hears a change, the delegate has heard it.
        delegate.applicationDidFinishLaunching();
        probe.startNotifications([this] { ++changes; });
    }
    // Sets a property and waits until the change has reached the delegate.
    void set(const QString &path, const QString &name, const QVariant &value) {
        const int before = changes;
        const QString iface = path == kDisplay ? kUPower + ".Device" : kUPower;
        ASSERT_TRUE(bus.setProperty(kUPower, path, iface, name, value));
        ASSERT_TRUE(waitUntil([&] { return changes > before; }, 2000)) << qPrintable(name);
    }
    void onBattery(bool yes) { set("/org/freedesktop/UPower", "OnBattery", yes); }
    void charge(double percent) { set(kDisplay, "Percentage", percent); }
    QString toolTip() const { return fake.application.statusItem->toolTip; }
    QList<QVariantList> notices() {
        return bus.methodCalls(kNotices, "/org/freedesktop/Notifications", "Notify");
    }

    DBusMock bus;
    FakePlatform fake;
    UPowerPowerSourceInfo upower{bus.connection()};
    UPowerPowerSourceInfo probe{bus.connection()};
    FreedesktopNotifier notifier{bus.connection()};
    int changes = 0;
    Platform platform = [this] {
        Platform real = fake.platform();
        real.powerSource = &upower;
        real.notifier = &notifier;
        return real;
    }();
    AppDelegate delegate{platform};
};

TEST_F(ProtectiveRulesTest, UnplugEndsThePeriodOnlyWhenChosenAndTheLidWarningStays) {
    fake.settings.setBool("lidSleepEnabled", true);
    delegate.lidMode().load();
    delegate.selectDuration(60);
    onBattery(true);
    EXPECT_TRUE(delegate.isRunning()) << "off by default";
    EXPECT_TRUE(delegate.lidWakeAtRisk());

    onBattery(false);
    fake.settings.setBool("stopOnUnplug", true);
    onBattery(true);
    EXPECT_FALSE(delegate.isRunning());
    EXPECT_TRUE(fake.powerAssertions.held.isEmpty());
    EXPECT_EQ(toolTip(), "Korvella・防睡眠已自動結束・電源已拔除");
    delegate.selectDuration(30);
    EXPECT_TRUE(toolTip().startsWith("Korvella・防睡眠中")) << qPrintable(toolTip());
}

// Only a fall below the threshold seen on battery during the period counts, or an unplug below.
TEST_F(ProtectiveRulesTest, BatteryRuleActsOnACrossingDuringThePeriod) {
    fake.settings.setInteger("stopBelowBatteryPercent", 20);
    onBattery(true);
    charge(19);
    delegate.selectDuration(0);
    charge(18);
    EXPECT_TRUE(delegate.isRunning()) << "started below the threshold";
    charge(25);
    charge(19);
    EXPECT_FALSE(delegate.isRunning());
    EXPECT_EQ(toolTip(), "Korvella・防睡眠已自動結束・電量低於 20%");

    onBattery(false);
    delegate.selectDuration(0);
    charge(18);
    EXPECT_TRUE(delegate.isRunning()) << "on mains";
    onBattery(true);
    EXPECT_FALSE(delegate.isRunning());
}

TEST_F(ProtectiveRulesTest, APeriodThatEndsByItselfSaysWhyOnceWhenAsked) {
    const auto runOneMinute = [&] {
        delegate.selectDuration(1);
        fake.clock.advanceSeconds(60);
        delegate.countdownTick();
        ASSERT_FALSE(delegate.isRunning());
    };
    runOneMinute(); // not asked for: no notice
    fake.settings.setBool("notifyWhenEnded", true);
    delegate.selectDuration(1);
    delegate.session().stop(); // stopped by the user: no notice
    runOneMinute();
    // Calls on one connection arrive in order: a notice of the first period would come first.
    ASSERT_TRUE(waitUntil([&] { return !notices().isEmpty(); }));
    ASSERT_EQ(notices().size(), 1);
    const QVariantList notice = notices().value(0); // app, replaced id, icon, summary, body…
    EXPECT_EQ(QVariantList({notice.value(0), notice.value(2), notice.value(4)}),
              QVariantList({"Korvella", "io.korvella.Korvella", "防睡眠已結束・時間到"}));
    ASSERT_TRUE(bus.stopService(kNotices));
    runOneMinute();
    EXPECT_TRUE(fake.alerts.shown.isEmpty());
}
} // namespace
