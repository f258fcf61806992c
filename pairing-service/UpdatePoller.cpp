#include "UpdatePoller.h"

#include "BotApiClient.h"
#include "PairingStore.h"

#include <QJsonArray>
#include <QNetworkReply>

namespace pairing {

UpdatePoller::UpdatePoller(BotApiClient &api, PairingStore &store, int timeoutSeconds,
                           UpdateHandler handleUpdate, QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_store(store)
    , m_timeoutSeconds(timeoutSeconds)
    , m_handleUpdate(std::move(handleUpdate)) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &UpdatePoller::poll);
}

UpdatePoller::~UpdatePoller() {
    // Without its handler, the aborted request cannot call back into this half-destroyed object.
    if (m_inFlight) {
        m_inFlight->disconnect();
        m_inFlight->abort();
        m_inFlight->deleteLater();
    }
}

void UpdatePoller::start() {
    poll();
}

void UpdatePoller::poll() {
    if (!m_offsetLoaded) {
        const auto stored = m_store.updateOffset();
        if (!stored) {
            retryLater(5);
            return;
        }
        m_offset = *stored;
        m_offsetLoaded = true;
    }
    const QJsonObject params{
        {QStringLiteral("offset"), m_offset},
        {QStringLiteral("timeout"), m_timeoutSeconds},
        {QStringLiteral("allowed_updates"), QJsonArray{QStringLiteral("message")}},
    };
    QPointer<UpdatePoller> self(this);
    m_inFlight =
        m_api.call(QStringLiteral("getUpdates"), params, (m_timeoutSeconds + 15) * 1000,
                   [self](const BotApiClient::Reply &reply) {
                       if (!self)
                           return;
                       if (!reply.ok) {
                           qWarning("bot: getUpdates failed: %s", qPrintable(reply.error));
                           if (reply.httpStatus == 409)
                               qWarning("bot: a webhook is set for this bot, or another "
                                        "process is polling it; only one may take updates");
                           self->retryLater(reply.retryAfterSeconds);
                           return;
                       }
                       self->m_failures = 0;
                       qint64 next = self->m_offset;
                       for (const QJsonValue &update : reply.result.toArray()) {
                           const QJsonObject object = update.toObject();
                           next = std::max<qint64>(
                               next, object.value(QStringLiteral("update_id")).toInteger() + 1);
                           self->m_handleUpdate(object);
                       }
                       if (next != self->m_offset) {
                           self->m_offset = next;
                           self->m_store.setUpdateOffset(next);
                       }
                       self->poll();
                   });
}

void UpdatePoller::retryLater(int seconds) {
    // Backs off 1, 2, 4 ... 60 seconds, or as long as Telegram asked.
    ++m_failures;
    const int backoff = std::min(60, 1 << std::min(m_failures - 1, 6));
    m_retry.start(std::max(seconds, backoff) * 1000);
}

} // namespace pairing
