#include "platform/LinuxPowerAssertions.h"
#include "tests/support/InhibitorBus.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {
const QString kUserIdle = QStringLiteral("PreventUserIdleSystemSleep");
const QString kSystem = QStringLiteral("PreventSystemSleep");
const QString kReason = QStringLiteral("Korvella防睡眠中");
const QString kKorvella = QStringLiteral("Korvella");
constexpr int kLevelOn = 255;

ListedInhibitor inhibitor(const char *what, const char *mode = "block-weak") {
    return {QLatin1String(what), kKorvella, kReason, QLatin1String(mode)};
}

QVariantList gnomeInhibit() {
    return {kKorvella, QVariant::fromValue(quint32(0)), kReason, QVariant::fromValue(quint32(4))};
}

QVariantList cookie(quint32 value) {
    return {QVariant::fromValue(value)};
}

class LinuxPowerAssertionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.mock.isRunning()) << qPrintable(bus.mock.errorString());
    }

    InhibitorBus bus;
    LinuxPowerAssertions assertions{bus.mock.connection(), bus.mock.connection()};
};

TEST_F(LinuxPowerAssertionsTest, OnGnomeTakesSuspendOnlySessionLockAndLogindSleep) {
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(bus.startGnome());

    const auto id = assertions.create(kUserIdle, kLevelOn, kReason);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("sleep")});
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Inhibit")), QList<QVariantList>{gnomeInhibit()});

    assertions.release(*id);
    EXPECT_TRUE(bus.waitForInhibitors({}));
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Uninhibit")),
              QList<QVariantList>{cookie(InhibitorBus::kGnomeCookie)});
}

TEST_F(LinuxPowerAssertionsTest, OnPowerManagementDesktopSystemSleepAlsoHoldsTheLid) {
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(bus.startPowerManagement());

    const auto id = assertions.create(kSystem, kLevelOn, kReason);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("sleep:handle-lid-switch")});
    EXPECT_EQ(bus.powerManagementCalls(QStringLiteral("Inhibit")),
              (QList<QVariantList>{{kKorvella, kReason}}));

    assertions.release(*id);
    EXPECT_TRUE(bus.waitForInhibitors({}));
    EXPECT_EQ(bus.powerManagementCalls(QStringLiteral("UnInhibit")),
              QList<QVariantList>{cookie(InhibitorBus::kPowerManagementCookie)});

    // Once GNOME's session manager is there as well, it is the one asked.
    ASSERT_TRUE(bus.startGnome());
    ASSERT_TRUE(assertions.create(kUserIdle, kLevelOn, kReason).has_value());
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Inhibit")).size(), 1);
    EXPECT_EQ(bus.powerManagementCalls(QStringLiteral("Inhibit")).size(), 1);
}

TEST_F(LinuxPowerAssertionsTest, WithoutSessionInhibitorLogindAlsoHoldsIdle) {
    ASSERT_TRUE(bus.startLogind());

    const auto userIdle = assertions.create(kUserIdle, kLevelOn, kReason);
    const auto system = assertions.create(kSystem, kLevelOn, kReason);
    ASSERT_TRUE(userIdle.has_value());
    ASSERT_TRUE(system.has_value());
    EXPECT_EQ(*userIdle, 1u);
    EXPECT_EQ(*system, 2u);
    EXPECT_EQ(bus.inhibitors(),
              (QList{inhibitor("idle:sleep"), inhibitor("idle:sleep:handle-lid-switch")}));

    // Each assertion gives up only its own lock.
    assertions.release(*userIdle);
    EXPECT_TRUE(bus.waitForInhibitors({inhibitor("idle:sleep:handle-lid-switch")}));
    assertions.release(*system);
    EXPECT_TRUE(bus.waitForInhibitors({}));
}

TEST_F(LinuxPowerAssertionsTest, OlderLogindRejectingBlockWeakGetsBlock) {
    const QVariantMap oldSystemd{{QStringLiteral("RejectedModes"), QStringList{"block-weak"}}};
    ASSERT_TRUE(bus.startLogind(oldSystemd));

    const auto id = assertions.create(kSystem, kLevelOn, kReason);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("idle:sleep:handle-lid-switch", "block")});
    const auto calls = bus.logindCalls(QStringLiteral("Inhibit"));
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].value(3).toString(), QStringLiteral("block-weak"));
    EXPECT_EQ(calls[1].value(3).toString(), QStringLiteral("block"));

    assertions.release(*id);
    EXPECT_TRUE(bus.waitForInhibitors({}));
}

TEST_F(LinuxPowerAssertionsTest, RefusedLogindIsAskedOnceAndSessionLockStillHolds) {
    ASSERT_TRUE(bus.startLogind({{QStringLiteral("Denied"), true}}));
    ASSERT_TRUE(bus.startGnome());

    const auto id = assertions.create(kUserIdle, kLevelOn, kReason);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(bus.logindCalls(QStringLiteral("Inhibit")).size(), 1);
    EXPECT_TRUE(bus.inhibitors().isEmpty());

    assertions.release(*id);
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Uninhibit")),
              QList<QVariantList>{cookie(InhibitorBus::kGnomeCookie)});
}

TEST_F(LinuxPowerAssertionsTest, FailsWhenNoLockCouldBeTakenOrTheTypeIsUnknown) {
    EXPECT_FALSE(assertions.create(kUserIdle, kLevelOn, kReason).has_value()) << "empty bus";

    ASSERT_TRUE(bus.startLogind({{QStringLiteral("Denied"), true}}));
    EXPECT_FALSE(assertions.create(kSystem, kLevelOn, kReason).has_value()) << "logind refuses";
    EXPECT_FALSE(assertions.create(QStringLiteral("PreventDiskIdle"), kLevelOn, kReason));
    EXPECT_FALSE(assertions.create(kUserIdle, 0, kReason));
    EXPECT_EQ(bus.logindCalls(QStringLiteral("Inhibit")).size(), 1) << "only the known type asks";

    LinuxPowerAssertions disconnected{QDBusConnection(QStringLiteral("none")),
                                      QDBusConnection(QStringLiteral("none"))};
    EXPECT_FALSE(disconnected.create(kUserIdle, kLevelOn, kReason).has_value()) << "no bus";
}

TEST_F(LinuxPowerAssertionsTest, HungSessionManagerCostsSecondsAndLogindStillHolds) {
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(bus.startGnome(QStringLiteral("import time; time.sleep(30); ret = 1")));

    QElapsedTimer elapsed;
    elapsed.start();
    const auto id = assertions.create(kUserIdle, kLevelOn, kReason);
    EXPECT_LT(elapsed.elapsed(), 15'000) << "one call timeout of 3 s, not the hung 30 s";
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("idle:sleep")});
}
} // namespace
