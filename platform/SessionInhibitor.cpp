#include "platform/SessionInhibitor.h"

#include "GnomeSessionManagerProxy.h"
#include "PowerManagementInhibitProxy.h"

namespace {
const QString kGnomePath = QStringLiteral("/org/gnome/SessionManager");
const QString kPowerManagementPath = QStringLiteral("/org/freedesktop/PowerManagement/Inhibit");
// GsmInhibitorFlag: 4 is "suspend"; idle (8) is left alone so the display may still sleep.
constexpr quint32 kInhibitSuspend = 4;
// No window: Korvella lives in the status area only.
constexpr quint32 kNoToplevelWindow = 0;
} // namespace

QString SessionInhibitor::serviceName(Shape shape) {
    return shape == Shape::GnomeSessionManager ? QStringLiteral("org.gnome.SessionManager")
                                               : QStringLiteral("org.freedesktop.PowerManagement");
}

SessionInhibitor::SessionInhibitor(Shape shape, const QDBusConnection &sessionBus)
    : m_shape(shape)
    , m_bus(sessionBus) {}

bool SessionInhibitor::take(const QString &reason) {
    release();
    if (!m_bus.isConnected())
        return false;
    QDBusPendingReply<quint32> reply;
    if (m_shape == Shape::GnomeSessionManager) {
        OrgGnomeSessionManagerInterface manager(serviceName(m_shape), kGnomePath, m_bus);
        manager.setTimeout(kCallTimeoutMs);
        reply = manager.Inhibit(applicationName(), kNoToplevelWindow, reason, kInhibitSuspend);
    } else {
        OrgFreedesktopPowerManagementInhibitInterface inhibit(serviceName(m_shape),
                                                              kPowerManagementPath, m_bus);
        inhibit.setTimeout(kCallTimeoutMs);
        reply = inhibit.Inhibit(applicationName(), reason);
    }
    reply.waitForFinished();
    if (reply.isError())
        return false;
    m_cookie = reply.value();
    return true;
}

void SessionInhibitor::release() {
    if (!m_cookie)
        return;
    // Not waited for: a hung service must not stall us, and it drops the cookie anyway when we
    // go.
    if (m_shape == Shape::GnomeSessionManager)
        OrgGnomeSessionManagerInterface(serviceName(m_shape), kGnomePath, m_bus)
            .Uninhibit(*m_cookie);
    else
        OrgFreedesktopPowerManagementInhibitInterface(serviceName(m_shape), kPowerManagementPath,
                                                      m_bus)
            .UnInhibit(*m_cookie);
    m_cookie.reset();
}
