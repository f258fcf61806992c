#pragma once

#include "platform/InhibitorLock.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QTimer>

class QDBusPendingCallWatcher;

// A systemd-logind inhibitor on the system bus. The lock is the file descriptor logind hands
// out: it is held while open, and closes by itself when the process ends.
class LogindInhibitor final : public InhibitorLock {
    Q_OBJECT

public:
    // `what` is logind's colon-separated list of what to inhibit, e.g. "sleep:handle-lid-switch".
    LogindInhibitor(const QDBusConnection &systemBus, const QString &what,
                    QObject *parent = nullptr);

    void take(const QString &reason) override;
    void release() override;
    // Looks for the lock in logind's ListInhibitors.
    void verify() override;
    QString label() const override;

    // Only this lock keeps the machine up with the lid closed.
    bool holdsLidSwitch() const;

private:
    void inhibit(const QString &mode);
    void answered(QDBusPendingCallWatcher *call, const QString &mode);
    void checkListed(QDBusPendingCallWatcher *call);
    void giveUp();

    QDBusConnection m_bus;
    QString m_what;
    QString m_reason;
    QDBusUnixFileDescriptor m_fd;
    // The call whose answer counts; any other answer is dropped, which closes its fd.
    QDBusPendingCallWatcher *m_call = nullptr;
    QTimer m_giveUp;
};
