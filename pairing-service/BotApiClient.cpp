#include "BotApiClient.h"

#include "LogRedaction.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace pairing {

BotApiClient::BotApiClient(const QString &apiBase, const QString &token, QObject *parent)
    : QObject(parent)
    , m_apiBase(apiBase)
    , m_token(token) {}

QNetworkReply *BotApiClient::call(const QString &method, const QJsonObject &params, int timeoutMs,
                                  Callback callback) {
    QNetworkRequest request(
        QUrl(m_apiBase + QStringLiteral("/bot") + m_token + QLatin1Char('/') + method));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply =
        m_network.post(request, QJsonDocument(params).toJson(QJsonDocument::Compact));
    connect(reply, &QNetworkReply::finished, this, [this, reply, callback = std::move(callback)] {
        reply->deleteLater();
        const Reply result = readReply(reply);
        if (callback)
            callback(result);
    });
    return reply;
}

void BotApiClient::sendMessage(const QString &chatId, const QString &text) {
    sendMessage({{QStringLiteral("chat_id"), chatId}, {QStringLiteral("text"), text}}, 2);
}

void BotApiClient::sendMessage(const QJsonObject &params, int attemptsLeft) {
    call(QStringLiteral("sendMessage"), params, 30000,
         [this, params, attemptsLeft](const Reply &reply) {
             if (reply.ok)
                 return;
             // Telegram limits how fast a bot may send and says when to try again.
             if (reply.httpStatus == 429 && attemptsLeft > 1) {
                 QTimer::singleShot(
                     std::clamp(reply.retryAfterSeconds, 1, 30) * 1000, this,
                     [this, params, attemptsLeft] { sendMessage(params, attemptsLeft - 1); });
                 return;
             }
             qWarning("bot: sending a reply failed: %s", qPrintable(reply.error));
         });
}

BotApiClient::Reply BotApiClient::readReply(QNetworkReply *reply) const {
    Reply result;
    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    const QJsonObject body = document.object();
    result.ok = body.value(QStringLiteral("ok")).toBool();
    result.result = body.value(QStringLiteral("result"));
    result.retryAfterSeconds = body.value(QStringLiteral("parameters"))
                                   .toObject()
                                   .value(QStringLiteral("retry_after"))
                                   .toInt();
    if (result.ok)
        return result;
    const QString description = body.value(QStringLiteral("description")).toString();
    // Qt's error text quotes the request URL, and with it the token.
    result.error = LogRedaction::redact(
        result.httpStatus != 0
            ? QStringLiteral("HTTP %1 %2").arg(result.httpStatus).arg(description)
            : reply->errorString(),
        {m_token});
    return result;
}

} // namespace pairing
