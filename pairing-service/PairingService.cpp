#include "PairingService.h"

#include "BotApiClient.h"
#include "BotConversation.h"
#include "Clock.h"
#include "GuardedTcpServer.h"
#include "PairingHttpServer.h"
#include "PairingStore.h"
#include "UpdatePoller.h"
#include "WebhookKeeper.h"

namespace pairing {

namespace {
constexpr int purgeIntervalMs = 60 * 1000;
constexpr int webhookCheckIntervalMs = 10 * 60 * 1000;
} // namespace

PairingService::PairingService(ServiceConfig config, const Clock &clock, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_clock(clock)
    , m_store(std::make_unique<PairingStore>(m_config.database, m_config.policy))
    , m_conversation(std::make_unique<BotConversation>(
          *m_store, m_clock, m_config.chatLimit, m_config.botUsername, m_config.remoteControl))
    , m_api(std::make_unique<BotApiClient>(m_config.telegramApiBase, m_config.botToken)) {
    connect(&m_purgeTimer, &QTimer::timeout, this, &PairingService::purge);
}

PairingService::~PairingService() = default;

bool PairingService::start(QString *error) {
    if (!m_store->open(error))
        return false;

    m_http = std::make_unique<PairingHttpServer>(
        m_config, *m_store, m_clock,
        [this](const QJsonObject &update) { return handleUpdate(update); });
    // Commands queued on any instance sharing the database (this one included) wake their polls.
    m_store->onCommandsAnnounced([this](const QString &hash) { m_http->wakeDevices({hash}); });
    m_listener = new GuardedTcpServer(m_config.http, m_http.get());
    if (!m_listener->listen(m_config.listenAddress, m_config.port)) {
        *error = QStringLiteral("cannot listen on %1 port %2: %3")
                     .arg(m_config.listenAddress.toString())
                     .arg(m_config.port)
                     .arg(m_listener->errorString());
        delete m_listener;
        m_listener = nullptr;
        return false;
    }
    m_http->serve(m_listener);

    const char *updates = "off";
    if (m_config.updates == UpdateMode::Polling) {
        updates = "getUpdates long polling";
        m_poller = std::make_unique<UpdatePoller>(
            *m_api, *m_store, m_clock, m_config.pollTimeoutSeconds,
            [this](const QJsonObject &update, const std::function<bool()> &alsoStore) {
                return handleUpdate(update, alsoStore);
            });
        m_poller->start();
    } else if (m_config.updates == UpdateMode::Webhook) {
        updates = "webhook";
        if (!m_config.webhookUrl.isEmpty()) {
            m_webhookKeeper = std::make_unique<WebhookKeeper>(
                *m_api, m_config.webhookUrl, m_config.webhookSecret, webhookCheckIntervalMs);
            m_webhookKeeper->start();
        }
    }
    m_purgeTimer.start(purgeIntervalMs);
    qInfo("listening on http://%s:%d%s (%s); updates: %s",
          qPrintable(m_config.listenAddress.toString()), port(), qPrintable(m_config.basePath),
          qPrintable(m_config.database.describe()), updates);
    return true;
}

quint16 PairingService::port() const {
    return m_listener ? m_listener->serverPort() : 0;
}

qsizetype PairingService::waitingPolls() const {
    return m_http ? m_http->waitingPolls() : 0;
}

void PairingService::purge() {
    const qint64 now = m_clock.nowMs();
    m_store->purge(now);
    m_conversation->pruneLimits();
    if (m_http)
        m_http->pruneLimits();
}

bool PairingService::handleUpdate(const QJsonObject &update,
                                  const std::function<bool()> &alsoStore) {
    std::optional<BotConversation::Reply> reply;
    const bool stored = m_store->transaction([&] {
        reply = m_conversation->handle(update);
        if (reply)
            m_store->announceCommands(reply->devices);
        return !alsoStore || alsoStore();
    });
    if (!stored)
        return false;
    if (reply) {
        m_api->sendMessage(reply->chatId, reply->text);
        m_http->wakeDevices(reply->devices);
    }
    return true;
}

} // namespace pairing
