#include "app/AppDelegate.h"

#include "BuildConfig.h"
#include "control/UntilTimeDialog.h"
#include "platform/Application.h"
#include "platform/SettingsStore.h"
#include "platform/StatusItem.h"
#include "preferences/PreferencesWindowController.h"

AppDelegate::AppDelegate(const Platform &platform, QObject *parent)
    : QObject(parent)
    , m_platform(platform)
    , m_powerMonitor(*platform.powerSource)
    , m_telegramNotifier(m_network)
    , m_session(*platform.powerAssertions, *platform.clock, *platform.alerts)
    , m_lidMode(m_session, m_powerMonitor, *platform.settings, *platform.alerts)
    , m_rules(m_session, m_powerMonitor, *platform.settings)
    , m_screenKeeper(m_session, *platform.powerAssertions, *platform.settings)
    , m_endNotice(m_session, *platform.settings, platform.notifier)
    , m_statusPush(*platform.settings, m_telegramNotifier, [this] { return pushStatus(); })
    , m_control(m_session, *platform.powerAssertions, *platform.settings)
    , m_remoteCommands(m_session, [this] { return pushStatus(); })
    , m_remoteControl(*platform.settings, m_network, m_telegramNotifier, m_remoteCommands,
                      {QString::fromUtf8(BuildConfig::telegramApiBase),
                       QString::fromUtf8(BuildConfig::pairingBaseUrl),
                       QString::fromUtf8(BuildConfig::officialBotToken)}) {
    connect(&m_control, &ControlService::holdsFinished, &m_endNotice, &EndNotice::show);
}

// Releases what it owns and nothing more: quit() is the one place that ends a period.
AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    m_statusItem = m_platform.application->createStatusItem();
    m_statusItem->setActionHandler([self = QPointer(this)](MenuAction action, int tag) {
        if (self)
            self->performMenuAction(action, tag);
    });
    m_lidMode.load();
    m_powerMonitor.setOnChange([self = QPointer(this)](bool isOnAC) {
        if (!self)
            return;
        self->m_lidMode.handlePowerSourceChange(isOnAC);
        self->m_rules.handlePowerSourceChange(isOnAC);
    });
    m_powerMonitor.start();
    m_lidMode.readPowerSource();
    m_statusPush.setupTelegramPushIfNeeded();
    m_remoteControl.reconfigure();
    connect(&m_session, &KeepAwakeSession::changed, this, &AppDelegate::refreshStatusItem,
            Qt::UniqueConnection);
    connect(&m_control, &ControlService::changed, this, &AppDelegate::refreshStatusItem,
            Qt::UniqueConnection);
    m_control.registerOn(QDBusConnection::sessionBus());
    refreshStatusItem();
}

void AppDelegate::quit() {
    m_session.stopPreventingSleep();
    m_powerMonitor.stop();
    m_statusPush.stop();
    m_remoteControl.stop();
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
    case MenuAction::KeepAwakeUntil:
        if (const auto time = UntilTimeDialog::ask())
            m_control.startUntil(*time);
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

std::optional<QString> AppDelegate::pushStatus() const {
    if (!m_session.isRunning())
        return std::nullopt;
    return m_session.statusLineText();
}

PreferencesWindowController &AppDelegate::preferencesWindowController() {
    if (!m_preferencesWindowController) {
        m_preferencesWindowController = new PreferencesWindowController(m_platform, {}, this);
        m_preferencesWindowController->onTelegramSettingsChanged = [self = QPointer(this)] {
            if (self) {
                self->m_statusPush.setupTelegramPushIfNeeded();
                self->m_remoteControl.reconfigure();
            }
        };
        m_preferencesWindowController->showRemoteControlProblem(m_remoteControl.problem());
        connect(&m_remoteControl, &RemoteControl::problemChanged, m_preferencesWindowController,
                &PreferencesWindowController::showRemoteControlProblem);
        m_preferencesWindowController->onProtectiveRulesChanged = [self = QPointer(this)] {
            if (self)
                self->m_screenKeeper.settingsChanged();
        };
    }
    return *m_preferencesWindowController;
}
