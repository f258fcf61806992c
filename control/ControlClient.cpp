#include "control/ControlClient.h"

#include "control/BusNames.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace {
constexpr int kCallTimeoutMs = 5000;
// Long enough for the user to read the alert of a failed start.
constexpr int kUserTimeoutMs = 120000;
// A cold start of the tray application on a busy machine.
constexpr int kStartTimeoutMs = 15000;
} // namespace

ControlClient::ControlClient(const QDBusConnection &bus)
    : m_bus(bus) {}

bool ControlClient::isAppRunning() const {
    return m_bus.isConnected() && m_bus.interface()->isServiceRegistered(BusNames::service).value();
}

bool ControlClient::ensureAppRunning() {
    if (!m_bus.isConnected()) {
        m_error = QStringLiteral("無法連上工作階段匯流排（D-Bus）。");
        return false;
    }
    if (isAppRunning())
        return true;
    QDBusConnectionInterface *bus = m_bus.interface();
    const QStringList activatable = bus->activatableServiceNames().value();
    if (activatable.contains(BusNames::service)) {
        // Blocks until the activated application owns its name, or the bus gives up.
        if (bus->startService(BusNames::service).isValid() && isAppRunning())
            return true;
    }
    QProcess app;
    app.setProgram(QCoreApplication::applicationFilePath());
    // The tray application outlives this command; its messages are not the command's output.
    app.setStandardOutputFile(QProcess::nullDevice());
    app.setStandardErrorFile(QProcess::nullDevice());
    if (!app.startDetached()) {
        m_error = QStringLiteral("無法啟動 Korvella。");
        return false;
    }
    if (!waitForApp(kStartTimeoutMs)) {
        m_error = QStringLiteral("Korvella 沒有回應，請確認它能在桌面上啟動。");
        return false;
    }
    return true;
}

bool ControlClient::waitForApp(int timeoutMs) const {
    QEventLoop loop;
    QDBusServiceWatcher watcher(BusNames::service, m_bus,
                                QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    // The name may have come between the first look and the watcher.
    if (!isAppRunning())
        loop.exec();
    return isAppRunning();
}

QDBusMessage ControlClient::send(const QString &method, const QVariantList &arguments,
                                 int timeoutMs) {
    QDBusMessage message = QDBusMessage::createMethodCall(BusNames::service, BusNames::objectPath,
                                                          BusNames::interface, method);
    message.setArguments(arguments);
    // Never activate here: only ensureAppRunning() decides to start the application.
    message.setAutoStartService(false);
    return m_bus.call(message, QDBus::Block, timeoutMs);
}

bool ControlClient::callAndWait(const QString &method, const QVariantList &arguments) {
    return !failed(send(method, arguments, kUserTimeoutMs));
}

bool ControlClient::call(const QString &method, const QVariantList &arguments, QVariant *result) {
    const QDBusMessage reply = send(method, arguments, kCallTimeoutMs);
    if (failed(reply))
        return false;
    if (result)
        *result = reply.arguments().value(0);
    return true;
}

QVariantMap ControlClient::properties() {
    QDBusMessage message = QDBusMessage::createMethodCall(
        BusNames::service, BusNames::objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    message << BusNames::interface;
    message.setAutoStartService(false);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, kCallTimeoutMs);
    if (failed(reply))
        return {};
    const QDBusArgument argument = reply.arguments().value(0).value<QDBusArgument>();
    QVariantMap properties;
    argument >> properties;
    return properties;
}

bool ControlClient::failed(const QDBusMessage &reply) {
    if (reply.type() == QDBusMessage::ReplyMessage)
        return false;
    m_error = reply.errorMessage().isEmpty() ? QStringLiteral("Korvella 沒有回應。")
                                             : reply.errorMessage();
    return true;
}
