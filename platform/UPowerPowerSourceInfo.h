#pragma once

#include "platform/PowerSourceInfo.h"

#include <QDBusConnection>
#include <QObject>
#include <memory>

class OrgFreedesktopDBusPropertiesInterface;

// The power source as UPower reports it on the system bus: its OnBattery property, the charge
// of its display device (all batteries of the machine together), and the PropertiesChanged
// signals of both as the change notification (delivered on the main thread).
class UPowerPowerSourceInfo final : public QObject, public PowerSourceInfo {
    Q_OBJECT

public:
    explicit UPowerPowerSourceInfo(const QDBusConnection &systemBus);
    ~UPowerPowerSourceInfo() override;

    // Nothing when UPower is not on the bus or does not answer.
    std::optional<QString> providingPowerSourceType() const override;
    std::optional<double> batteryPercentage() const override;
    bool startNotifications(std::function<void()> onChange) override;
    void stopNotifications() override;

private:
    void propertiesChanged(const QString &interfaceName, const QVariantMap &changed,
                           const QStringList &invalidated);
    void deviceChanged(const QString &interfaceName, const QVariantMap &changed,
                       const QStringList &invalidated);

    std::unique_ptr<OrgFreedesktopDBusPropertiesInterface> m_properties;
    std::unique_ptr<OrgFreedesktopDBusPropertiesInterface> m_displayDevice;
    std::function<void()> m_onChange;
    QMetaObject::Connection m_subscription;
    QMetaObject::Connection m_deviceSubscription;
};
