// What follows the power source, end to end: the lid-closed mode and the protective rules, with
// AppDelegate on the real keep-awake locks, power source, settings file and desktop notices,
// against logind, UPower and notification mocks on a private bus.
#include "app/AppDelegate.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/IniSettingsStore.h"
#include "platform/LinuxPowerAssertions.h"
#include "platform/LinuxPowerSourceInfo.h"
#include "platform/UPowerPowerSourceInfo.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/InhibitorBus.h"
#include "tests/support/WaitUntil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QString kLidItem = QStringLiteral("闔蓋時保持喚醒");
const QString kLidItemAtRisk = QStringLiteral("闔蓋時保持喚醒 ⚠️ 電源已拔除");
const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kUPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString kDisplay = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kNotices = QStringLiteral("org.freedesktop.Notifications");

const Alert kExplanation{
    Alert::Style::Informational,
    "闔蓋時保持喚醒",
    "開啟後，筆電闔上上蓋時主機仍會保持運作（螢幕休眠但系統不睡），適合外接螢幕工作或背景"
    "下載時使用。\n\n請注意限制：\n• 需要接上電源（AC 電源）才有效，僅靠電池無法闔蓋防睡眠\n"
    "• 闔蓋期間如果拔掉電源，防睡眠可能會失效，屆時選單列會顯示提醒\n"
    "• 系統不允許 Korvella 接管闔蓋，或桌面的電源管理自行處理闔蓋時，闔蓋仍可能讓電腦睡眠，"
    "屆時選單列會顯示「闔蓋仍可能睡眠」",
    {"我瞭解"}};

