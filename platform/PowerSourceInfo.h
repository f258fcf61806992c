#pragma once

#include <QString>
#include <functional>
#include <optional>

// Where the power comes from. The providing type reads "AC Power" on mains power and
// "Battery Power" otherwise; nothing when the machine does not say.
class PowerSourceInfo {
public:
    virtual ~PowerSourceInfo() = default;
    virtual std::optional<QString> providingPowerSourceType() const = 0;
    // The charge of the machine's own batteries together, 0 to 100; nothing without a battery
    // or when the machine does not say.
    virtual std::optional<double> batteryPercentage() const { return std::nullopt; }
    // Starts change notifications, delivered on the main thread. False when none can be had.
    virtual bool startNotifications(std::function<void()> onChange) = 0;
    virtual void stopNotifications() = 0;
};
