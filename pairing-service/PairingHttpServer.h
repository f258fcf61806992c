#pragma once
#include "CommandWaiters.h"
#include "RateLimiter.h"
#include "ServiceConfig.h"

#include <QAbstractHttpServer>
#include <QHttpServerResponder>
#include <QJsonObject>
#include <QPointer>

#include <functional>

namespace pairing {

class Clock;
class GuardedTcpServer;
class PairingStore;

// The HTTP face of the service: the two pairing endpoints, the devices' command long poll, a
// health check, and in webhook mode the endpoint Telegram posts updates to. Every answer is
// JSON; unknown paths are 404.
class PairingHttpServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    // Handles one update; false when it could not be stored, so Telegram sends it again.
    using UpdateHandler = std::function<bool(const QJsonObject &update)>;

    PairingHttpServer(const ServiceConfig &config, PairingStore &store, const Clock &clock,
                      UpdateHandler onWebhookUpdate, QObject *parent = nullptr);

    // Serves the requests of `listener`, which may park connections waiting for commands.
    void serve(GuardedTcpServer *listener);
    // Forgets rate-limit state that no longer limits anybody.
    void pruneLimits();
    // Commands were queued for these devices: their waiting polls take them.
    void wakeDevices(const QStringList &tokenHashes);
    qsizetype waitingPolls() const { return m_waiters.waiting(); }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    using Status = QHttpServerResponder::StatusCode;
    struct Answer {
        Answer(QJsonObject body, Status status = Status::Ok, QByteArray headerName = {},
               QByteArray headerValue = {})
            : body(std::move(body))
            , status(status)
            , extraHeaderName(std::move(headerName))
            , extraHeaderValue(std::move(headerValue)) {}
        QJsonObject body;
        Status status;
        QByteArray extraHeaderName;
        QByteArray extraHeaderValue;
    };

    Answer route(const QHttpServerRequest &request);
    void respond(const QHttpServerRequest &request, QTcpSocket *socket, const Answer &answer);
    static void write(QHttpServerResponder &responder, const Answer &answer);
    // Answers at once, or holds the request until commands arrive or the hold ends.
    void commands(const QHttpServerRequest &request, QTcpSocket *socket);
    void hold(const QString &tokenHash, const QHttpServerRequest &request, QTcpSocket *socket);
    Answer create(const QHttpServerRequest &request);
    Answer status(const QHttpServerRequest &request);
    Answer health(const QHttpServerRequest &request);
    Answer webhook(const QHttpServerRequest &request);
    // A 429 answer when the client has used up its allowance, otherwise nothing.
    std::optional<Answer> limited(RateLimiter &limiter, const QHttpServerRequest &request);
    QString clientOf(const QHttpServerRequest &request) const;

    const ServiceConfig &m_config;
    PairingStore &m_store;
    const Clock &m_clock;
    UpdateHandler m_onWebhookUpdate;
    RateLimiter m_createLimiter;
    RateLimiter m_statusLimiter;
    const QString m_createPath;
    const QString m_statusPath;
    const QString m_healthPath;
    const QString m_commandsPath;
    QPointer<GuardedTcpServer> m_listener;
    CommandWaiters m_waiters;
};

} // namespace pairing
