#pragma once
#include <QObject>
#include <QTimer>

namespace pairing {

class BotApiClient;

// Registers the service's webhook with Telegram at start, then checks now and then that it is
// still the registered one. Anyone holding the bot token can point the webhook elsewhere;
// this puts it back within one check interval. A registration that fails is tried again
// after 1, 2, 4 ... 60 seconds until it succeeds.
class WebhookKeeper final : public QObject {
    Q_OBJECT
public:
    WebhookKeeper(BotApiClient &api, QString url, QString secret, int checkIntervalMs,
                  QObject *parent = nullptr);
    void start();
    // Asks Telegram which webhook is set and registers ours when it is another.
    void check();

Q_SIGNALS:
    // An answer of Telegram was handled: a check found our webhook in place or could not tell,
    // or a registration succeeded or failed.
    void settled();

private:
    void registerWebhook();

    BotApiClient &m_api;
    QString m_url;
    QString m_secret;
    QTimer m_timer;
    QTimer m_retry;
    int m_failures = 0;
};

} // namespace pairing
