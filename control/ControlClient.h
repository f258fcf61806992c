#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// The command line's side of the running application's bus interface.
class ControlClient final {
public:
    explicit ControlClient(const QDBusConnection &bus);

    bool isConnected() const { return m_bus.isConnected(); }
    // Whether the tray application answers on the bus now.
    bool isAppRunning() const;
    // Starts the tray application if needed (bus activation, else a detached launch) and
    // waits until it answers; false with errorString() when it does not come up.
    bool ensureAppRunning();

    // A method of the interface; false with errorString() when the call failed.
    bool call(const QString &method, const QVariantList &arguments = {},
              QVariant *result = nullptr);
    // A call that may wait for the user: a failed start shows an alert first.
    bool callAndWait(const QString &method, const QVariantList &arguments);
    // Every property in one round trip; empty with errorString() on failure.
    QVariantMap properties();

    QString errorString() const { return m_error; }
    QDBusConnection connection() const { return m_bus; }

private:
    bool waitForApp(int timeoutMs) const;
    bool failed(const QDBusMessage &reply);
    QDBusMessage send(const QString &method, const QVariantList &arguments, int timeoutMs);

    QDBusConnection m_bus;
    QString m_error;
};
