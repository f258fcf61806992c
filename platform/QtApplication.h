#pragma once

#include "platform/Application.h"

// The application object on QApplication. Linux desktops have no Dock, so the activation
// policy is only remembered.
class QtApplication final : public Application {
public:
    void setActivationPolicy(ActivationPolicy policy) override { m_policy = policy; }
    ActivationPolicy activationPolicy() const { return m_policy; }
    void activateIgnoringOtherApps() override {}
    std::unique_ptr<StatusItem> createStatusItem() override;
    void terminate() override;

private:
    ActivationPolicy m_policy = ActivationPolicy::Regular;
};
