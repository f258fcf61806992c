#include "platform/GnomeSessionInhibitor.h"

#include "GnomeSessionManagerProxy.h"

namespace {
const QString kPath = QStringLiteral("/org/gnome/SessionManager");
// GsmInhibitorFlag: 4 is "suspend"; idle (8) is left alone so the display may still sleep.
constexpr quint32 kInhibitSuspend = 4;
// No window: Korvella lives in the status area only.
constexpr quint32 kNoToplevelWindow = 0;
} // namespace

GnomeSessionInhibitor::GnomeSessionInhibitor(const QDBusConnection &sessionBus)
    : m_bus(sessionBus) {}

bool GnomeSessionInhibitor::take(const QString &reason) {
    release();
    if (!m_bus.isConnected())
        return false;
    OrgGnomeSessionManagerInterface manager(serviceName(), kPath, m_bus);
    manager.setTimeout(kCallTimeoutMs);
    QDBusPendingReply<quint32> reply =
        manager.Inhibit(applicationName(), kNoToplevelWindow, reason, kInhibitSuspend);
    reply.waitForFinished();
    if (reply.isError())
        return false;
    m_cookie = reply.value();
    return true;
}

void GnomeSessionInhibitor::release() {
    if (!m_cookie)
        return;
    // Not waited for: a hung session manager must not stall us, and it drops the cookie anyway
    // when we go.
    OrgGnomeSessionManagerInterface manager(serviceName(), kPath, m_bus);
    manager.Uninhibit(*m_cookie);
    m_cookie.reset();
}
