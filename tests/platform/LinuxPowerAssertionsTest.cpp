// The lock backends against logind and session-service mocks on a private bus: alone, and under
// a keep-awake period, which is shown only while a lock holds; replaced locks leave no gap, and
// lost or late locks are dealt with.
#include "platform/LinuxPowerAssertions.h"
#include "sleep/KeepAwakeSession.h"
#include "sleep/ScreenKeeper.h"
#include "tests/support/FakeAlertPresenter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSettingsStore.h"
#include "tests/support/InhibitorBus.h"
#include "tests/support/WaitUntil.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace {
const QString kUserIdle = QStringLiteral("PreventUserIdleSystemSleep");
const QString kSystem = QStringLiteral("PreventSystemSleep");
const QString kReason = QStringLiteral("Korvella防睡眠中");
const QString kKorvella = QStringLiteral("Korvella");
const QString kLidWarning = QStringLiteral("⚠️ 闔蓋仍可能睡眠");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
constexpr int kLevelOn = 255;

ListedInhibitor inhibitor(const char *what, const char *mode = "block-weak") {
    return {QLatin1String(what), kKorvella, kReason, QLatin1String(mode)};
}

class LinuxPowerAssertionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.mock.isRunning()) << qPrintable(bus.mock.errorString());
    }

    bool holding(const QString &locks) {
        return waitUntil([&] { return assertions.heldLocks() == locks; });
    }
    // Creates an assertion and waits until its services answered with `locks`.
    quint32 take(const QString &type, const QString &locks) {
        const auto id = assertions.create(type, kLevelOn, kReason);
        EXPECT_TRUE(holding(locks) && id) << assertions.heldLocks().toStdString();
        return id.value_or(0);
    }
    // Waits until logind lists nothing and `method` of a session service got `cookie` back, as
    // the D-Bus type it was handed out with.
    template <typename Calls>
    void cookieBack(Calls calls, const char *method, const QVariant &cookie, int ms = 5000) {
        EXPECT_TRUE(bus.waitForInhibitors({}));
        EXPECT_TRUE(waitUntil([&] { return !(bus.*calls)(QLatin1String(method)).isEmpty(); }, ms));
        const QList<QVariantList> back = (bus.*calls)(QLatin1String(method));
        EXPECT_EQ(back, QList<QVariantList>{{cookie}});
        EXPECT_EQ(back.value(0).value(0).metaType(), cookie.metaType());
    }
    QVariant gnomeCookie() const { return QVariant::fromValue(InhibitorBus::kGnomeCookie); }
    ::testing::AssertionResult failed(quint32 id) {
        if (waitUntil([&] { return assertions.state(id) == PowerAssertions::State::failed; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "still " << int(assertions.state(id));
    }

    InhibitorBus bus;
    LinuxPowerAssertions assertions{bus.mock.connection(), bus.mock.connection()};
};

// Without a session inhibitor logind holds idle too; a PowerManagement desktop gets system sleep
// with the lid, and GNOME's session manager, asked first, is told to block suspend only.
TEST_F(LinuxPowerAssertionsTest, EachDesktopGetsItsLocksAndEachAssertionGivesBackOnlyItsOwn) {
    ASSERT_TRUE(bus.startLogind());
    const auto userIdle = take(kUserIdle, "logind idle + sleep");
    const auto system = take(kSystem, "logind idle + sleep, logind idle + sleep + lid");
    EXPECT_EQ(bus.inhibitors(),
              (QList{inhibitor("idle:sleep"), inhibitor("idle:sleep:handle-lid-switch")}));
    assertions.release(userIdle);
    EXPECT_TRUE(bus.waitForInhibitors({inhibitor("idle:sleep:handle-lid-switch")}));
    assertions.release(system);
    EXPECT_TRUE(bus.waitForInhibitors({}));

    ASSERT_TRUE(bus.startPowerManagement());
    const auto lid = take(kSystem, "logind sleep + lid, PowerManagement");
    EXPECT_TRUE(assertions.holdsLidClosed(lid));
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("sleep:handle-lid-switch")});
    EXPECT_EQ(bus.powerManagementCalls(QStringLiteral("Inhibit")),
              (QList<QVariantList>{{kKorvella, kReason}}));
    assertions.release(lid);
    EXPECT_TRUE(bus.waitForInhibitors({}));

    ASSERT_TRUE(bus.startGnome());
    const auto id = take(kUserIdle, "logind sleep, GNOME session");
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("sleep")});
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Inhibit")),
              (QList<QVariantList>{{kKorvella, 0u, kReason, 4u}}));
    EXPECT_EQ(bus.powerManagementCalls(QStringLiteral("Inhibit")).size(), 1);
    assertions.release(id);
    cookieBack(&InhibitorBus::gnomeCalls, "Uninhibit", gnomeCookie());
}

