#include "control/HoldRegistry.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

namespace {
const QString kAssertionReason = QStringLiteral("Korvella防睡眠中");
} // namespace

HoldRegistry::HoldRegistry(PowerAssertions &assertions, QObject *parent)
    : QObject(parent)
    , m_preventer(assertions)
    , m_watcher(new QDBusServiceWatcher(this)) {
    m_watcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &HoldRegistry::removeOwner);
}

void HoldRegistry::watchOn(const QDBusConnection &bus) {
    m_watcher->setConnection(bus);
}

std::optional<quint32> HoldRegistry::add(Kind kind, const QString &name, const QString &owner) {
    if (!owner.isEmpty()) {
        m_watcher->addWatchedService(owner);
        // A caller gone before the watch began would never be seen leaving: refuse it.
        const QDBusConnection bus = m_watcher->connection();
        if (!bus.isConnected() || !bus.interface()->isServiceRegistered(owner)) {
            releaseIfUnused();
            return {};
        }
    }
    if (!m_preventer.isActive() &&
        !m_preventer.start(SleepPreventer::Mode::userIdle, kAssertionReason)) {
        releaseIfUnused();
        return {};
    }
    m_holds.append({++m_lastID, kind, name, owner});
    Q_EMIT changed();
    return m_lastID;
}

bool HoldRegistry::remove(quint32 id, const QString &owner) {
    for (qsizetype i = 0; i < m_holds.size(); ++i) {
        if (m_holds.at(i).id != id || m_holds.at(i).owner != owner)
            continue;
        m_holds.removeAt(i);
        releaseIfUnused();
        Q_EMIT changed();
        return true;
    }
    return false;
}

void HoldRegistry::removeOwner(const QString &owner) {
    const qsizetype removed =
        m_holds.removeIf([&](const Hold &hold) { return hold.owner == owner; });
    m_watcher->removeWatchedService(owner);
    if (removed == 0)
        return;
    releaseIfUnused();
    Q_EMIT changed();
}

void HoldRegistry::releaseIfUnused() {
    if (m_holds.isEmpty())
        m_preventer.stop();
    // Owners without holds left need no watching.
    for (const QString &owner : m_watcher->watchedServices()) {
        const bool used = std::any_of(m_holds.cbegin(), m_holds.cend(),
                                      [&](const Hold &hold) { return hold.owner == owner; });
        if (!used)
            m_watcher->removeWatchedService(owner);
    }
}

QString HoldRegistry::summary() const {
    if (m_holds.isEmpty())
        return {};
    if (m_holds.size() > 1)
        return QStringLiteral("%1 個工作進行中").arg(m_holds.size());
    const Hold &hold = m_holds.first();
    return hold.kind == Kind::Command ? QStringLiteral("「%1」執行中").arg(hold.name)
                                      : QStringLiteral("等待「%1」結束").arg(hold.name);
}

QString HoldRegistry::headline(bool periodRunning, const QString &periodLine) const {
    const QString holds = summary();
    if (!periodRunning)
        return holds.isEmpty() ? QString() : QStringLiteral("防睡眠中・") + holds;
    return holds.isEmpty() ? periodLine : periodLine + QStringLiteral("・") + holds;
}
