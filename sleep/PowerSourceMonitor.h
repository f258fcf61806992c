#pragma once

#include <functional>
#include <optional>

class PowerSourceInfo;

// Tells whether the machine runs on mains power and reports every power-source change.
class PowerSourceMonitor final {
public:
    using ChangeCallback = std::function<void(bool isOnAC)>;

    explicit PowerSourceMonitor(PowerSourceInfo &info);
    ~PowerSourceMonitor();
    PowerSourceMonitor(const PowerSourceMonitor &) = delete;
    PowerSourceMonitor &operator=(const PowerSourceMonitor &) = delete;

    void setOnChange(ChangeCallback callback) { m_onChange = std::move(callback); }
    void start();
    void stop();
    bool isStarted() const { return m_isStarted; }

    // Read afresh at every call; no information at all counts as mains power.
    bool isOnACPower() const;
    // The charge of the machine's batteries, 0 to 100; nothing without a battery.
    std::optional<double> batteryPercentage() const;

private:
    void notify();

    PowerSourceInfo &m_info;
    ChangeCallback m_onChange;
    bool m_isStarted = false;
};
