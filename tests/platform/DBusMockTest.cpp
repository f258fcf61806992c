#include "tests/support/DBusMock.h"

#include <QDBusConnectionInterface>
#include <gtest/gtest.h>

// The fixture every D-Bus backend test stands on must leave nothing behind. (Its method mocks
// and call records are exercised by the backend tests, which check exact calls and replies.)
TEST(DBusMock, StartsServicesOnItsPrivateBusAndStopsThem) {
    QString address;
    {
        DBusMock bus;
        ASSERT_TRUE(bus.isRunning()) << bus.errorString().toStdString();
        address = bus.address();
        ASSERT_TRUE(bus.startTemplate(QStringLiteral("logind"))) << bus.errorString().toStdString();
        const QString name = QStringLiteral("org.example.Echo");
        ASSERT_TRUE(bus.startObject(name, QStringLiteral("/org/example/Echo"), name))
            << bus.errorString().toStdString();
        const auto names = bus.connection().interface()->registeredServiceNames().value();
        EXPECT_TRUE(names.contains(QStringLiteral("org.freedesktop.login1")));
        EXPECT_TRUE(names.contains(name));
        EXPECT_TRUE(bus.stopService(name));
        EXPECT_FALSE(bus.connection().interface()->isServiceRegistered(name).value());
        EXPECT_FALSE(bus.stopService(name)) << "nothing left to stop";
    }
    const auto after = QDBusConnection::connectToBus(address, QStringLiteral("after"));
    EXPECT_FALSE(after.isConnected()) << "the daemon ended with the fixture";
    QDBusConnection::disconnectFromBus(QStringLiteral("after"));
}
