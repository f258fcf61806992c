#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QTimer;
class SettingsStore;
class TelegramNotifier;

// The periodic Telegram status push. It reads the credentials from the settings at every push
// and the state through the function it is given.
class StatusPush final : public QObject {
    Q_OBJECT

public:
    // The status line of a running period, nothing while no period runs.
    using StatusSource = std::function<std::optional<QString>()>;

    StatusPush(SettingsStore &settings, TelegramNotifier &notifier, StatusSource status,
               QObject *parent = nullptr);

    // Re-arms the timer from the settings, or leaves none when pushes are off.
    void setupTelegramPushIfNeeded();
    void sendTelegramStatusPush();
    void stop();

    const QTimer *timer() const { return m_timer; }

private:
    void removeTimer();

    SettingsStore &m_settings;
    TelegramNotifier &m_notifier;
    StatusSource m_status;
    QTimer *m_timer = nullptr;
};
