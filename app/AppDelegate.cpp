#include "app/AppDelegate.h"

#include "BuildConfig.h"
#include "platform/Application.h"
#include "platform/SettingsStore.h"
#include "platform/StatusItem.h"
#include "preferences/PreferencesWindowController.h"

AppDelegate::AppDelegate(const Platform &platform, QObject *parent)
    : QObject(parent)
    , m_platform(platform)
    , m_sleepPreventer(*platform.powerAssertions)
    , m_powerMonitor(*platform.powerSource) {}

// Releases what it owns and nothing more: quit() is the one place that ends a period.
AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    m_statusItem = m_platform.application->createStatusItem();
    m_statusItem->setActionHandler([self = QPointer(this)](MenuAction action, int tag) {
        if (self)
            self->performMenuAction(action, tag);
    });
    m_lidSleepEnabled = m_platform.settings->boolForKey(lidSleepEnabledKey);
    m_powerMonitor.setOnChange([self = QPointer(this)](bool isOnAC) {
        if (self)
            self->handlePowerSourceChange(isOnAC);
    });
    m_powerMonitor.start();
    m_isOnACPower = m_powerMonitor.isOnACPower();
    setupTelegramPushIfNeeded();
    refreshStatusItem();
}

void AppDelegate::quit() {
    stopPreventingSleep();
    m_powerMonitor.stop();
    if (m_telegramPushTimer)
        m_telegramPushTimer->stop();
    m_platform.application->terminate();
}

QString AppDelegate::appVersionString() {
    const QString version = QString::fromUtf8(BuildConfig::version);
    return version.isEmpty() ? QStringLiteral("開發版") : version;
}

void AppDelegate::performMenuAction(MenuAction action, int tag) {
    switch (action) {
    case MenuAction::Toggle:
        toggle();
        break;
    case MenuAction::SelectDuration:
        selectDuration(tag);
        break;
    case MenuAction::ToggleLidSleep:
        toggleLidSleep();
        break;
    case MenuAction::OpenPreferences:
        openPreferences();
        break;
    case MenuAction::Quit:
        quit();
        break;
    case MenuAction::None:
        break;
    }
}

void AppDelegate::refreshStatusItem() {
    updateStatusIcon();
    if (m_statusItem)
        m_statusItem->setMenu(buildMenu());
}

PreferencesWindowController &AppDelegate::preferencesWindowController() {
    if (!m_preferencesWindowController) {
        m_preferencesWindowController = new PreferencesWindowController(m_platform, {}, this);
        m_preferencesWindowController->onTelegramSettingsChanged = [self = QPointer(this)] {
            if (self)
                self->setupTelegramPushIfNeeded();
        };
    }
    return *m_preferencesWindowController;
}
