// The periodic Telegram status push.
#include "BuildConfig.h"
#include "app/AppDelegate.h"
#include "platform/SettingsStore.h"
#include "telegram/StatusPushRules.h"

void AppDelegate::setupTelegramPushIfNeeded() {
    // Always through "off" first, so there is never more than one push timer and every set-up
    // restarts the wait from zero.
    if (m_telegramPushTimer) {
        m_telegramPushTimer->stop();
        m_telegramPushTimer->deleteLater();
        m_telegramPushTimer = nullptr;
    }
    const SettingsStore &settings = *m_platform.settings;
    if (!settings.boolForKey(tgEnabledKey))
        return;
    m_telegramPushTimer = new QTimer(this);
    m_telegramPushTimer->setInterval(
        StatusPushRules::intervalMs(settings.integerValue(tgIntervalMinutesKey)));
    connect(m_telegramPushTimer, &QTimer::timeout, this, &AppDelegate::sendTelegramStatusPush);
    m_telegramPushTimer->start();
}

void AppDelegate::sendTelegramStatusPush() {
    const SettingsStore &settings = *m_platform.settings;
    TelegramNotifier::Config config;
    const QString officialChatID = settings.stringValue(tgOfficialChatIDKey).value_or(QString());
    if (!officialChatID.isEmpty()) {
        config = {QString::fromUtf8(BuildConfig::officialBotToken), officialChatID};
    } else {
        config = {settings.stringValue(tgBotTokenKey).value_or(QString()),
                  settings.stringValue(tgChatIDKey).value_or(QString())};
    }
    // A failed push is not retried or shown: the next one comes at the next firing.
    m_telegramNotifier.send(StatusPushRules::message(m_isRunning, statusLineText()), config);
}