TEST_F(LinuxPowerAssertionsTest, FailsWhenNoLockCouldBeTakenAndHoldsWhenOneCould) {
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

    // A refusing logind is asked once; the session service's lock alone holds.
    ASSERT_TRUE(bus.startGnome());
    take(kUserIdle, "GNOME session");
    EXPECT_EQ(bus.logindCalls(QStringLiteral("Inhibit")).size(), 2);
}

// Runs only as the child of the test below: takes a system-sleep lock on the bus it is given,
// starts a program that must not inherit it, reports "held <bus name> <program's pid>" and
// waits to be killed.
TEST(LockHolderChild, DISABLED_HoldsUntilKilled) {
    const QString address = qEnvironmentVariable("KORVELLA_LOCK_CHILD_BUS");
    if (address.isEmpty())
        GTEST_SKIP() << "runs only as a child process";
    const QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("holder"));
    LinuxPowerAssertions assertions(bus, bus);
    const quint32 id = assertions.create(kSystem, kLevelOn, kReason).value_or(0);
    waitUntil([&] { return assertions.state(id) != PowerAssertions::State::pending; }, 10'000);
    ASSERT_EQ(assertions.state(id), PowerAssertions::State::held);
    qint64 pid = 0;
    ASSERT_TRUE(QProcess::startDetached(QStringLiteral("/bin/sleep"), {"60"}, QString(), &pid));
    std::printf("held %s %lld\n", qPrintable(bus.baseService()), pid);
    std::fflush(stdout);
    QCoreApplication::exec();
}

// A killed Korvella must not leave the machine held awake, not even through a program it
// started while holding the lock (a browser it opened, say).
TEST_F(LinuxPowerAssertionsTest, EveryLockDiesWithTheKilledProcessNotWithItsChildren) {
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(bus.startGnome());
    QTemporaryDir tmp; // the child's own temporary folder, left behind by the kill
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KORVELLA_LOCK_CHILD_BUS"), bus.mock.address());
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    QProcess holder;
    holder.setProcessEnvironment(env);
    holder.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_also_run_disabled_tests"),
                  QStringLiteral("--gtest_filter=LockHolderChild.*")});
    QByteArray line;
    while (!line.startsWith("held ") && (holder.canReadLine() || holder.waitForReadyRead(10000)))
        line = holder.readLine();
    const QStringList held = QString::fromLocal8Bit(line).trimmed().split(QLatin1Char(' '));
    ASSERT_EQ(held.size(), 3) << line.constData() << holder.readAll().constData();
    const pid_t grandchild = held[2].toInt();
    ASSERT_GT(grandchild, 0);
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("sleep:handle-lid-switch")});
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Inhibit")).size(), 1);

    ::kill(holder.processId(), SIGKILL);
    holder.waitForFinished(3000);
    // logind's lock is the fd: it closes only if no other process got a copy.
    EXPECT_TRUE(bus.waitForInhibitors({}));
    // The desktop drops the session lock when the client's bus connection vanishes; that
    // happens only if no other process shares the connection.
    EXPECT_TRUE(waitUntil(
        [&] { return !bus.mock.connection().interface()->isServiceRegistered(held[1]).value(); }));
    EXPECT_EQ(::kill(grandchild, 0), 0) << "the started program should outlive the holder";
    ::kill(grandchild, SIGKILL);
}

