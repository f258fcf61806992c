#include "platform/LogindInhibitor.h"

#include "LogindManagerProxy.h"

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
} // namespace

LogindInhibitor::LogindInhibitor(const QDBusConnection &systemBus, const QString &what)
    : m_bus(systemBus)
    , m_what(what) {}

bool LogindInhibitor::take(const QString &reason) {
    release();
    // "block-weak" leaves the user's own explicit suspend possible; systemd before 257 knows
    // only "block" and rejects the newer mode as an invalid argument.
    QString errorName;
    m_fd = inhibit(reason, QStringLiteral("block-weak"), &errorName);
    if (!m_fd.isValid() && errorName == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs"))
        m_fd = inhibit(reason, QStringLiteral("block"), &errorName);
    return m_fd.isValid();
}

QDBusUnixFileDescriptor LogindInhibitor::inhibit(const QString &reason, const QString &mode,
                                                 QString *errorName) const {
    if (!m_bus.isConnected())
        return {};
    OrgFreedesktopLogin1ManagerInterface manager(kService, kPath, m_bus);
    manager.setTimeout(kCallTimeoutMs);
    QDBusPendingReply<QDBusUnixFileDescriptor> reply =
        manager.Inhibit(m_what, applicationName(), reason, mode);
    reply.waitForFinished();
    if (reply.isError()) {
        *errorName = reply.error().name();
        return {};
    }
    return reply.value();
}
