#pragma once
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QNetworkReply;

namespace pairing {

class BotApiClient;
class Clock;
class PairingStore;

// Takes the bot's updates with getUpdates long polling, one request at a time. Each update's
// effects and the offset past it are committed in one transaction, so a crash or restart
// neither loses an update nor handles one twice (a reply not yet sent at a crash is lost).
class UpdatePoller final : public QObject {
    Q_OBJECT
public:
    // Handles one update; `alsoStore` joins its transaction. False when nothing was committed.
    using UpdateHandler =
        std::function<bool(const QJsonObject &update, const std::function<bool()> &alsoStore)>;

    UpdatePoller(BotApiClient &api, PairingStore &store, const Clock &clock, int timeoutSeconds,
                 UpdateHandler handleUpdate, QObject *parent = nullptr);
    ~UpdatePoller() override;

    void start();

private:
    void poll();
    bool handleBatch(const QJsonArray &updates);
    void retryLater(int seconds);

    BotApiClient &m_api;
    PairingStore &m_store;
    const Clock &m_clock;
    int m_timeoutSeconds;
    UpdateHandler m_handleUpdate;
    qint64 m_offset = 0;
    qint64 m_offsetAtMs = 0;
    bool m_offsetLoaded = false;
    int m_failures = 0;
    QTimer m_retry;
    QPointer<QNetworkReply> m_inFlight;
};

} // namespace pairing
