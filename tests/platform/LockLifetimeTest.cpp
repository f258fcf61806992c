#include "tests/support/InhibitorBus.h"
#include "tests/support/WaitUntil.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>

namespace {
// A killed Korvella must not leave the machine held awake, not even through a program it
// started while holding the lock (a browser it opened, say).
TEST(LockLifetime, EveryLockDiesWithTheKilledProcessNotWithItsChildren) {
    InhibitorBus bus;
    ASSERT_TRUE(bus.mock.isRunning()) << qPrintable(bus.mock.errorString());
    ASSERT_TRUE(bus.startLogind());
    ASSERT_TRUE(bus.startGnome());

    QProcess holder;
    holder.start(QStringLiteral(KORVELLA_HOLD_LOCK),
                 {bus.mock.address(), QStringLiteral("PreventSystemSleep"),
                  QStringLiteral("/bin/sleep"), QStringLiteral("60")});
    ASSERT_TRUE(holder.waitForReadyRead(10000)) << qPrintable(holder.readAllStandardError());
    const QStringList held = QString::fromLocal8Bit(holder.readLine()).split(QLatin1Char(' '));
    ASSERT_EQ(held.value(0), QStringLiteral("held")) << qPrintable(held.join(QLatin1Char(' ')));
    const QString holderName = held.value(1);
    const pid_t grandchild = held.value(2).trimmed().toInt();
    ASSERT_GT(grandchild, 0);

    const ListedInhibitor lid{"sleep:handle-lid-switch", "Korvella", "Korvella防睡眠中",
                              "block-weak"};
    EXPECT_EQ(bus.inhibitors(), QList{lid});
    EXPECT_EQ(bus.gnomeCalls(QStringLiteral("Inhibit")).size(), 1);

    ::kill(holder.processId(), SIGKILL);
    holder.waitForFinished(3000);

    // logind's lock is the fd: it closes only if no other process got a copy.
    EXPECT_TRUE(bus.waitForInhibitors({}));
    // The desktop drops the session lock when the client's bus connection vanishes; that
    // happens only if no other process shares the connection.
    EXPECT_TRUE(waitUntil([&] {
        return !bus.mock.connection().interface()->isServiceRegistered(holderName).value();
    }));
    EXPECT_EQ(::kill(grandchild, 0), 0) << "the started program should outlive the holder";
    ::kill(grandchild, SIGKILL);
}
} // namespace
