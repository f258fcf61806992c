#include "PairingHttpServer.h"

#include "ClientAddress.h"
#include "Clock.h"
#include "GuardedTcpServer.h"
#include "HttpResponse.h"
#include "PairingCode.h"
#include "PairingStore.h"

#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QUrlQuery>

namespace pairing {

namespace {

using Status = QHttpServerResponder::StatusCode;

QJsonObject error(const char *code) {
    return {{QStringLiteral("error"), QLatin1String(code)}};
}

// Compares in time independent of where the texts differ, so the secret cannot be guessed
// byte by byte from response times.
bool sameSecret(const QByteArray &given, const QByteArray &expected) {
    if (given.size() != expected.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given.at(i) ^ expected.at(i));
    return difference == 0;
}

// Codes longer than this are refused outright instead of looked up.
constexpr int maxCodeParameterLength = 64;

} // namespace

PairingHttpServer::PairingHttpServer(const ServiceConfig &config, PairingStore &store,
                                     const Clock &clock, UpdateHandler onWebhookUpdate,
                                     QObject *parent)
    : QAbstractHttpServer(parent)
    , m_config(config)
    , m_store(store)
    , m_clock(clock)
    , m_onWebhookUpdate(std::move(onWebhookUpdate))
    , m_createLimiter(config.createLimit)
    , m_statusLimiter(config.statusLimit)
    , m_createPath(config.basePath + QStringLiteral("/create_pairing.php"))
    , m_statusPath(config.basePath + QStringLiteral("/pairing_status.php"))
    , m_healthPath(config.basePath + QStringLiteral("/health"))
    , m_commandsPath(config.basePath + QStringLiteral("/commands"))
    , m_waiters(config.commandHoldMs, [this](const QString &hash) -> std::optional<QJsonArray> {
        const auto taken = m_store.takeCommands(hash, m_clock.nowMs());
        if (!taken)
            return std::nullopt;
        QJsonArray commands;
        for (const PairingStore::Command &command : *taken)
            commands.append(QJsonObject{{QStringLiteral("command"), command.name},
                                        {QStringLiteral("argument"), command.argument},
                                        {QStringLiteral("queued_at"), command.queuedAt}});
        return commands;
    }) {}

void PairingHttpServer::wakeDevices(const QStringList &tokenHashes) {
    for (const QString &hash : tokenHashes)
        m_waiters.wake(hash);
}

void PairingHttpServer::pruneLimits() {
    const qint64 now = m_clock.nowMs();
    m_createLimiter.prune(now);
    m_statusLimiter.prune(now);
}

bool PairingHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) {
    if (m_config.remoteControl && request.url().path() == m_commandsPath &&
        request.method() == QHttpServerRequest::Method::Get)
        commands(request, socket);
    else
        respond(request, socket, route(request));
    return true;
}

void PairingHttpServer::respond(const QHttpServerRequest &request, QTcpSocket *socket,
                                const Answer &answer) {
    QHttpServerResponder responder = makeResponder(request, socket);
    write(responder, answer);
}

void PairingHttpServer::write(QHttpServerResponder &responder, const Answer &answer) {
    const QByteArray body = QJsonDocument(answer.body).toJson(QJsonDocument::Compact);
    if (answer.extraHeaderName.isEmpty()) {
        responder.write(body, {{"Content-Type", "application/json"}, {"Cache-Control", "no-store"}},
                        answer.status);
    } else {
        responder.write(body,
                        {{"Content-Type", "application/json"},
                         {"Cache-Control", "no-store"},
                         {answer.extraHeaderName, answer.extraHeaderValue}},
                        answer.status);
    }
}

void PairingHttpServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) {
    // Not reached: handleRequest answers every request, unknown paths included.
    makeResponder(request, socket).write(Status::NotFound);
}

PairingHttpServer::Answer PairingHttpServer::route(const QHttpServerRequest &request) {
    using Method = QHttpServerRequest::Method;
    const QString path = request.url().path();
    const auto only = [&](Method method, const char *allow, auto handler) -> Answer {
        if (request.method() != method)
            return {error("method_not_allowed"), Status::MethodNotAllowed, "Allow", allow};
        return (this->*handler)(request);
    };
    if (path == m_createPath)
        return only(Method::Post, "POST", &PairingHttpServer::create);
    if (path == m_statusPath)
        return only(Method::Get, "GET", &PairingHttpServer::status);
    if (m_config.remoteControl && path == m_commandsPath)
        return {error("method_not_allowed"), Status::MethodNotAllowed, "Allow", "GET"};
    if (path == m_healthPath)
        return only(Method::Get, "GET", &PairingHttpServer::health);
    if (m_config.updates == UpdateMode::Webhook && path == m_config.webhookPath)
        return only(Method::Post, "POST", &PairingHttpServer::webhook);
    return {error("not_found"), Status::NotFound};
}

QString PairingHttpServer::clientOf(const QHttpServerRequest &request) const {
    return ClientAddress::resolve(request.remoteAddress(), request.value("X-Forwarded-For"),
                                  m_config.trustedProxies)
        .toString();
}

std::optional<PairingHttpServer::Answer>
PairingHttpServer::limited(RateLimiter &limiter, const QHttpServerRequest &request) {
    const QHostAddress client = ClientAddress::resolve(
        request.remoteAddress(), request.value("X-Forwarded-For"), m_config.trustedProxies);
    const int retryAfter = limiter.take(ClientAddress::limitKey(client), m_clock.nowMs());
    if (retryAfter == 0)
        return std::nullopt;
    QJsonObject body = error("rate_limited");
    body.insert(QStringLiteral("retry_after"), retryAfter);
    return Answer{body, Status::TooManyRequests, "Retry-After", QByteArray::number(retryAfter)};
}

