#include "sleep/PowerSourceMonitor.h"

#include "platform/PowerSourceInfo.h"

PowerSourceMonitor::PowerSourceMonitor(PowerSourceInfo &info)
    : m_info(info) {}

PowerSourceMonitor::~PowerSourceMonitor() {
    // A notification must never reach a monitor that is gone.
    stop();
}

bool PowerSourceMonitor::isOnACPower() const {
    const auto type = m_info.providingPowerSourceType();
    return !type || *type == QLatin1String("AC Power");
}

std::optional<double> PowerSourceMonitor::batteryPercentage() const {
    return m_info.batteryPercentage();
}

void PowerSourceMonitor::start() {
    if (m_isStarted)
        return;
    m_isStarted = m_info.startNotifications([this] { notify(); });
}

void PowerSourceMonitor::stop() {
    if (!m_isStarted)
        return;
    m_info.stopNotifications();
    m_isStarted = false;
}

void PowerSourceMonitor::notify() {
    if (m_onChange)
        m_onChange(isOnACPower());
}
