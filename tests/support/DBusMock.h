#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>
#include <QVariantMap>

#include <memory>
#include <vector>

class QProcess;

// A private dbus-daemon with python-dbusmock services on it, for tests of D-Bus backends.
// The one private bus stands in for both the system and the session bus: hand connection()
// to a backend wherever it expects either, and environment() to a child process.
//
//     DBusMock bus;
//     ASSERT_TRUE(bus.startTemplate(QStringLiteral("logind"))) << bus.errorString();
//     ASSERT_TRUE(bus.startObject(name, path, iface)) << bus.errorString();
//     ASSERT_TRUE(bus.addMethod(name, path, iface, "Inhibit", "susu", "u", "ret = 7"));
//     ... exercise the backend on bus.connection() ...
//     bus.methodCalls(name, path, "Inhibit") -> the arguments of each call
//
// Every process it starts is stopped in the destructor (and, should the test process crash,
// is told to end with it), so nothing outlives the test and nothing else is touched.
class DBusMock final {
public:
    // Starts the daemon; isRunning() tells whether that worked, errorString() why not.
    DBusMock();
    ~DBusMock();
    DBusMock(const DBusMock &) = delete;
    DBusMock &operator=(const DBusMock &) = delete;

    bool isRunning() const { return m_connection.isConnected(); }
    QString address() const { return m_address; }
    // A connection of this test process to the private bus.
    QDBusConnection connection() const { return m_connection; }
    // The system environment with both bus addresses pointing at the private bus.
    QProcessEnvironment environment() const;
    // Why the last failed call failed, including the mock's own error output.
    QString errorString() const { return m_error; }

    // Starts `python3 -m dbusmock --template <name>`; `name` is a dbusmock template ("logind",
    // "upower", ...) or the path of a template file. Returns once the mock owns its bus name.
    bool startTemplate(const QString &name, const QVariantMap &parameters = {});
    // Starts a bare mock object; give it methods with addMethod().
    bool startObject(const QString &busName, const QString &path, const QString &interface);
    // Stops the mock that owns busName, as when a service goes away.
    bool stopService(const QString &busName);

    // dbusmock's AddMethod: `code` is Python that reads `args` and may assign `ret`, or raise
    // dbus.exceptions.DBusException to answer with an error.
    bool addMethod(const QString &busName, const QString &path, const QString &interface,
                   const QString &name, const QString &inSignature, const QString &outSignature,
                   const QString &code);
    // dbusmock's GetMethodCalls: the arguments of every call of `method`, oldest first.
    QList<QVariantList> methodCalls(const QString &busName, const QString &path,
                                    const QString &method);
    // Sets a property through org.freedesktop.DBus.Properties, as a client would; the mock
    // announces the change with PropertiesChanged.
    bool setProperty(const QString &busName, const QString &path, const QString &interface,
                     const QString &name, const QVariant &value);
    // Any other method of the mock's org.freedesktop.DBus.Mock interface (AddObject,
    // SetProperty, EmitSignal, template conveniences such as AddAC, ...).
    QDBusMessage callMock(const QString &busName, const QString &path, const QString &method,
                          const QVariantList &arguments = {});

private:
    struct Service {
        std::unique_ptr<QProcess> process;
        QString busName;
    };

    bool startDaemon();
    bool startMock(const QStringList &arguments, const QString &busName);
    QString nameOwnedBy(qint64 pid) const;
    static void stop(QProcess &process);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_daemon;
    std::vector<Service> m_services;
    QString m_address;
    QString m_connectionName;
    QDBusConnection m_connection;
    QString m_error;
};
