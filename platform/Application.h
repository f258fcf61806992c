#pragma once

#include <memory>

class StatusItem;

// The application object: activation policy, the status item, termination.
class Application {
public:
    // Values as the activation policy has them: regular shows the app like a window app,
    // accessory keeps it to its status item.
    enum class ActivationPolicy { Regular = 0, Accessory = 1 };

    virtual ~Application() = default;
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    virtual void activateIgnoringOtherApps() = 0;
    virtual std::unique_ptr<StatusItem> createStatusItem() = 0;
    virtual void terminate() = 0;
};
