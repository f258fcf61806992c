#pragma once

#include "platform/InhibitorLock.h"

#include <QDBusConnection>
#include <optional>

// The freedesktop.org power management inhibitor on the session bus (KDE Plasma, XFCE and
// others). The desktop drops it when our bus connection goes away.
class PowerManagementInhibitor final : public InhibitorLock {
public:
    static QString serviceName() { return QStringLiteral("org.freedesktop.PowerManagement"); }

    explicit PowerManagementInhibitor(const QDBusConnection &sessionBus);
    ~PowerManagementInhibitor() override { release(); }

    bool take(const QString &reason) override;
    void release() override;

private:
    QDBusConnection m_bus;
    std::optional<quint32> m_cookie;
};
