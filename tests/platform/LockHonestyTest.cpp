// The keep-awake period on the real lock backends against logind and session-service mocks:
// the period is shown only while a lock holds, replaced locks leave no gap, and lost or late
// locks are dealt with.
#include "platform/LinuxPowerAssertions.h"
#include "sleep/KeepAwakeSession.h"
#include "tests/support/FakeAlertPresenter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/InhibitorBus.h"
#include "tests/support/WaitUntil.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLidWarning = QStringLiteral("⚠️ 闔蓋仍可能睡眠");

class LockHonestyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.mock.isRunning()) << qPrintable(bus.mock.errorString());
        // Every announced state must be backed by a lock the services really hold.
        QObject::connect(&session, &KeepAwakeSession::changed, [this] {
            if (session.isRunning() && assertions.heldLocks().isEmpty())
                ++shownWithoutLock;
        });
    }
    void TearDown() override { EXPECT_EQ(shownWithoutLock, 0); }

    ::testing::AssertionResult startHour() {
        session.start(60);
        if (waitUntil([&] { return session.isRunning(); }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the period did not start";
    }
    QStringList whats() {
        QStringList listed;
        for (const ListedInhibitor &inhibitor : bus.inhibitors())
            listed << inhibitor.what;
        return listed;
    }
    // As after a suspend during which logind lost track of our lock.
    void forgetAndResume() {
        bus.mock.callMock(kLogind, kLogindPath, QStringLiteral("ForgetInhibitors"));
        ASSERT_TRUE(whats().isEmpty());
        const QVariantList resumed{QStringLiteral("org.freedesktop.login1.Manager"),
                                   QStringLiteral("PrepareForSleep"), QStringLiteral("b"),
                                   QVariant::fromValue(QVariantList{false})};
        ASSERT_EQ(
            bus.mock.callMock(kLogind, kLogindPath, QStringLiteral("EmitSignal"), resumed).type(),
            QDBusMessage::ReplyMessage)
            << qPrintable(bus.mock.errorString());
    }

    InhibitorBus bus;
    LinuxPowerAssertions assertions{bus.mock.connection(), bus.mock.connection()};
    FakeClock clock;
    FakeAlertPresenter alerts;
    KeepAwakeSession session{assertions, clock, alerts};
    int shownWithoutLock = 0;
};

TEST_F(LockHonestyTest, ARefusedSwitchKeepsTheOldLockAndLosingAllEndsThePeriod) {
    ASSERT_TRUE(bus.startLogind({{QStringLiteral("AllowedCalls"), 1}}));
    ASSERT_TRUE(startHour());

    session.setLidMode(SleepPreventer::Mode::system, false);
    ASSERT_TRUE(waitUntil([&] { return alerts.shown.size() == 1; }));
    EXPECT_EQ(alerts.shown.first().informativeText,
              QStringLiteral("無法啟動防睡眠，請稍後再試一次。"));
    EXPECT_TRUE(session.isRunning());
    EXPECT_EQ(whats(), QStringList{QStringLiteral("idle:sleep")});
    EXPECT_EQ(session.heldLocks(), QStringLiteral("logind idle + sleep"));
    EXPECT_EQ(session.statusLineText(), QStringLiteral("防睡眠中・剩 1 小時 ") + kLidWarning);

    // Lost over a suspend and refused again: nothing holds, so the period is over.
    forgetAndResume();
    EXPECT_TRUE(waitUntil([&] { return !session.isRunning(); }));
    EXPECT_TRUE(session.heldLocks().isEmpty());
}

TEST_F(LockHonestyTest, TheLidWarningShowsUnlessLogindHoldsTheLidAndTheDesktopLeavesItAlone) {
    ASSERT_TRUE(
        bus.startLogind({{QStringLiteral("DeniedWhat"), QStringList{"handle-lid-switch"}}}));
    ASSERT_TRUE(bus.startGnome());
    session.setLidMode(SleepPreventer::Mode::system, false);
    ASSERT_TRUE(startHour());
    ASSERT_TRUE(waitUntil([&] { return bus.logindCalls(QStringLiteral("Inhibit")).size() == 1; }));
    EXPECT_EQ(session.heldLocks(), QStringLiteral("GNOME session"));
    EXPECT_TRUE(session.statusLineText().endsWith(kLidWarning))
        << qPrintable(session.statusLineText());

    session.stop();
    ASSERT_TRUE(bus.mock.stopService(kLogind));
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(startHour());
    ASSERT_TRUE(waitUntil([&] { return session.heldLocks().contains(u','); }));
    EXPECT_EQ(session.heldLocks(), QStringLiteral("logind sleep + lid, GNOME session"));
    EXPECT_EQ(session.statusLineText(), QStringLiteral("防睡眠中・剩 1 小時"));

    // A desktop power manager that acts on the lid itself overrides logind's lock.
    ASSERT_TRUE(bus.mock.startObject(QStringLiteral("org.xfce.PowerManager"),
                                     QStringLiteral("/org/xfce/PowerManager"),
                                     QStringLiteral("org.xfce.Power.Manager")));
    session.start(30);
    EXPECT_TRUE(waitUntil([&] { return session.statusLineText().endsWith(kLidWarning); }));
}

TEST_F(LockHonestyTest, AHungSessionServiceStallsNothingAndItsLateCookieGoesBack) {
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(bus.startGnome(QStringLiteral("import time; time.sleep(5); ret = 7")));
    QElapsedTimer elapsed;
    elapsed.start();
    session.start(60);
    qint64 servedAfterMs = -1;
    QTimer::singleShot(0, [&] { servedAfterMs = elapsed.elapsed(); });
    ASSERT_TRUE(waitUntil([&] { return servedAfterMs >= 0 && session.isRunning(); }));
    EXPECT_LT(servedAfterMs, 200);
    EXPECT_EQ(session.heldLocks(), QStringLiteral("logind sleep"));

    session.stop();
    EXPECT_TRUE(bus.waitForInhibitors({}));
    ASSERT_TRUE(
        waitUntil([&] { return !bus.gnomeCalls(QStringLiteral("Uninhibit")).isEmpty(); }, 15'000));
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Uninhibit")),
              QList<QVariantList>{{QVariant::fromValue(InhibitorBus::kGnomeCookie)}});
    EXPECT_TRUE(session.heldLocks().isEmpty());
}

// Polled while the lock kind and then the period are replaced: logind lists a lock every time.
TEST_F(LockHonestyTest, ReplacingLeavesALockListedAtEveryMoment) {
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(startHour());
    int emptyPolls = 0;
    const auto pollUntil = [&](const QStringList &settled) {
        return waitUntil([&] {
            const QStringList listed = whats();
            emptyPolls += listed.isEmpty() ? 1 : 0;
            return listed == settled;
        });
    };
    session.setLidMode(SleepPreventer::Mode::system, false);
    EXPECT_TRUE(pollUntil({QStringLiteral("idle:sleep:handle-lid-switch")}));
    session.start(30);
    EXPECT_TRUE(waitUntil([&] { return session.activeDurationMinutes() == 30; }));
    EXPECT_TRUE(pollUntil({QStringLiteral("idle:sleep:handle-lid-switch")}));
    EXPECT_EQ(emptyPolls, 0);
}

TEST_F(LockHonestyTest, LostLocksAreTakenAgainAfterResumeAndFromARestartedService) {
    ASSERT_TRUE(bus.startLogind({{QStringLiteral("AllowedCalls"), -1}}));
    ASSERT_TRUE(bus.startGnome());
    ASSERT_TRUE(startHour());
    ASSERT_TRUE(waitUntil([&] { return session.heldLocks().contains(u','); }));

    forgetAndResume();
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(waitUntil([&] { return whats() == QStringList{QStringLiteral("sleep")}; }, 2000));
    EXPECT_TRUE(session.isRunning());

    ASSERT_TRUE(bus.mock.stopService(InhibitorBus::kGnome));
    ASSERT_TRUE(bus.startGnome());
    // The new owner ends up holding exactly one of our cookies: any it granted to a call that was
    // overtaken went back.
    EXPECT_TRUE(waitUntil([&] {
        const auto granted = bus.gnomeCalls(QStringLiteral("Inhibit")).size();
        return granted > 0 && granted - bus.gnomeCalls(QStringLiteral("Uninhibit")).size() == 1;
    }));
    EXPECT_EQ(session.heldLocks(), QStringLiteral("logind sleep, GNOME session"));
}

// Services differ in the cookie's D-Bus type; it goes back as the type it came.
TEST_F(LockHonestyTest, SignedAndUnsignedCookiesGoBackWithTheirType) {
    ASSERT_TRUE(bus.startLogind({{QStringLiteral("Denied"), true}}));
    const QString path = QStringLiteral("/org/freedesktop/PowerManagement/Inhibit");
    const QString iface = QStringLiteral("org.freedesktop.PowerManagement.Inhibit");
    ASSERT_TRUE(bus.mock.startObject(InhibitorBus::kPowerManagement, path, iface));
    const QList<QPair<QString, QVariant>> cookies{{"i", -3}, {"u", 4'000'000'000u}};
    for (const auto &[type, cookie] : cookies) {
        ASSERT_TRUE(bus.mock.addMethod(InhibitorBus::kPowerManagement, path, iface, "Inhibit", "ss",
                                       type, "ret = " + cookie.toString()));
        ASSERT_TRUE(bus.mock.addMethod(InhibitorBus::kPowerManagement, path, iface, "UnInhibit",
                                       type, QString(), QString()));
        ASSERT_TRUE(startHour());
        EXPECT_EQ(session.heldLocks(), QStringLiteral("PowerManagement"));
        session.stop();
        ASSERT_TRUE(waitUntil(
            [&] { return !bus.powerManagementCalls(QStringLiteral("UnInhibit")).isEmpty(); }));
        const QVariant back = bus.powerManagementCalls(QStringLiteral("UnInhibit")).last().value(0);
        EXPECT_EQ(back.metaType(), cookie.metaType()) << qPrintable(type);
        EXPECT_EQ(back, cookie);
        ASSERT_TRUE(bus.mock.callMock(InhibitorBus::kPowerManagement, path, "ClearCalls").type() ==
                    QDBusMessage::ReplyMessage);
    }
}
} // namespace