PairingHttpServer::Answer PairingHttpServer::create(const QHttpServerRequest &request) {
    if (auto refusal = limited(m_createLimiter, request))
        return *refusal;
    const PairingStore::Created created =
        m_store.createCode(m_clock.nowMs(), m_config.maxLiveCodes);
    switch (created.kind) {
    case PairingStore::Created::Ok:
        return {{{QStringLiteral("code"), created.code}}};
    case PairingStore::Created::TooManyLiveCodes:
        qWarning("create: refused %s, %d live codes already", qPrintable(clientOf(request)),
                 m_config.maxLiveCodes);
        return {error("too_many_codes"), Status::ServiceUnavailable, "Retry-After", "60"};
    case PairingStore::Created::DatabaseError:
        break;
    }
    return {error("database_unavailable"), Status::ServiceUnavailable};
}

PairingHttpServer::Answer PairingHttpServer::status(const QHttpServerRequest &request) {
    if (auto refusal = limited(m_statusLimiter, request))
        return *refusal;
    const QUrlQuery query = request.query();
    const QString given = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    if (given.trimmed().isEmpty())
        return {error("missing_code"), Status::BadRequest};
    if (given.size() > maxCodeParameterLength)
        return {error("invalid_code"), Status::BadRequest};
    const QString code = PairingCode::normalize(given);
    const auto statusText = [](const char *text) {
        return QJsonObject{{QStringLiteral("status"), QLatin1String(text)}};
    };
    // Text that can never be a code is unknown without asking the database.
    if (!PairingCode::isWellFormed(code))
        return {statusText("not_found")};
    const PairingStore::Status status =
        m_store.status(code, m_clock.nowMs(), m_config.remoteControl);
    switch (status.kind) {
    case PairingStore::Status::Pending:
        return {statusText("pending")};
    case PairingStore::Status::Expired:
        return {statusText("expired")};
    case PairingStore::Status::NotFound:
        return {statusText("not_found")};
    case PairingStore::Status::Paired: {
        QJsonObject body = statusText("paired");
        // A string, always: the desktop app passes it on unchanged and ignores numbers.
        body.insert(QStringLiteral("chat_id"), status.chatId);
        if (m_config.remoteControl)
            body.insert(QStringLiteral("device_token"), status.deviceToken);
        return {body};
    }
    case PairingStore::Status::DatabaseError:
        break;
    }
    return {error("database_unavailable"), Status::ServiceUnavailable};
}

PairingHttpServer::Answer PairingHttpServer::health(const QHttpServerRequest &) {
    if (!m_store.isReachable())
        return {error("database_unavailable"), Status::ServiceUnavailable};
    return {{{QStringLiteral("status"), QStringLiteral("ok")}}};
}

PairingHttpServer::Answer PairingHttpServer::webhook(const QHttpServerRequest &request) {
    if (!sameSecret(request.value("X-Telegram-Bot-Api-Secret-Token"),
                    m_config.webhookSecret.toUtf8())) {
        qWarning("webhook: refused a call without the right secret token from %s",
                 qPrintable(clientOf(request)));
        return {error("forbidden"), Status::Forbidden};
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parseError);
    if (!document.isObject())
        return {error("bad_update"), Status::BadRequest};
    if (!m_onWebhookUpdate(document.object()))
        return {error("database_unavailable"), Status::ServiceUnavailable};
    return {QJsonObject{}};
}

} // namespace pairing

namespace pairing {

void PairingHttpServer::commands(const QHttpServerRequest &request, QTcpSocket *socket) {
    if (auto refusal = limited(m_statusLimiter, request))
        return respond(request, socket, *refusal);
    const QByteArray authorization = request.value("Authorization");
    const QByteArray token =
        authorization.startsWith("Bearer ") ? authorization.mid(7).trimmed() : QByteArray();
    const Answer unauthorized{error("unauthorized"), Status::Unauthorized, "WWW-Authenticate",
                              "Bearer"};
    if (token.isEmpty() || token.size() > maxCodeParameterLength)
        return respond(request, socket, unauthorized);
    const QString hash = PairingStore::tokenHash(QString::fromLatin1(token));
    const auto chat = m_store.deviceChat(hash);
    if (!chat)
        return respond(request, socket,
                       {error("database_unavailable"), Status::ServiceUnavailable});
    if (chat->isEmpty()) {
        qWarning("commands: refused an unknown or revoked device token from %s",
                 qPrintable(clientOf(request)));
        return respond(request, socket, unauthorized);
    }
    hold(hash, request, socket);
    // Commands queued while no poll was waiting go out at once.
    m_waiters.wake(hash);
}

void PairingHttpServer::hold(const QString &tokenHash, const QHttpServerRequest &request,
                             QTcpSocket *socket) {
    if (const auto parked = m_listener ? m_listener->park(socket) : std::nullopt) {
        const qintptr descriptor = *parked;
        m_waiters.hold(tokenHash, [listener = m_listener, descriptor](const auto &commands) {
            if (!listener)
                return;
            if (commands)
                listener->resume(descriptor,
                                 jsonResponse(200, "OK",
                                              QJsonDocument(CommandWaiters::body(*commands))
                                                  .toJson(QJsonDocument::Compact),
                                              false));
            else
                listener->drop(descriptor);
        });
        return;
    }
    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    m_waiters.hold(
        tokenHash,
        [responder](const auto &commands) {
            if (commands)
                write(*responder, {CommandWaiters::body(*commands)});
        },
        socket);
}

void PairingHttpServer::serve(GuardedTcpServer *listener) {
    m_listener = listener;
    bind(listener);
}

} // namespace pairing
