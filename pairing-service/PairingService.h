#pragma once
#include "ServiceConfig.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <memory>

namespace pairing {

class BotApiClient;
class BotConversation;
class Clock;
class GuardedTcpServer;
class PairingHttpServer;
class PairingStore;
class UpdatePoller;
class WebhookKeeper;

// The whole service: database, HTTP endpoints and the official bot, wired from one
// configuration and one clock.
class PairingService final : public QObject {
    Q_OBJECT
public:
    PairingService(ServiceConfig config, const Clock &clock, QObject *parent = nullptr);
    ~PairingService() override;

    bool start(QString *error);
    quint16 port() const;
    qsizetype waitingPolls() const;
    // Housekeeping, also run every minute: deletes used-up codes and expired commands, forgets
    // idle rate limits.
    void purge();

private:
    // Handles one update in one transaction with `alsoStore`; the reply goes out after commit.
    bool handleUpdate(const QJsonObject &update, const std::function<bool()> &alsoStore = {});

    const ServiceConfig m_config;
    const Clock &m_clock;
    // Declared in the order of construction; destroyed in reverse, users before what they use.
    std::unique_ptr<PairingStore> m_store;
    std::unique_ptr<BotConversation> m_conversation;
    std::unique_ptr<BotApiClient> m_api;
    std::unique_ptr<PairingHttpServer> m_http;
    GuardedTcpServer *m_listener = nullptr; // a child of m_http
    std::unique_ptr<UpdatePoller> m_poller;
    std::unique_ptr<WebhookKeeper> m_webhookKeeper;
    QTimer m_purgeTimer;
};

} // namespace pairing
