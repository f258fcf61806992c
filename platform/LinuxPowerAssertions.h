#pragma once

#include "platform/PowerAssertions.h"

#include <QDBusConnection>
#include <map>
#include <memory>
#include <vector>

class InhibitorLock;

// Keep-awake assertions made of the locks the running desktop really honours: a logind
// inhibitor on the system bus plus the session's own inhibitor when one is there. An
// assertion holds when at least one lock was taken and is released as a whole.
class LinuxPowerAssertions final : public PowerAssertions {
public:
    LinuxPowerAssertions(const QDBusConnection &systemBus, const QDBusConnection &sessionBus);
    ~LinuxPowerAssertions() override;

    std::optional<quint32> create(const QString &type, int level, const QString &name) override;
    void release(quint32 id) override;

    // logind's "what" for an assertion type; empty for a type we do not know.
    static QString logindWhat(const QString &type, bool sessionLockTaken);

private:
    using Locks = std::vector<std::unique_ptr<InhibitorLock>>;

    std::unique_ptr<InhibitorLock> sessionInhibitor() const;

    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    std::map<quint32, Locks> m_held;
    quint32 m_lastID = 0;
};
