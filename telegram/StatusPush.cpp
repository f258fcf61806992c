#include "telegram/StatusPush.h"

#include "BuildConfig.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "telegram/StatusPushRules.h"
#include "telegram/TelegramNotifier.h"

#include <QTimer>

StatusPush::StatusPush(SettingsStore &settings, TelegramNotifier &notifier, StatusSource status,
                       QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_notifier(notifier)
    , m_status(std::move(status)) {}

void StatusPush::setupTelegramPushIfNeeded() {
    // Always through "off" first, so there is never more than one push timer and every set-up
    // restarts the wait from zero.
    removeTimer();
    if (!m_settings.boolForKey(SettingsKeys::tgEnabled))
        return;
    m_timer = new QTimer(this);
    m_timer->setInterval(
        StatusPushRules::intervalMs(m_settings.integerValue(SettingsKeys::tgIntervalMinutes)));
    connect(m_timer, &QTimer::timeout, this, &StatusPush::sendTelegramStatusPush);
    m_timer->start();
}

void StatusPush::stop() {
    if (m_timer)
        m_timer->stop();
}

void StatusPush::removeTimer() {
    if (!m_timer)
        return;
    m_timer->stop();
    m_timer->deleteLater();
    m_timer = nullptr;
}

void StatusPush::sendTelegramStatusPush() {
    TelegramNotifier::Config config;
    const QString officialChatID =
        m_settings.stringValue(SettingsKeys::tgOfficialChatID).value_or(QString());
    if (!officialChatID.isEmpty()) {
        config = {QString::fromUtf8(BuildConfig::officialBotToken), officialChatID};
    } else {
        config = {m_settings.stringValue(SettingsKeys::tgBotToken).value_or(QString()),
                  m_settings.stringValue(SettingsKeys::tgChatID).value_or(QString())};
    }
    const std::optional<QString> statusLine = m_status ? m_status() : std::nullopt;
    // A failed push is not retried or shown: the next one comes at the next firing.
    m_notifier.send(
        StatusPushRules::message(statusLine.has_value(), statusLine.value_or(QString())), config);
}
