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
    // Starts change notifications, delivered on the main thread. False when none can be had.
    virtual bool startNotifications(std::function<void()> onChange) = 0;
    virtual void stopNotifications() = 0;
};
