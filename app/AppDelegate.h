#pragma once

#include "app/DurationOption.h"
#include "platform/MenuModel.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"
#include "sleep/PowerSourceMonitor.h"
#include "sleep/SleepPreventer.h"
#include "telegram/TelegramNotifier.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

class PreferencesWindowController;
class StatusItem;

// The one object that holds the application's state: the keep-awake period, the lid-closed
// mode, the timers, the status item and the collaborators it owns.
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

    // Keep-awake periods.
    void toggle();
    void selectDuration(int tag);
    void startPreventingSleep(int minutes);
    void stopPreventingSleep();
    void countdownTick();
    QString statusLineText() const;

    // Lid-closed mode.
    void toggleLidSleep();
    void showLidWakeExplanationIfNeeded();
    void handlePowerSourceChange(bool isOnAC);

    // Telegram status push.
    void setupTelegramPushIfNeeded();
    void sendTelegramStatusPush();

    // State, read by the menu, the push and tests.
    bool isRunning() const { return m_isRunning; }
    bool isInfinite() const { return m_isInfinite; }
    qint64 remainingSeconds() const { return m_remainingSeconds; }
    qint64 activeDurationMinutes() const { return m_activeDurationMinutes; }
    bool lidSleepEnabled() const { return m_lidSleepEnabled; }
    bool lidWakeAtRisk() const { return m_lidWakeAtRisk; }
    bool isOnACPower() const { return m_isOnACPower; }
    bool hasCountdownTimer() const { return m_timer != nullptr; }
    const QTimer *telegramPushTimer() const { return m_telegramPushTimer; }
    TelegramNotifier &telegramNotifier() { return m_telegramNotifier; }
    const SleepPreventer &sleepPreventer() const { return m_sleepPreventer; }
    PowerSourceMonitor &powerMonitor() { return m_powerMonitor; }
    StatusItem *statusItem() const { return m_statusItem.get(); }

    const QString tgEnabledKey = SettingsKeys::tgEnabled;
    const QString tgBotTokenKey = SettingsKeys::tgBotToken;
    const QString tgChatIDKey = SettingsKeys::tgChatID;
    const QString tgOfficialChatIDKey = SettingsKeys::tgOfficialChatID;
    const QString tgIntervalMinutesKey = SettingsKeys::tgIntervalMinutes;
    const QString lidSleepEnabledKey = SettingsKeys::lidSleepEnabled;
    const QString hasShownLidWakeExplanationKey = SettingsKeys::hasShownLidWakeExplanation;

private:
    void refreshStatusItem();
    void stopCountdownTimer();
    // Takes the assertion of the kind the lid-closed mode selects, replacing a held one.
    bool takeAssertion();

    Platform m_platform;
    SleepPreventer m_sleepPreventer;
    PowerSourceMonitor m_powerMonitor;
    TelegramNotifier m_telegramNotifier;
    std::unique_ptr<StatusItem> m_statusItem;
    PreferencesWindowController *m_preferencesWindowController = nullptr; // child QObject
    QTimer *m_timer = nullptr;
    QTimer *m_telegramPushTimer = nullptr;
    qint64 m_lastTickMs = 0; // when the countdown last accounted for a second

    bool m_isRunning = false;
    bool m_isInfinite = false;
    qint64 m_remainingSeconds = 0;
    qint64 m_activeDurationMinutes = 0;
    bool m_lidSleepEnabled = false;
    bool m_lidWakeAtRisk = false;
    bool m_isOnACPower = true;
};
