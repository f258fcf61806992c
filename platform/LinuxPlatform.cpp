#include "platform/LinuxPlatform.h"

#include "platform/BootClock.h"
#include "platform/DesktopUrlOpener.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/IniSettingsStore.h"
#include "platform/LinuxPowerAssertions.h"
#include "platform/LinuxPowerSourceInfo.h"
#include "platform/LoginItemService.h"
#include "platform/MessageBoxAlertPresenter.h"
#include "platform/PowerAssertions.h"
#include "platform/QtApplication.h"
#include "platform/XdgAutostartService.h"

#include <QCoreApplication>

LinuxPlatform::LinuxPlatform()
    : m_application(std::make_unique<QtApplication>())
    , m_alerts(std::make_unique<MessageBoxAlertPresenter>())
    , m_urlOpener(std::make_unique<DesktopUrlOpener>())
    , m_powerAssertions(std::make_unique<LinuxPowerAssertions>(QDBusConnection::systemBus(),
                                                               QDBusConnection::sessionBus()))
    , m_powerSource(std::make_unique<LinuxPowerSourceInfo>(QDBusConnection::systemBus()))
    , m_settings(std::make_unique<IniSettingsStore>())
    , m_clock(std::make_unique<BootClock>())
    , m_loginItems(std::make_unique<XdgAutostartService>(QCoreApplication::applicationFilePath()))
    , m_notifier(std::make_unique<FreedesktopNotifier>(QDBusConnection::sessionBus())) {
    m_platform.application = m_application.get();
    m_platform.alerts = m_alerts.get();
    m_platform.urlOpener = m_urlOpener.get();
    m_platform.powerAssertions = m_powerAssertions.get();
    m_platform.powerSource = m_powerSource.get();
    m_platform.settings = m_settings.get();
    m_platform.clock = m_clock.get();
    m_platform.loginItems = m_loginItems.get();
    m_platform.notifier = m_notifier.get();
}

LinuxPlatform::~LinuxPlatform() = default;
