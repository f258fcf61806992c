#pragma once

#include "platform/Platform.h"

#include <memory>

// Owns the real Linux backends of every platform service.
class LinuxPlatform final {
public:
    LinuxPlatform();
    ~LinuxPlatform();
    const Platform &platform() const { return m_platform; }

private:
    std::unique_ptr<Application> m_application;
    std::unique_ptr<AlertPresenter> m_alerts;
    std::unique_ptr<UrlOpener> m_urlOpener;
    std::unique_ptr<PowerAssertions> m_powerAssertions;
    std::unique_ptr<PowerSourceInfo> m_powerSource;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<LoginItemService> m_loginItems;
    std::unique_ptr<DesktopNotifier> m_notifier;
    Platform m_platform;
};