class PowerChanges : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_bus.mock.isRunning()) << m_bus.mock.errorString().toStdString();
        ASSERT_TRUE(m_bus.startLogind());
        ASSERT_TRUE(m_bus.mock.startTemplate(QStringLiteral("upower"), {{"OnBattery", false}}))
            << m_bus.mock.errorString().toStdString();
        ASSERT_TRUE(m_bus.mock.startTemplate(QStringLiteral("notification_daemon")));
        ASSERT_TRUE(
            m_bus.mock.setProperty(kUPower, kDisplay, kUPower + ".Device", "IsPresent", true));
        launch();
        // Subscribed after the delegate: once it hears a change, the delegate has heard it.
        m_probe.startNotifications([this] { ++m_changes; });
    }

    // A new start of the application on the same settings file.
    void launch() {
        m_delegate.reset();
        m_settings = std::make_unique<IniSettingsStore>(m_dir.filePath(QStringLiteral("k.conf")));
        Platform platform = m_fake.platform();
        platform.powerAssertions = &m_assertions;
        platform.powerSource = &m_powerSource;
        platform.settings = m_settings.get();
        platform.notifier = &m_notifier;
        m_delegate = std::make_unique<AppDelegate>(platform);
        m_delegate->applicationDidFinishLaunching();
        m_item = m_fake.application.statusItem;
    }

    // Sets a UPower property and waits until the change has reached the delegate.
    void set(const QString &path, const QString &name, const QVariant &value) {
        const int before = m_changes;
        const QString iface = path == kDisplay ? kUPower + ".Device" : kUPower;
        ASSERT_TRUE(m_bus.mock.setProperty(kUPower, path, iface, name, value));
        ASSERT_TRUE(waitUntil([&] { return m_changes > before; }, 2000)) << qPrintable(name);
    }
    void onBattery(bool yes) { set(kUPowerPath, "OnBattery", yes); }
    void charge(double percent) { set(kDisplay, "Percentage", percent); }
    ::testing::AssertionResult runsAfterChoosing(int minutes) {
        m_delegate->selectDuration(minutes);
        if (waitUntil([&] { return m_delegate->isRunning(); }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no period of " << minutes << " min";
    }
    QList<QVariantList> notices() {
        return m_bus.mock.methodCalls(kNotices, "/org/freedesktop/Notifications", "Notify");
    }

    const MenuEntry *lidEntry() const {
        for (const MenuEntry &entry : m_item->menu.entries) {
            if (entry.action == MenuAction::ToggleLidSleep)
                return &entry;
        }
        return nullptr;
    }
    int menuBuilds() const { return int(m_item->calls.count(QStringLiteral("menu"))); }

    InhibitorBus m_bus;
    QTemporaryDir m_dir;
    QTemporaryDir m_emptySysfs;
    FakePlatform m_fake;
    LinuxPowerAssertions m_assertions{m_bus.mock.connection(), m_bus.mock.connection()};
    LinuxPowerSourceInfo m_powerSource{m_bus.mock.connection(), m_emptySysfs.path()};
    UPowerPowerSourceInfo m_probe{m_bus.mock.connection()};
    FreedesktopNotifier m_notifier{m_bus.mock.connection()};
    int m_changes = 0;
    std::unique_ptr<IniSettingsStore> m_settings;
    std::unique_ptr<AppDelegate> m_delegate;
    FakeStatusItem *m_item = nullptr;
};

TEST_F(PowerChanges, SwitchingDuringAPeriodRetakesTheLockWithTheOtherKind) {
    ASSERT_TRUE(m_item->choose(QStringLiteral("1 小時")));
    ASSERT_TRUE(waitUntil([&] { return m_delegate->isRunning(); }));
    EXPECT_TRUE(m_bus.waitForWhats({QStringLiteral("idle:sleep")}));

    ASSERT_TRUE(m_item->choose(kLidItem));
    EXPECT_EQ(m_fake.alerts.shown, QList<Alert>{kExplanation});
    EXPECT_TRUE(m_bus.waitForWhats({QStringLiteral("idle:sleep:handle-lid-switch")}));
    EXPECT_EQ(m_settings->boolValue(SettingsKeys::lidSleepEnabled), true);
    EXPECT_TRUE(lidEntry()->checked);

    ASSERT_TRUE(m_item->choose(kLidItem));
    EXPECT_TRUE(m_bus.waitForWhats({QStringLiteral("idle:sleep")}));
    EXPECT_EQ(m_settings->boolValue(SettingsKeys::lidSleepEnabled), false);
    EXPECT_EQ(m_fake.alerts.shown.size(), 1);

    ASSERT_TRUE(m_item->choose(QStringLiteral("結束防睡眠")));
    EXPECT_TRUE(m_bus.waitForWhats({}));

    // The switch survives a new launch, which takes no lock; the explanation is never repeated.
    ASSERT_TRUE(m_item->choose(kLidItem));
    launch();
    EXPECT_TRUE(lidEntry()->checked);
    EXPECT_FALSE(m_delegate->isRunning());
    EXPECT_TRUE(m_bus.waitForWhats({}));
    ASSERT_TRUE(m_item->choose(kLidItem));
    ASSERT_TRUE(m_item->choose(kLidItem));
    EXPECT_EQ(m_fake.alerts.shown.size(), 1);
    EXPECT_EQ(m_settings->boolValue(SettingsKeys::hasShownLidWakeExplanation), true);
}

TEST_F(PowerChanges, TheWarningFollowsMainsPowerWhileAPeriodRuns) {
    ASSERT_TRUE(m_item->choose(kLidItem));
    // No period: pulling the plug is only noted.
    int builds = menuBuilds();
    onBattery(true);
    EXPECT_FALSE(m_delegate->lidMode().isOnACPower());
    EXPECT_EQ(menuBuilds(), builds);

    ASSERT_TRUE(m_item->choose(QStringLiteral("1 小時")));
    ASSERT_TRUE(waitUntil([&] { return m_delegate->isRunning(); }));
    EXPECT_TRUE(m_bus.waitForWhats({QStringLiteral("idle:sleep:handle-lid-switch")}));
    EXPECT_EQ(m_item->toolTip,
              QStringLiteral("Korvella・防睡眠中・剩 1 小時 ⚠️ 電源已拔除"));
    EXPECT_EQ(lidEntry()->title, kLidItemAtRisk);

    onBattery(false);
    EXPECT_FALSE(m_delegate->lidWakeAtRisk());
    EXPECT_EQ(m_item->toolTip, QStringLiteral("Korvella・防睡眠中・剩 1 小時"));
    EXPECT_EQ(lidEntry()->title, kLidItem);

    // A notification that leaves mains power as it was rebuilds nothing: after it, pulling the
    // plug costs exactly one rebuild. Signals arrive in order, so the first was handled.
    builds = menuBuilds();
    onBattery(false);
    onBattery(true);
    EXPECT_TRUE(m_delegate->lidWakeAtRisk());
    EXPECT_EQ(menuBuilds(), builds + 1);
    EXPECT_EQ(lidEntry()->title, kLidItemAtRisk);

    // Ending the period ends the warning; a new one on battery starts with it.
    m_delegate->session().stop();
    EXPECT_FALSE(m_delegate->lidWakeAtRisk());
    EXPECT_EQ(lidEntry()->title, kLidItem);
    ASSERT_TRUE(m_item->choose(QStringLiteral("1 小時")));
    ASSERT_TRUE(waitUntil([&] { return m_delegate->isRunning(); }));
    EXPECT_TRUE(m_delegate->lidWakeAtRisk());

    // Switching off clears the warning at once; the period goes on with the weaker lock.
    ASSERT_TRUE(m_item->choose(kLidItemAtRisk));
    EXPECT_FALSE(m_delegate->lidWakeAtRisk());
    EXPECT_EQ(m_item->toolTip, QStringLiteral("Korvella・防睡眠中・剩 1 小時"));
    EXPECT_TRUE(m_delegate->isRunning());
    EXPECT_TRUE(m_bus.waitForWhats({QStringLiteral("idle:sleep")}));

    m_delegate->quit();
    EXPECT_TRUE(m_bus.waitForWhats({}));
}

TEST_F(PowerChanges, UnplugEndsThePeriodOnlyWhenChosenAndTheLidWarningStays) {
    m_settings->setBool(SettingsKeys::lidSleepEnabled, true);
    m_delegate->lidMode().load();
    ASSERT_TRUE(runsAfterChoosing(60));
    onBattery(true);
    EXPECT_TRUE(m_delegate->isRunning()) << "off by default";
    EXPECT_TRUE(m_delegate->lidWakeAtRisk());

    onBattery(false);
    m_settings->setBool(SettingsKeys::stopOnUnplug, true);
    onBattery(true);
    EXPECT_FALSE(m_delegate->isRunning());
    EXPECT_TRUE(m_bus.waitForWhats({}));
    EXPECT_EQ(m_item->toolTip, "Korvella・防睡眠已自動結束・電源已拔除");
    ASSERT_TRUE(runsAfterChoosing(30));
    EXPECT_TRUE(m_item->toolTip.startsWith("Korvella・防睡眠中")) << qPrintable(m_item->toolTip);
}

// Only a fall below the threshold seen on battery during the period counts, or an unplug below.
TEST_F(PowerChanges, BatteryRuleActsOnACrossingDuringThePeriod) {
    m_settings->setInteger(SettingsKeys::stopBelowBatteryPercent, 20);
    onBattery(true);
    charge(19);
    ASSERT_TRUE(runsAfterChoosing(0));
    charge(18);
    EXPECT_TRUE(m_delegate->isRunning()) << "started below the threshold";
    charge(25);
    charge(19);
    EXPECT_FALSE(m_delegate->isRunning());
    EXPECT_EQ(m_item->toolTip, "Korvella・防睡眠已自動結束・電量低於 20%");

    onBattery(false);
    ASSERT_TRUE(runsAfterChoosing(0));
    charge(18);
    EXPECT_TRUE(m_delegate->isRunning()) << "on mains";
    onBattery(true);
    EXPECT_FALSE(m_delegate->isRunning());
}

TEST_F(PowerChanges, APeriodThatEndsByItselfSaysWhyOnceWhenAsked) {
    const auto runOneMinute = [&] {
        ASSERT_TRUE(runsAfterChoosing(1));
        m_fake.clock.advanceSeconds(60);
        m_delegate->countdownTick();
        ASSERT_FALSE(m_delegate->isRunning());
    };
    runOneMinute(); // not asked for: no notice
    m_settings->setBool(SettingsKeys::notifyWhenEnded, true);
    ASSERT_TRUE(runsAfterChoosing(1));
    m_delegate->session().stop(); // stopped by the user: no notice
    runOneMinute();
    // Calls on one connection arrive in order: a notice of the first period would come first.
    ASSERT_TRUE(waitUntil([&] { return !notices().isEmpty(); }));
    ASSERT_EQ(notices().size(), 1);
    const QVariantList notice = notices().value(0); // app, replaced id, icon, summary, body…
    EXPECT_EQ(QVariantList({notice.value(0), notice.value(2), notice.value(4)}),
              QVariantList({"Korvella", "io.korvella.Korvella", "防睡眠已結束・時間到"}));
    ASSERT_TRUE(m_bus.mock.stopService(kNotices));
    runOneMinute();
    EXPECT_TRUE(m_fake.alerts.shown.isEmpty());
}
} // namespace
