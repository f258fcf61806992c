#pragma once

#include "platform/PowerSourceInfo.h"

class FakePowerSourceInfo final : public PowerSourceInfo {
public:
    std::optional<QString> providingPowerSourceType() const override { return type; }
    bool startNotifications(std::function<void()> callback) override {
        ++starts;
        if (!canNotify)
            return false;
        onChange = std::move(callback);
        return true;
    }
    void stopNotifications() override {
        ++stops;
        onChange = nullptr;
    }
    // Switches the source and notifies, as the power manager would.
    void setOnAC(bool onAC) {
        type = onAC ? QStringLiteral("AC Power") : QStringLiteral("Battery Power");
        if (onChange)
            onChange();
    }

    std::optional<QString> type = QStringLiteral("AC Power");
    bool canNotify = true;
    std::function<void()> onChange;
    int starts = 0;
    int stops = 0;
};
