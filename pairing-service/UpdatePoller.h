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

// Takes the bot's updates with getUpdates long polling, one request at a time. The offset of
// the next update is kept in the database, so a restart neither loses nor repeats a batch
// that was already handled.
class UpdatePoller final : public QObject {
    Q_OBJECT
public:
    using UpdateHandler = std::function<void(const QJsonObject &update)>;

    UpdatePoller(BotApiClient &api, PairingStore &store, const Clock &clock, int timeoutSeconds,
                 UpdateHandler handleUpdate, QObject *parent = nullptr);
    ~UpdatePoller() override;

    void start();

private:
    void poll();
    void handleBatch(const QJsonArray &updates);
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
