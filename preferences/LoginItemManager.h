#pragma once

class LoginItemService;

// Registers the application to start at login, or not, and reads whether it is. Both calls
// block: callers run them off the main thread.
class LoginItemManager final {
public:
    enum class Status { Enabled, Disabled };

    explicit LoginItemManager(LoginItemService *service);

    // True when the desktop accepted the change; why it refused is not kept.
    bool setEnabled(bool enabled);
    Status currentStatus() const;

private:
    LoginItemService *m_service; // not owned; may be absent, which reads as "cannot"
};
