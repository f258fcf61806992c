// Keeping the screen on during a period, with the locks each desktop takes it through, against
// logind and session-service mocks on a private bus.
#include "platform/LinuxPowerAssertions.h"
#include "sleep/KeepAwakeSession.h"
#include "sleep/ScreenKeeper.h"
#include "tests/support/FakeAlertPresenter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSettingsStore.h"
#include "tests/support/InhibitorBus.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

namespace {
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

struct KeepScreenOnTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(bus.startLogind()); }
    bool holding(const QString &locks) {
        return waitUntil([&] { return assertions.heldLocks() == locks; });
    }

    InhibitorBus bus;
    FakeSettingsStore settings;
    FakeClock clock;
    FakeAlertPresenter alerts;
    LinuxPowerAssertions assertions{bus.mock.connection(), bus.mock.connection()};
    KeepAwakeSession session{assertions, clock, alerts};
    ScreenKeeper screen{session, assertions, settings};
};

TEST_F(KeepScreenOnTest, OnGnomeTheSessionIsAskedForIdleTooAndLogindListsIdle) {
    ASSERT_TRUE(bus.startGnome());
    session.start(60);
    ASSERT_TRUE(holding("logind sleep, GNOME session")) << "off by default";
    session.stop();
    ASSERT_TRUE(bus.waitForInhibitors({}));

    settings.setBool("keepScreenOn", true);
    session.start(60);
    ASSERT_TRUE(holding("logind sleep, GNOME session, logind idle + sleep, GNOME session + screen"))
        << qPrintable(assertions.heldLocks());
    const auto listed = [](const char *what) {
        return ListedInhibitor{what, "Korvella", "Korvella防睡眠中", "block-weak"};
    };
    EXPECT_EQ(bus.inhibitors(), QList({listed("sleep"), listed("idle:sleep")}));
    QList<quint32> flags;
    for (const QVariantList &call : bus.gnomeCalls("Inhibit"))
        flags << call.value(3).toUInt();
    EXPECT_EQ(flags, QList<quint32>({4, 4, 12}));
    settings.setBool("keepScreenOn", false); // switched off during the period: off at once
    screen.settingsChanged();
    EXPECT_TRUE(bus.waitForInhibitors({listed("sleep")}));
    session.stop();
    EXPECT_TRUE(bus.waitForInhibitors({}));
    EXPECT_TRUE(waitUntil([&] { return bus.gnomeCalls("Uninhibit").size() == 3; }));
}

TEST_F(KeepScreenOnTest, ElsewhereTheScreenSaverGetsItsCookieBack) {
    ASSERT_TRUE(bus.startPowerManagement());
    ASSERT_TRUE(bus.mock.startObject(kScreenSaver, kScreenSaverPath, kScreenSaver));
    ASSERT_TRUE(bus.mock.addMethod(kScreenSaver, kScreenSaverPath, kScreenSaver, "Inhibit", "ss",
                                   "u", "ret = 31"));
    ASSERT_TRUE(
        bus.mock.addMethod(kScreenSaver, kScreenSaverPath, kScreenSaver, "UnInhibit", "u", "", ""));
    settings.setBool("keepScreenOn", true);
    session.start(0);
    ASSERT_TRUE(holding("logind sleep, PowerManagement, logind idle + sleep, ScreenSaver"))
        << qPrintable(assertions.heldLocks());
    const auto calls = [&](const char *method) {
        return bus.mock.methodCalls(kScreenSaver, kScreenSaverPath, method);
    };
    EXPECT_EQ(calls("Inhibit"), QList<QVariantList>({{"Korvella", "Korvella防睡眠中"}}));
    session.stop();
    ASSERT_TRUE(waitUntil([&] { return !calls("UnInhibit").isEmpty(); }));
    EXPECT_EQ(calls("UnInhibit"), QList<QVariantList>({{QVariant::fromValue(quint32(31))}}));
}
} // namespace
