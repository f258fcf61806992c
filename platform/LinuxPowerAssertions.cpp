#include "platform/LinuxPowerAssertions.h"

#include "platform/LogindInhibitor.h"
#include "platform/SessionInhibitor.h"

#include <QDBusConnectionInterface>
#include <QStringList>

namespace {
constexpr int kAssertionLevelOn = 255;
const QString kLogind = QStringLiteral("org.freedesktop.login1");
// Also keeps the screen from blanking and locking.
const QString kDisplayType = QStringLiteral("PreventUserIdleDisplaySleep");
// Desktop power managers that act on the lid on their own, whatever logind is asked.
const QStringList kLidHandlers{QStringLiteral("org.kde.Solid.PowerManagement"),
                               QStringLiteral("org.xfce.PowerManager")};
} // namespace

LinuxPowerAssertions::LinuxPowerAssertions(const QDBusConnection &systemBus,
                                           const QDBusConnection &sessionBus, QObject *parent)
    : QObject(parent)
    , m_systemBus(systemBus)
    , m_sessionBus(sessionBus)
    , m_sessionServices(SessionInhibitor::serviceName(SessionInhibitor::Shape::GnomeSessionManager),
                        sessionBus, QDBusServiceWatcher::WatchForOwnerChange)
    , m_logind(kLogind, systemBus, QDBusServiceWatcher::WatchForOwnerChange) {
    m_sessionServices.addWatchedService(
        SessionInhibitor::serviceName(SessionInhibitor::Shape::PowerManagement));
    m_sessionServices.addWatchedService(
        SessionInhibitor::serviceName(SessionInhibitor::Shape::ScreenSaver));
    // A service that restarts forgets its locks; after a resume a desktop's power daemon may
    // have restarted, or logind may have dropped us.
    connect(&m_sessionServices, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &LinuxPowerAssertions::verify);
    connect(&m_logind, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &LinuxPowerAssertions::verify);
    m_systemBus.connect(kLogind, QStringLiteral("/org/freedesktop/login1"),
                        QStringLiteral("org.freedesktop.login1.Manager"),
                        QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

LinuxPowerAssertions::~LinuxPowerAssertions() = default;

std::array<InhibitorLock *, 2> LinuxPowerAssertions::Assertion::locks() const {
    return {logind.get(), session.get()};
}

QString LinuxPowerAssertions::logindWhat(const QString &type, bool sessionLock) {
    // Without a session inhibitor, a bare window manager's idle daemon honours only logind's
    // idle lock.
    const QString sleep = sessionLock ? QStringLiteral("sleep") : QStringLiteral("idle:sleep");
    if (type == QLatin1String("PreventUserIdleSystemSleep"))
        return sleep;
    if (type == QLatin1String("PreventSystemSleep"))
        return sleep + QStringLiteral(":handle-lid-switch");
    // Idle also stops the screen from blanking where logind's idle lock is what the idle
    // daemon honours.
    if (type == kDisplayType)
        return QStringLiteral("idle:sleep");
    return {};
}

std::optional<quint32> LinuxPowerAssertions::create(const QString &type, int level,
                                                    const QString &name) {
    if (level != kAssertionLevelOn || logindWhat(type, false).isEmpty())
        return {};
    const quint32 id = ++m_lastID;
    Assertion &assertion = m_held[id];
    assertion.session = sessionInhibitor(type == kDisplayType);
    assertion.logind =
        std::make_unique<LogindInhibitor>(m_systemBus, logindWhat(type, bool(assertion.session)));
    assertion.desktopHandlesLid = desktopHandlesLid();
    for (InhibitorLock *lock : assertion.locks()) {
        if (!lock)
            continue;
        connect(lock, &InhibitorLock::changed, this, [this, id] { notify(id); });
        lock->take(name);
    }
    return id;
}

void LinuxPowerAssertions::release(quint32 id) {
    const auto found = m_held.find(id);
    if (found == m_held.end())
        return;
    // Taken out first: the locks announce their release, and nobody should hear of an
    // assertion that is gone.
    Assertion assertion = std::move(found->second);
    m_held.erase(found);
    for (InhibitorLock *lock : assertion.locks()) {
        if (lock) {
            disconnect(lock, nullptr, this, nullptr);
            lock->release();
        }
    }
}

PowerAssertions::State LinuxPowerAssertions::state(quint32 id) const {
    const auto found = m_held.find(id);
    if (found == m_held.end())
        return State::failed;
    bool pending = false;
    for (const InhibitorLock *lock : found->second.locks()) {
        if (!lock)
            continue;
        if (lock->state() == InhibitorLock::State::held)
            return State::held;
        pending = pending || lock->state() == InhibitorLock::State::pending;
    }
    return pending ? State::pending : State::failed;
}

bool LinuxPowerAssertions::holdsLidClosed(quint32 id) const {
    const auto found = m_held.find(id);
    return found != m_held.end() && !found->second.desktopHandlesLid &&
           found->second.logind->holdsLidSwitch();
}

QString LinuxPowerAssertions::heldLocks() const {
    QStringList labels;
    for (const auto &[id, assertion] : m_held) {
        for (const InhibitorLock *lock : assertion.locks()) {
            if (lock && lock->state() == InhibitorLock::State::held)
                labels << lock->label();
        }
    }
    labels.removeDuplicates();
    return labels.join(QStringLiteral(", "));
}

void LinuxPowerAssertions::verify() {
    for (auto &[id, assertion] : m_held) {
        for (InhibitorLock *lock : assertion.locks()) {
            if (lock)
                lock->verify();
        }
    }
}

void LinuxPowerAssertions::prepareForSleep(bool start) {
    if (!start)
        verify();
}

std::unique_ptr<SessionInhibitor> LinuxPowerAssertions::sessionInhibitor(bool screen) {
    if (!m_sessionBus.isConnected())
        return nullptr;
    // When several answer, GNOME's session manager is asked first: it keeps the screen on as
    // well when told to. Elsewhere the power manager keeps the system up and the screen saver
    // the screen. This asks the bus daemon only, which always answers at once.
    using Shape = SessionInhibitor::Shape;
    QDBusConnectionInterface *bus = m_sessionBus.interface();
    for (const auto shape :
         {Shape::GnomeSessionManager, screen ? Shape::ScreenSaver : Shape::PowerManagement}) {
        if (!bus->isServiceRegistered(SessionInhibitor::serviceName(shape)))
            continue;
        auto inhibitor = std::make_unique<SessionInhibitor>(shape, m_sessionBus);
        inhibitor->setKeepsScreenOn(screen);
        return inhibitor;
    }
    return nullptr;
}

bool LinuxPowerAssertions::desktopHandlesLid() const {
    if (!m_sessionBus.isConnected())
        return false;
    QDBusConnectionInterface *bus = m_sessionBus.interface();
    return std::any_of(kLidHandlers.begin(), kLidHandlers.end(),
                       [bus](const QString &name) { return bus->isServiceRegistered(name); });
}
