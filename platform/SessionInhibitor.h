#pragma once

#include "platform/InhibitorLock.h"

#include <QDBusConnection>
#include <optional>

// The desktop session's own inhibitor on the session bus, held by a cookie: GNOME's session
// manager (against suspend only, so the screen may still blank) or the freedesktop.org power
// management service (KDE Plasma, XFCE and others). The desktop drops it when our bus
// connection goes away.
class SessionInhibitor final : public InhibitorLock {
public:
    enum class Shape { GnomeSessionManager, PowerManagement };

    static QString serviceName(Shape shape);

    SessionInhibitor(Shape shape, const QDBusConnection &sessionBus);
    ~SessionInhibitor() override { release(); }

    bool take(const QString &reason) override;
    void release() override;

private:
    Shape m_shape;
    QDBusConnection m_bus;
    std::optional<quint32> m_cookie;
};
