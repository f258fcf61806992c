#pragma once

#include "platform/PowerSourceInfo.h"
#include "platform/SysfsPowerSourceInfo.h"
#include "platform/UPowerPowerSourceInfo.h"

// The power source on Linux: UPower when it answers, the kernel's power supplies otherwise.
class LinuxPowerSourceInfo final : public PowerSourceInfo {
public:
    explicit LinuxPowerSourceInfo(
        const QDBusConnection &systemBus,
        const QString &sysfsRoot = QStringLiteral("/sys/class/power_supply"),
        std::chrono::milliseconds pollInterval = std::chrono::seconds(30));

    std::optional<QString> providingPowerSourceType() const override;
    std::optional<double> batteryPercentage() const override;
    // UPower's signal is always listened to, so a UPower that starts later is heard; sysfs is
    // polled only when UPower does not answer at the start.
    bool startNotifications(std::function<void()> onChange) override;
    void stopNotifications() override;

private:
    UPowerPowerSourceInfo m_upower;
    SysfsPowerSourceInfo m_sysfs;
};
