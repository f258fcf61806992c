#pragma once

#include "platform/InhibitorLock.h"

#include <QDBusConnection>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

// A systemd-logind inhibitor on the system bus. The lock is the file descriptor logind hands
// out: it is held while open, and closes by itself when the process ends.
class LogindInhibitor final : public InhibitorLock {
public:
    // `what` is logind's colon-separated list of what to inhibit, e.g. "sleep:handle-lid-switch".
    LogindInhibitor(const QDBusConnection &systemBus, const QString &what);

    bool take(const QString &reason) override;
    void release() override { m_fd = QDBusUnixFileDescriptor(); }

private:
    QDBusPendingReply<QDBusUnixFileDescriptor> inhibit(const QString &reason,
                                                       const QString &mode) const;

    QDBusConnection m_bus;
    QString m_what;
    QDBusUnixFileDescriptor m_fd;
};
