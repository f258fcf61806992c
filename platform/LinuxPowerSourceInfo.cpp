#include "platform/LinuxPowerSourceInfo.h"

LinuxPowerSourceInfo::LinuxPowerSourceInfo(const QDBusConnection &systemBus,
                                           const QString &sysfsRoot,
                                           std::chrono::milliseconds pollInterval)
    : m_upower(systemBus)
    , m_sysfs(sysfsRoot, pollInterval) {}

std::optional<QString> LinuxPowerSourceInfo::providingPowerSourceType() const {
    if (auto type = m_upower.providingPowerSourceType())
        return type;
    return m_sysfs.providingPowerSourceType();
}

// The charge is taken from the same source as the mains state, so the two never disagree.
std::optional<double> LinuxPowerSourceInfo::batteryPercentage() const {
    if (m_upower.providingPowerSourceType())
        return m_upower.batteryPercentage();
    return m_sysfs.batteryPercentage();
}

bool LinuxPowerSourceInfo::startNotifications(std::function<void()> onChange) {
    const bool upowerAnswers = m_upower.providingPowerSourceType().has_value();
    const bool viaUPower = m_upower.startNotifications(onChange);
    const bool viaSysfs = !upowerAnswers && m_sysfs.startNotifications(onChange);
    return viaUPower || viaSysfs;
}

void LinuxPowerSourceInfo::stopNotifications() {
    m_upower.stopNotifications();
    m_sysfs.stopNotifications();
}
