#pragma once

#include "platform/InhibitorLock.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTimer>
#include <QVariant>

class QDBusPendingCallWatcher;

// A desktop session's cookie-based inhibitor on the session bus: Inhibit hands out a cookie,
// and the cookie is given back to end the lock. The cookie is kept with the D-Bus type the
// service chose ("u" or "i"), since services differ and some reject the other one. The service
// drops the lock when our bus connection goes away.
class SessionInhibitor final : public InhibitorLock {
    Q_OBJECT

public:
    // The two shapes of the call that desktops offer.
    struct Shape {
        QString service;
        QString path;
        QString interface;
        QString uninhibit;
        QString label;
        bool gnome =
            false; // Inhibit(app, toplevel, reason, flags) rather than Inhibit(app, reason)
    };
    static const Shape gnomeSession;
    static const Shape powerManagement;

    SessionInhibitor(const QDBusConnection &sessionBus, const Shape &shape,
                     QObject *parent = nullptr);
    ~SessionInhibitor() override { release(); }

    void take(const QString &reason) override;
    void release() override;
    // The cookie is good only with the owner that issued it: a restarted service has lost it.
    void verify() override;
    QString label() const override { return m_shape.label; }

private:
    QDBusMessage inhibitCall() const;
    void answered(const QDBusMessage &reply);
    void checkOwner(QDBusPendingCallWatcher *call);
    static void giveBackLate(const QDBusConnection &bus, const Shape &shape,
                             const QDBusMessage &reply);
    static void giveBack(const QDBusConnection &bus, const Shape &shape, const QVariant &cookie,
                         const QString &owner);
    void giveUp();

    QDBusConnection m_bus;
    Shape m_shape;
    QString m_reason;
    QVariant m_cookie;
    QString m_owner; // unique bus name of the service that issued m_cookie
    QDBusPendingCallWatcher *m_call = nullptr;
    QTimer m_giveUp;
    // A restarting service owns its name a moment before it answers calls.
    int m_retriesLeft = 0;
    bool m_lost = false;
};
