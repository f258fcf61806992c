#pragma once

#include "platform/Application.h"
#include "tests/support/FakeStatusItem.h"

#include <QList>

class FakeApplication final : public Application {
public:
    void setActivationPolicy(ActivationPolicy policy) override { policies << policy; }
    void activateIgnoringOtherApps() override { ++activations; }
    std::unique_ptr<StatusItem> createStatusItem() override {
        auto item = std::make_unique<FakeStatusItem>();
        statusItem = item.get();
        return item;
    }
    void terminate() override { ++terminations; }

    FakeStatusItem *statusItem = nullptr; // owned by the delegate
    QList<ActivationPolicy> policies;
    int activations = 0;
    int terminations = 0;
};
