#include "tests/support/DBusMock.h"

#include <QDBusConnectionInterface>
#include <gtest/gtest.h>

// The fixture every D-Bus backend test stands on: if it leaks or misreports, those tests lie.
TEST(DBusMock, StartsServicesOnItsPrivateBusAndStopsThem) {
    QString address;
    {
        DBusMock bus;
        ASSERT_TRUE(bus.isRunning()) << bus.errorString().toStdString();
        address = bus.address();
        ASSERT_TRUE(bus.startTemplate(QStringLiteral("logind"))) << bus.errorString().toStdString();
        const QString name = QStringLiteral("org.example.Echo");
        const QString path = QStringLiteral("/org/example/Echo");
        ASSERT_TRUE(bus.startObject(name, path, name)) << bus.errorString().toStdString();
        ASSERT_TRUE(bus.addMethod(name, path, name, QStringLiteral("Twice"), QStringLiteral("u"),
                                  QStringLiteral("u"), QStringLiteral("ret = args[0] * 2")));

        QDBusMessage call =
            QDBusMessage::createMethodCall(name, path, name, QStringLiteral("Twice"));
        call << 21u;
        const QDBusMessage reply = bus.connection().call(call);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        EXPECT_EQ(reply.arguments().value(0).toUInt(), 42u);
        const auto calls = bus.methodCalls(name, path, QStringLiteral("Twice"));
        ASSERT_EQ(calls.size(), 1);
        EXPECT_EQ(calls[0].value(0).toUInt(), 21u);

        const auto names = bus.connection().interface()->registeredServiceNames().value();
        EXPECT_TRUE(names.contains(QStringLiteral("org.freedesktop.login1")));
        EXPECT_TRUE(bus.stopService(name));
        EXPECT_FALSE(bus.connection().interface()->isServiceRegistered(name).value());
    }
    const auto after = QDBusConnection::connectToBus(address, QStringLiteral("after"));
    EXPECT_FALSE(after.isConnected());
    QDBusConnection::disconnectFromBus(QStringLiteral("after"));
}
