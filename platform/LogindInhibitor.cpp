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
    if (!m_bus.isConnected())
        return false;
    // "block-weak" leaves the user's own explicit suspend possible; systemd before 257 knows
    // only "block" and rejects the newer mode as an invalid argument.
    auto reply = inhibit(reason, QStringLiteral("block-weak"));
    if (reply.isError() && reply.error().type() == QDBusError::InvalidArgs)
        reply = inhibit(reason, QStringLiteral("block"));
    if (!reply.isError())
        m_fd = reply.value();
    return m_fd.isValid();
}

QDBusPendingReply<QDBusUnixFileDescriptor> LogindInhibitor::inhibit(const QString &reason,
                                                                    const QString &mode) const {
    OrgFreedesktopLogin1ManagerInterface manager(kService, kPath, m_bus);
    manager.setTimeout(kCallTimeoutMs);
    QDBusPendingReply<QDBusUnixFileDescriptor> reply =
        manager.Inhibit(m_what, applicationName(), reason, mode);
    reply.waitForFinished();
    return reply;
}
