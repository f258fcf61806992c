#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>
#include <vector>

class QProcess;

// A private dbus-daemon with python-dbusmock services on it. The one bus stands in for both the
// system and the session bus: hand connection() to a backend, environment() to a child process.
// Everything it starts is stopped in the destructor, or with the test process should it crash.
class DBusMock final {
public:
    DBusMock(); // isRunning() tells whether the daemon started, errorString() why not
    ~DBusMock();
    DBusMock(const DBusMock &) = delete;
    DBusMock &operator=(const DBusMock &) = delete;

    bool isRunning() const { return m_connection.isConnected(); }
    QString address() const { return m_address; }
    QDBusConnection connection() const { return m_connection; }
    // The system environment with both bus addresses pointing at the private bus.
    QProcessEnvironment environment() const;
    // Why the last failed call failed, with the mock's own error output.
    QString errorString() const { return m_error; }

    // `python3 -m dbusmock --template <name>` (a dbusmock template or a template file); returns
    // once the mock owns its bus name.
    bool startTemplate(const QString &name, const QVariantMap &parameters = {});
    // A bare mock object; give it methods with addMethod().
    bool startObject(const QString &busName, const QString &path, const QString &interface);
    // Stops the mock that owns busName, as when a service goes away.
    bool stopService(const QString &busName);

    // `code` is Python that reads `args` and may assign `ret` or raise a DBusException.
    bool addMethod(const QString &busName, const QString &path, const QString &interface,
                   const QString &name, const QString &inSignature, const QString &outSignature,
                   const QString &code);
    // The arguments of every call of `method`, oldest first.
    QList<QVariantList> methodCalls(const QString &busName, const QString &path,
                                    const QString &method);
    // Sets a property as a client would; the mock announces it with PropertiesChanged.
    bool setProperty(const QString &busName, const QString &path, const QString &interface,
                     const QString &name, const QVariant &value);
    // Any other method of the mock's org.freedesktop.DBus.Mock interface.
    QDBusMessage callMock(const QString &busName, const QString &path, const QString &method,
                          const QVariantList &arguments = {});

private:
    bool startMock(const QStringList &arguments, const QString &busName);
    QDBusMessage call(const QDBusMessage &message);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_daemon;
    std::vector<std::pair<std::unique_ptr<QProcess>, QString>> m_services; // with the name owned
    QString m_address;
    QDBusConnection m_connection{QString()};
    QString m_error;
};
