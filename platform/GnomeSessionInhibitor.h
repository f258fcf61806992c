#pragma once

#include "platform/InhibitorLock.h"

#include <QDBusConnection>
#include <optional>

// The GNOME session manager's inhibitor on the session bus, against suspend only: the screen
// may still blank. GNOME drops it when our bus connection goes away.
class GnomeSessionInhibitor final : public InhibitorLock {
public:
    static QString serviceName() { return QStringLiteral("org.gnome.SessionManager"); }

    explicit GnomeSessionInhibitor(const QDBusConnection &sessionBus);
    ~GnomeSessionInhibitor() override { release(); }

    bool take(const QString &reason) override;
    void release() override;

private:
    QDBusConnection m_bus;
    std::optional<quint32> m_cookie;
};
