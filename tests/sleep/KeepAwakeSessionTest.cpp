// The period on its own: no widget, no status item; time comes from a fake clock.
#include "sleep/KeepAwakeSession.h"
#include "tests/support/FakeAlertPresenter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePowerAssertions.h"

#include <gtest/gtest.h>

namespace {
const QString kIdleLock = QStringLiteral("create PreventUserIdleSystemSleep 255 Korvella防睡眠中");
const QString kSystemLock = QStringLiteral("create PreventSystemSleep 255 Korvella防睡眠中");

class KeepAwakeSessionTest : public ::testing::Test {
protected:
    // One tick after `seconds` of real time.
    void tick(double seconds = 1.0, int count = 1) {
        for (int i = 0; i < count; ++i) {
            clock.advanceSeconds(seconds);
            session.countdownTick();
        }
    }

    FakePowerAssertions assertions;
    FakeClock clock;
    FakeAlertPresenter alerts;
    KeepAwakeSession session{assertions, clock, alerts};
    QList<int> changes; // one entry per changed()

    KeepAwakeSessionTest() {
        QObject::connect(&session, &KeepAwakeSession::changed, [this] { changes << 1; });
    }
};

TEST_F(KeepAwakeSessionTest, AnHourCountsDownAndEndsOnItsLastSecond) {
    ASSERT_TRUE(session.start(60));
    EXPECT_EQ(assertions.calls, QStringList{kIdleLock});
    EXPECT_EQ(session.activeDurationMinutes(), 60);
    EXPECT_EQ(session.statusLineText(), "防睡眠中・剩 1 小時");
    EXPECT_EQ(changes.size(), 1);

    tick(1.0, 61);
    EXPECT_EQ(session.statusLineText(), "防睡眠中・剩 59 分") << "59 min 59 s rounds up";
    tick(1.0, 3538);
    EXPECT_EQ(session.remainingSeconds(), 1);
    EXPECT_EQ(changes.size(), 1 + 3599) << "one change per tick";

    tick();
    EXPECT_FALSE(session.isRunning());
    EXPECT_EQ(session.activeDurationMinutes(), 0);
    EXPECT_FALSE(session.hasCountdownTimer());
    EXPECT_TRUE(assertions.held.isEmpty());
    EXPECT_EQ(changes.size(), 1 + 3600);
}

TEST_F(KeepAwakeSessionTest, LateAndEarlyTicksTakeOffTheTimeThatReallyPassed) {
    session.start(30);
    tick(30);
    EXPECT_EQ(session.remainingSeconds(), 1800 - 30);
    tick(0.2);
    EXPECT_EQ(session.remainingSeconds(), 1800 - 31) << "an early tick still takes one second";

    // Fractions are not lost: two ticks 1.5 s apart take three seconds in all.
    tick(1.0); // back in step after the early tick
    const qint64 before = session.remainingSeconds();
    tick(1.5, 2);
    EXPECT_EQ(before - session.remainingSeconds(), 3);

    // A suspend longer than the rest of the period ends it on the next tick.
    tick(3 * 3600);
    EXPECT_FALSE(session.isRunning());
    EXPECT_TRUE(assertions.held.isEmpty());
}

TEST_F(KeepAwakeSessionTest, StartingAgainReplacesThePeriodAndToggleEndsIt) {
    session.start(120);
    tick(1.0, 100);
    session.start(30);
    EXPECT_EQ(session.remainingSeconds(), 1800) << "restarts at full length";
    EXPECT_EQ(assertions.held.size(), 1);

    session.start(0);
    EXPECT_TRUE(session.isInfinite());
    EXPECT_FALSE(session.hasCountdownTimer());
    tick(7200);
    EXPECT_TRUE(session.isRunning()) << "a stray tick cannot end a period without limit";

    session.toggle();
    EXPECT_FALSE(session.isRunning());
    session.toggle();
    EXPECT_TRUE(session.isInfinite());
    session.stop();
    EXPECT_TRUE(assertions.held.isEmpty());
    EXPECT_EQ(assertions.calls.count(QStringLiteral("release 101")), 1);
}

TEST_F(KeepAwakeSessionTest, AFailedStartWarnsAndAnnouncesNothing) {
    assertions.failCreate = true;
    EXPECT_FALSE(session.start(30));
    const Alert warning{Alert::Style::Warning, "Korvella", "無法啟動防睡眠，請稍後再試一次。", {}};
    EXPECT_EQ(alerts.shown, QList<Alert>{warning});
    EXPECT_EQ(changes.size(), 0);

    // A refused replacement leaves the running period as it was, lock and countdown included.
    assertions.failCreate = false;
    session.start(60);
    assertions.failCreate = true;
    EXPECT_FALSE(session.start(30));
    EXPECT_EQ(alerts.shown.size(), 2);
    EXPECT_EQ(session.activeDurationMinutes(), 60);
    EXPECT_TRUE(session.hasCountdownTimer());
    EXPECT_EQ(assertions.held.keys(), QList<quint32>{102});
}

TEST_F(KeepAwakeSessionTest, TheLidModeSwitchesTheHeldKindAndTheWarning) {
    session.setRiskCheck([] { return true; }); // on battery; mains: the power-change tests
    session.setLidMode(SleepPreventer::Mode::system, true);
    EXPECT_FALSE(session.lidWakeAtRisk()) << "no period, no warning";
    session.start(30);
    EXPECT_EQ(assertions.calls, QStringList{kSystemLock});
    EXPECT_EQ(session.statusLineText(), "防睡眠中・剩 30 分 ⚠️ 電源已拔除");

    const int before = int(changes.size());
    session.setLidMode(SleepPreventer::Mode::system, true);
    EXPECT_EQ(changes.size(), before) << "nothing changed, nothing announced";
    session.setLidMode(SleepPreventer::Mode::system, false);
    EXPECT_EQ(session.statusLineText(), "防睡眠中・剩 30 分");
    session.setLidMode(SleepPreventer::Mode::userIdle, false);
    EXPECT_EQ(changes.size(), before + 2);
    EXPECT_EQ(assertions.calls, QStringList({kSystemLock, kIdleLock, "release 101"}));
    EXPECT_EQ(session.remainingSeconds(), 1800) << "the period goes on";
}
} // namespace
