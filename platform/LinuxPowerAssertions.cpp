#include "platform/LinuxPowerAssertions.h"

#include "platform/LogindInhibitor.h"
#include "platform/SessionInhibitor.h"

#include <QDBusConnectionInterface>

namespace {
constexpr int kAssertionLevelOn = 255;
} // namespace

LinuxPowerAssertions::LinuxPowerAssertions(const QDBusConnection &systemBus,
                                           const QDBusConnection &sessionBus)
    : m_systemBus(systemBus)
    , m_sessionBus(sessionBus) {}

LinuxPowerAssertions::~LinuxPowerAssertions() = default;

QString LinuxPowerAssertions::logindWhat(const QString &type, bool sessionLockTaken) {
    // Without a session inhibitor, a bare window manager's idle daemon honours only logind's
    // idle lock.
    const QString sleep = sessionLockTaken ? QStringLiteral("sleep") : QStringLiteral("idle:sleep");
    if (type == QLatin1String("PreventUserIdleSystemSleep"))
        return sleep;
    if (type == QLatin1String("PreventSystemSleep"))
        return sleep + QStringLiteral(":handle-lid-switch");
    return {};
}

std::optional<quint32> LinuxPowerAssertions::create(const QString &type, int level,
                                                    const QString &name) {
    if (level != kAssertionLevelOn || logindWhat(type, false).isEmpty())
        return {};
    Locks locks;
    if (auto session = sessionInhibitor(); session && session->take(name))
        locks.push_back(std::move(session));
    auto logind = std::make_unique<LogindInhibitor>(m_systemBus, logindWhat(type, !locks.empty()));
    if (logind->take(name))
        locks.push_back(std::move(logind));
    if (locks.empty())
        return {};
    m_held.emplace(++m_lastID, std::move(locks));
    return m_lastID;
}

void LinuxPowerAssertions::release(quint32 id) {
    // The locks give themselves up as they are destroyed.
    m_held.erase(id);
}

std::unique_ptr<InhibitorLock> LinuxPowerAssertions::sessionInhibitor() const {
    if (!m_sessionBus.isConnected())
        return nullptr;
    // When both answer, GNOME's session manager is asked first.
    QDBusConnectionInterface *bus = m_sessionBus.interface();
    for (const auto shape :
         {SessionInhibitor::Shape::GnomeSessionManager, SessionInhibitor::Shape::PowerManagement}) {
        if (bus->isServiceRegistered(SessionInhibitor::serviceName(shape)))
            return std::make_unique<SessionInhibitor>(shape, m_sessionBus);
    }
    return nullptr;
}
