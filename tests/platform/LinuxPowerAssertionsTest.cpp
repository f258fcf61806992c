#include "platform/LinuxPowerAssertions.h"
#include "tests/support/InhibitorBus.h"
#include "tests/support/WaitUntil.h"

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

    // Creates an assertion and waits until its services answered with `locks`.
    std::optional<quint32> take(const QString &type, const QString &locks) {
        const auto id = assertions.create(type, kLevelOn, kReason);
        const bool settled = waitUntil([&] { return assertions.heldLocks() == locks; });
        EXPECT_TRUE(settled) << assertions.heldLocks().toStdString();
        return id;
    }
    ::testing::AssertionResult failed(quint32 id) {
        if (waitUntil([&] { return assertions.state(id) == PowerAssertions::State::failed; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "still " << int(assertions.state(id));
    }

    InhibitorBus bus;
    LinuxPowerAssertions assertions{bus.mock.connection(), bus.mock.connection()};
};

TEST_F(LinuxPowerAssertionsTest, OnGnomeTakesSuspendOnlySessionLockAndLogindSleep) {
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(bus.startGnome());

    const auto id = take(kUserIdle, "logind sleep, GNOME session");
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("sleep")});
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Inhibit")), QList<QVariantList>{gnomeInhibit()});

    assertions.release(*id);
    EXPECT_TRUE(bus.waitForInhibitors({}));
    EXPECT_TRUE(waitUntil([&] { return !bus.gnomeCalls(QStringLiteral("Uninhibit")).isEmpty(); }));
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Uninhibit")),
              QList<QVariantList>{cookie(InhibitorBus::kGnomeCookie)});
}

TEST_F(LinuxPowerAssertionsTest, OnPowerManagementDesktopSystemSleepAlsoHoldsTheLid) {
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(bus.startPowerManagement());

    const auto id = take(kSystem, "logind sleep + lid, PowerManagement");
    ASSERT_TRUE(id.has_value());
    EXPECT_TRUE(assertions.holdsLidClosed(*id));
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("sleep:handle-lid-switch")});
    EXPECT_EQ(bus.powerManagementCalls(QStringLiteral("Inhibit")),
              (QList<QVariantList>{{kKorvella, kReason}}));

    assertions.release(*id);
    EXPECT_TRUE(bus.waitForInhibitors({}));
    EXPECT_TRUE(waitUntil(
        [&] { return !bus.powerManagementCalls(QStringLiteral("UnInhibit")).isEmpty(); }));
    EXPECT_EQ(bus.powerManagementCalls(QStringLiteral("UnInhibit")),
              QList<QVariantList>{cookie(InhibitorBus::kPowerManagementCookie)});

    // Once GNOME's session manager is there as well, it is the one asked.
    ASSERT_TRUE(bus.startGnome());
    ASSERT_TRUE(take(kUserIdle, "logind sleep, GNOME session").has_value());
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Inhibit")).size(), 1);
    EXPECT_EQ(bus.powerManagementCalls(QStringLiteral("Inhibit")).size(), 1);
}

TEST_F(LinuxPowerAssertionsTest, WithoutSessionInhibitorLogindAlsoHoldsIdle) {
    ASSERT_TRUE(bus.startLogind());

    const auto userIdle = take(kUserIdle, "logind idle + sleep");
    const auto system = take(kSystem, "logind idle + sleep, logind idle + sleep + lid");
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

    const auto id = take(kSystem, "logind idle + sleep + lid");
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

    const auto id = take(kUserIdle, "GNOME session");
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(bus.logindCalls(QStringLiteral("Inhibit")).size(), 1);
    EXPECT_TRUE(bus.inhibitors().isEmpty());

    assertions.release(*id);
    EXPECT_TRUE(waitUntil([&] { return !bus.gnomeCalls(QStringLiteral("Uninhibit")).isEmpty(); }));
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Uninhibit")),
              QList<QVariantList>{cookie(InhibitorBus::kGnomeCookie)});
}

TEST_F(LinuxPowerAssertionsTest, FailsWhenNoLockCouldBeTakenOrTheTypeIsUnknown) {
    EXPECT_TRUE(failed(*assertions.create(kUserIdle, kLevelOn, kReason))) << "empty bus";

    ASSERT_TRUE(bus.startLogind({{QStringLiteral("Denied"), true}}));
    EXPECT_TRUE(failed(*assertions.create(kSystem, kLevelOn, kReason))) << "logind refuses";
    EXPECT_FALSE(assertions.create(QStringLiteral("PreventDiskIdle"), kLevelOn, kReason));
    EXPECT_FALSE(assertions.create(kUserIdle, 0, kReason));
    EXPECT_EQ(bus.logindCalls(QStringLiteral("Inhibit")).size(), 1) << "only the known type asks";

    LinuxPowerAssertions disconnected{QDBusConnection(QStringLiteral("none")),
                                      QDBusConnection(QStringLiteral("none"))};
    const auto id = disconnected.create(kUserIdle, kLevelOn, kReason);
    EXPECT_EQ(disconnected.state(*id), PowerAssertions::State::failed) << "no bus, known at once";
}
} // namespace
