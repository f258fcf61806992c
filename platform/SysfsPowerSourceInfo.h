#pragma once

#include "platform/PowerSourceInfo.h"

#include <QString>
#include <QTimer>
#include <chrono>

// The power source read from the kernel's power supply class, for machines without UPower,
// decided the way systemd decides "on AC power". sysfs attributes cannot be watched, so
// changes are found by polling.
class SysfsPowerSourceInfo final : public PowerSourceInfo {
public:
    explicit SysfsPowerSourceInfo(
        const QString &root = QStringLiteral("/sys/class/power_supply"),
        std::chrono::milliseconds pollInterval = std::chrono::seconds(30));

    // Nothing when the kernel lists no power supply at all.
    std::optional<QString> providingPowerSourceType() const override;
    // The mean `capacity` of the machine's own batteries.
    std::optional<double> batteryPercentage() const override;
    // Calls onChange when a poll finds the providing type or the charge changed.
    bool startNotifications(std::function<void()> onChange) override;
    void stopNotifications() override;

private:
    QString attribute(const QString &supply, const QString &name) const;
    bool isPowerSink(const QString &supply) const;
    bool isOwnBattery(const QString &supply) const;
    bool isDischargingBattery(const QString &supply) const;
    void poll();

    QString m_root;
    QTimer m_timer;
    std::function<void()> m_onChange;
    std::optional<QString> m_lastType;
    std::optional<double> m_lastPercentage;
};
