#include "platform/PowerManagementInhibitor.h"

#include "PowerManagementInhibitProxy.h"

namespace {
const QString kPath = QStringLiteral("/org/freedesktop/PowerManagement/Inhibit");
} // namespace

PowerManagementInhibitor::PowerManagementInhibitor(const QDBusConnection &sessionBus)
    : m_bus(sessionBus) {}

bool PowerManagementInhibitor::take(const QString &reason) {
    release();
    if (!m_bus.isConnected())
        return false;
    OrgFreedesktopPowerManagementInhibitInterface inhibit(serviceName(), kPath, m_bus);
    inhibit.setTimeout(kCallTimeoutMs);
    QDBusPendingReply<quint32> reply = inhibit.Inhibit(applicationName(), reason);
    reply.waitForFinished();
    if (reply.isError())
        return false;
    m_cookie = reply.value();
    return true;
}

void PowerManagementInhibitor::release() {
    if (!m_cookie)
        return;
    // Not waited for: a hung service must not stall us, and it drops the cookie anyway when we
    // go.
    OrgFreedesktopPowerManagementInhibitInterface inhibit(serviceName(), kPath, m_bus);
    inhibit.UnInhibit(*m_cookie);
    m_cookie.reset();
}
