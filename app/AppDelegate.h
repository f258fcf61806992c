#pragma once

#include "app/DurationOption.h"
#include "control/ControlService.h"
#include "control/RemoteCommands.h"
#include "control/RemoteControl.h"
#include "platform/MenuModel.h"
#include "platform/Platform.h"
#include "platform/SettingsKeys.h"
#include "sleep/EndNotice.h"
#include "sleep/KeepAwakeSession.h"
#include "sleep/LidClosedMode.h"
#include "sleep/PowerSourceMonitor.h"
#include "sleep/ProtectiveRules.h"
#include "sleep/ScreenKeeper.h"
#include "telegram/StatusPush.h"
#include "telegram/TelegramNotifier.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <memory>

class PreferencesWindowController;
class StatusItem;

// The composition root: creates the session, the lid-closed mode and the status push, wires
// them to the status item and the preferences, and runs start-up and quit in their order.
// The period itself lives in KeepAwakeSession.
class AppDelegate final : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(const Platform &platform, QObject *parent = nullptr);
    ~AppDelegate() override;

    // Start-up and quitting.
    void applicationDidFinishLaunching();
    void quit();
    static QString appVersionString();

    // Status item.
    void updateStatusIcon();
    MenuModel buildMenu() const;
    void performMenuAction(MenuAction action, int tag);
    void openPreferences();
    // Created on first use and kept for the rest of the run.
    PreferencesWindowController &preferencesWindowController();

    // The menu's actions.
    void toggle() { m_session.toggle(); }
    void selectDuration(int tag) { m_session.startPreventingSleep(tag); }
    void toggleLidSleep() { m_lidMode.toggleLidSleep(); }

    KeepAwakeSession &session() { return m_session; }
    const KeepAwakeSession &session() const { return m_session; }
    LidClosedMode &lidMode() { return m_lidMode; }
    ProtectiveRules &rules() { return m_rules; }
    StatusPush &statusPush() { return m_statusPush; }
    ControlService &control() { return m_control; }
    RemoteControl &remoteControl() { return m_remoteControl; }
    PowerSourceMonitor &powerMonitor() { return m_powerMonitor; }
    TelegramNotifier &telegramNotifier() { return m_telegramNotifier; }
    StatusItem *statusItem() const { return m_statusItem.get(); }

    // Shorthands of the state the menu and the tests read.
    bool isRunning() const { return m_session.isRunning(); }
    qint64 remainingSeconds() const { return m_session.remainingSeconds(); }
    QString statusLineText() const { return m_session.statusLineText(); }
    bool lidSleepEnabled() const { return m_lidMode.lidSleepEnabled(); }
    bool lidWakeAtRisk() const { return m_session.lidWakeAtRisk(); }
    void countdownTick() { m_session.countdownTick(); }
    const QTimer *telegramPushTimer() const { return m_statusPush.timer(); }

private:
    void refreshStatusItem();
    QString idleOrStatusLine() const;
    std::optional<QString> pushStatus() const;

    Platform m_platform;
    PowerSourceMonitor m_powerMonitor;
    QNetworkAccessManager m_network;
    TelegramNotifier m_telegramNotifier;
    KeepAwakeSession m_session;
    LidClosedMode m_lidMode;
    ProtectiveRules m_rules;
    ScreenKeeper m_screenKeeper;
    EndNotice m_endNotice;
    StatusPush m_statusPush;
    ControlService m_control; // the session bus interface and the holds it grants
    RemoteCommands m_remoteCommands;
    RemoteControl m_remoteControl; // commands from the user's Telegram chat
    std::unique_ptr<StatusItem> m_statusItem;
    PreferencesWindowController *m_preferencesWindowController = nullptr; // child QObject
};
