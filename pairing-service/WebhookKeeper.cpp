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
                return;
            }
            const QString current = reply.result.toObject().value(QStringLiteral("url")).toString();
            if (current == self->m_url)
                return;
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
    const QString url = m_url;
    m_api.call(QStringLiteral("setWebhook"), params, 30000,
               [url](const BotApiClient::Reply &reply) {
                   if (reply.ok)
                       qInfo("bot: webhook registered: %s", qPrintable(url));
                   else
                       qWarning("bot: registering the webhook failed: %s", qPrintable(reply.error));
               });
}

} // namespace pairing
