#include "WebhookKeeper.h"

#include "BotApiClient.h"

#include <QJsonArray>
#include <QPointer>

namespace pairing {

WebhookKeeper::WebhookKeeper(BotApiClient &api, QString url, QString secret, int checkIntervalMs,
                             QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_url(std::move(url))
    , m_secret(std::move(secret)) {
    m_timer.setInterval(checkIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &WebhookKeeper::check);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &WebhookKeeper::registerWebhook);
}

void WebhookKeeper::start() {
    registerWebhook();
    m_timer.start();
}

void WebhookKeeper::check() {
    QPointer<WebhookKeeper> self(this);
    m_api.call(
        QStringLiteral("getWebhookInfo"), {}, 30000, [self](const BotApiClient::Reply &reply) {
            if (!self)
                return;
            if (!reply.ok) {
                qWarning("bot: getWebhookInfo failed: %s", qPrintable(reply.error));
                Q_EMIT self->settled();
                return;
            }
            const QString current = reply.result.toObject().value(QStringLiteral("url")).toString();
            if (current == self->m_url) {
                Q_EMIT self->settled();
                return;
            }
            qWarning("bot: the webhook was changed to %s; registering %s again",
                     current.isEmpty() ? "nothing" : qPrintable(current), qPrintable(self->m_url));
            self->registerWebhook();
        });
}

void WebhookKeeper::registerWebhook() {
    const QJsonObject params{
        {QStringLiteral("url"), m_url},
        {QStringLiteral("secret_token"), m_secret},
        {QStringLiteral("allowed_updates"), QJsonArray{QStringLiteral("message")}},
    };
    m_retry.stop();
    QPointer<WebhookKeeper> self(this);
    m_api.call(QStringLiteral("setWebhook"), params, 30000,
               [self](const BotApiClient::Reply &reply) {
                   if (!self)
                       return;
                   if (reply.ok) {
                       self->m_failures = 0;
                       qInfo("bot: webhook registered: %s", qPrintable(self->m_url));
                       Q_EMIT self->settled();
                       return;
                   }
                   // Without a webhook no update arrives: waiting for the next check would
                   // leave pairing broken for up to ten minutes.
                   const int backoff = std::min(60, 1 << std::min(self->m_failures++, 6));
                   qWarning("bot: registering the webhook failed: %s; trying again in %d s",
                            qPrintable(reply.error), std::max(backoff, reply.retryAfterSeconds));
                   self->m_retry.start(std::max(backoff, reply.retryAfterSeconds) * 1000);
                   Q_EMIT self->settled();
               });
}

} // namespace pairing
