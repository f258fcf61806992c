#pragma once

// The desktop's record of whether the application starts when the user logs in. Every call
// blocks on the file system or a service, so callers run them off the main thread; an
// implementation must allow calls from any thread.
class LoginItemService {
public:
    enum class Status { NotRegistered, Enabled, NotFound };

    virtual ~LoginItemService() = default;
    virtual Status status() const = 0;
    // True when the desktop accepted the change.
    virtual bool registerItem() = 0;
    virtual bool unregisterItem() = 0;
};
