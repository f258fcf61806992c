#pragma once

#include "platform/PowerAssertions.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <array>
#include <map>
#include <memory>

class InhibitorLock;
class LogindInhibitor;
class SessionInhibitor;

// Keep-awake assertions made of the locks the running desktop really honours: a logind
// inhibitor on the system bus plus the session's own inhibitor when one is there. An assertion
// of type "PreventUserIdleDisplaySleep" keeps the screen on as well: logind's idle lock and
// the session's idle inhibitor (GNOME) or screen saver inhibitor (KDE Plasma, XFCE). Both are asked
// at once; the assertion holds from the first lock granted (logind answers in milliseconds, so
// in practice logind gates it and the session lock joins when its service answers) and fails
// only when every lock was refused. Locks are checked again after every resume and whenever a
// service changes owner, and what was lost is taken again.
class LinuxPowerAssertions final : public QObject, public PowerAssertions {
    Q_OBJECT

public:
    LinuxPowerAssertions(const QDBusConnection &systemBus, const QDBusConnection &sessionBus,
                         QObject *parent = nullptr);
    ~LinuxPowerAssertions() override;

    std::optional<quint32> create(const QString &type, int level, const QString &name) override;
    void release(quint32 id) override;
    State state(quint32 id) const override;
    bool holdsLidClosed(quint32 id) const override;
    QString heldLocks() const override;

    // Asks every service whether it still has our locks.
    void verify();

    // logind's "what" for an assertion type; empty for a type we do not know.
    static QString logindWhat(const QString &type, bool sessionLock);

private Q_SLOTS:
    void prepareForSleep(bool start);

private:
    struct Assertion {
        std::unique_ptr<LogindInhibitor> logind;
        std::unique_ptr<SessionInhibitor> session;
        // The desktop's power manager acts on the lid itself, whatever logind is told.
        bool desktopHandlesLid = false;

        // The session lock is null where the desktop offers none.
        std::array<InhibitorLock *, 2> locks() const;
    };

    std::unique_ptr<SessionInhibitor> sessionInhibitor(bool screen);
    bool desktopHandlesLid() const;

    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QDBusServiceWatcher m_sessionServices;
    QDBusServiceWatcher m_logind;
    std::map<quint32, Assertion> m_held;
    quint32 m_lastID = 0;
};
