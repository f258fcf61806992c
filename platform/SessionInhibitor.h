#pragma once

#include "platform/InhibitorLock.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTimer>
#include <QVariant>

class QDBusPendingCallWatcher;

// The desktop session's own inhibitor on the session bus, held by a cookie: GNOME's session
// manager (against suspend only, so the screen may still blank, or against idleness too when
// the screen is to stay on), the freedesktop.org power management service (KDE Plasma, XFCE
// and others), or the freedesktop.org screen saver (the screen stays on there). The cookie is kept
// with the D-Bus type the service chose ("u" or "i"), since services differ and some reject the
// other one. The desktop drops the lock when our bus connection goes away.
class SessionInhibitor final : public InhibitorLock {
    Q_OBJECT

public:
    enum class Shape { GnomeSessionManager, PowerManagement, ScreenSaver };

    static QString serviceName(Shape shape);

    SessionInhibitor(Shape shape, const QDBusConnection &sessionBus, QObject *parent = nullptr);
    // GNOME's session manager is then asked to keep the screen from blanking as well.
    void setKeepsScreenOn(bool screenToo) { m_screenToo = screenToo; }
    ~SessionInhibitor() override { release(); }

    void take(const QString &reason) override;
    void release() override;
    // The cookie is good only with the owner that issued it: a restarted service has lost it.
    void verify() override;
    QString label() const override;

private:
    QDBusMessage inhibitCall() const;
    void answered(const QDBusMessage &reply);
    void checkOwner(QDBusPendingCallWatcher *call);
    static void giveBackLate(const QDBusConnection &bus, Shape shape, const QDBusMessage &reply);
    static void giveBack(const QDBusConnection &bus, Shape shape, const QVariant &cookie,
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
    bool m_screenToo = false;
};
