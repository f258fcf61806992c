#pragma once

#include "platform/PowerSourceInfo.h"

// A fixed power source that accepts every subscription and counts the ends of them.
class FakePowerSourceInfo final : public PowerSourceInfo {
public:
    std::optional<QString> providingPowerSourceType() const override { return type; }
    bool startNotifications(std::function<void()>) override { return true; }
    void stopNotifications() override { ++stops; }

    std::optional<QString> type = QStringLiteral("AC Power");
    int stops = 0;
};
