#pragma once
#include "RateLimiter.h"
#include "ServiceConfig.h"

#include <QAbstractHttpServer>
#include <QHttpServerResponder>
#include <QJsonObject>

#include <functional>

namespace pairing {

class Clock;
class PairingStore;

// The HTTP face of the service: the two pairing endpoints, a health check, and in webhook mode
// the endpoint Telegram posts updates to. Every answer is JSON; unknown paths are 404.
class PairingHttpServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    using UpdateHandler = std::function<void(const QJsonObject &update)>;

    PairingHttpServer(const ServiceConfig &config, PairingStore &store, const Clock &clock,
                      UpdateHandler onWebhookUpdate, QObject *parent = nullptr);

    // Forgets rate-limit state that no longer limits anybody.
    void pruneLimits();

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
    Answer create(const QHttpServerRequest &request);
    Answer status(const QHttpServerRequest &request);
    Answer health(const QHttpServerRequest &request);
    Answer webhook(const QHttpServerRequest &request);
    // A 429 answer when the client has used up its allowance, otherwise nothing.
    std::optional<Answer> limited(RateLimiter &limiter, const QHttpServerRequest &request);

    const ServiceConfig &m_config;
    PairingStore &m_store;
    const Clock &m_clock;
    UpdateHandler m_onWebhookUpdate;
    RateLimiter m_createLimiter;
    RateLimiter m_statusLimiter;
    const QString m_createPath;
    const QString m_statusPath;
    const QString m_healthPath;
};

} // namespace pairing