class LockHonestyTest : public LinuxPowerAssertionsTest {
protected:
    void SetUp() override {
        LinuxPowerAssertionsTest::SetUp();
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
    // As after a suspend during which logind lost track of our lock.
    void forgetAndResume() {
        const QString logind = QStringLiteral("org.freedesktop.login1");
        const QString path = QStringLiteral("/org/freedesktop/login1");
        bus.mock.callMock(logind, path, QStringLiteral("ForgetInhibitors"));
        ASSERT_TRUE(bus.whats().isEmpty());
        const QVariantList resumed{QStringLiteral("org.freedesktop.login1.Manager"),
                                   QStringLiteral("PrepareForSleep"), QStringLiteral("b"),
                                   QVariant::fromValue(QVariantList{false})};
        ASSERT_EQ(bus.mock.callMock(logind, path, QStringLiteral("EmitSignal"), resumed).type(),
                  QDBusMessage::ReplyMessage)
            << qPrintable(bus.mock.errorString());
    }

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
    EXPECT_EQ(bus.whats(), QStringList{QStringLiteral("idle:sleep")});
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
    ASSERT_TRUE(bus.mock.stopService(QStringLiteral("org.freedesktop.login1")));
    // An older logind, which rejects block-weak, gets block.
    ASSERT_TRUE(bus.startLogind({{QStringLiteral("RejectedModes"), QStringList{"block-weak"}}}));
    ASSERT_TRUE(startHour());
    ASSERT_TRUE(waitUntil([&] { return session.heldLocks().contains(u','); }));
    EXPECT_EQ(session.heldLocks(), QStringLiteral("logind sleep + lid, GNOME session"));
    EXPECT_EQ(bus.inhibitors(), QList{inhibitor("sleep:handle-lid-switch", "block")});
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
    cookieBack(&InhibitorBus::gnomeCalls, "Uninhibit", gnomeCookie(), 15'000);
    EXPECT_TRUE(session.heldLocks().isEmpty());
}

// Polled while the lock kind and then the period are replaced: logind lists a lock every time.
TEST_F(LockHonestyTest, ReplacingLeavesALockListedAtEveryMoment) {
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(startHour());
    int emptyPolls = 0;
    const auto pollUntil = [&](const QStringList &settled) {
        return waitUntil([&] {
            const QStringList listed = bus.whats();
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
    EXPECT_TRUE(
        waitUntil([&] { return bus.whats() == QStringList{QStringLiteral("sleep")}; }, 2000));
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
        SCOPED_TRACE(type.toStdString());
        ASSERT_TRUE(bus.mock.addMethod(InhibitorBus::kPowerManagement, path, iface, "Inhibit", "ss",
                                       type, "ret = " + cookie.toString()));
        ASSERT_TRUE(bus.mock.addMethod(InhibitorBus::kPowerManagement, path, iface, "UnInhibit",
                                       type, QString(), QString()));
        ASSERT_TRUE(startHour());
        EXPECT_EQ(session.heldLocks(), QStringLiteral("PowerManagement"));
        session.stop();
        cookieBack(&InhibitorBus::powerManagementCalls, "UnInhibit", cookie);
        ASSERT_TRUE(bus.mock.callMock(InhibitorBus::kPowerManagement, path, "ClearCalls").type() ==
                    QDBusMessage::ReplyMessage);
    }
}

// Keeping the screen on takes one more lock for the period, through each desktop's own service.
class KeepScreenOnTest : public LockHonestyTest {
protected:
    void SetUp() override {
        LockHonestyTest::SetUp();
        ASSERT_TRUE(bus.startLogind());
    }

    FakeSettingsStore settings;
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
    EXPECT_EQ(bus.inhibitors(), QList({inhibitor("sleep"), inhibitor("idle:sleep")}));
    QList<quint32> flags;
    for (const QVariantList &call : bus.gnomeCalls("Inhibit"))
        flags << call.value(3).toUInt();
    EXPECT_EQ(flags, QList<quint32>({4, 4, 12}));
    settings.setBool("keepScreenOn", false); // switched off during the period: off at once
    screen.settingsChanged();
    EXPECT_TRUE(bus.waitForInhibitors({inhibitor("sleep")}));
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
