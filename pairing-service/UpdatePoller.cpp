#include "UpdatePoller.h"

#include "BotApiClient.h"
#include "Clock.h"
#include "PairingStore.h"

#include <QJsonArray>
#include <QNetworkReply>

namespace pairing {

namespace {
// Telegram keeps an unconfirmed update for 24 hours, and after a week without updates it picks
// the next update id at random, possibly below an offset remembered from before. Asking with
// such an offset would confirm, and so drop, the new updates unseen. An offset whose last
// update is older than Telegram's memory protects nothing, so it is not sent.
constexpr qint64 offsetLifetimeMs = 24 * 60 * 60 * 1000;
} // namespace

UpdatePoller::UpdatePoller(BotApiClient &api, PairingStore &store, const Clock &clock,
                           int timeoutSeconds, UpdateHandler handleUpdate, QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_store(store)
    , m_clock(clock)
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
        m_offset = stored->offset;
        m_offsetAtMs = stored->savedAtMs;
        m_offsetLoaded = true;
    }
    const qint64 offset = m_clock.nowMs() - m_offsetAtMs < offsetLifetimeMs ? m_offset : 0;
    const QJsonObject params{
        {QStringLiteral("offset"), offset},
        {QStringLiteral("timeout"), m_timeoutSeconds},
        {QStringLiteral("allowed_updates"), QJsonArray{QStringLiteral("message")}},
    };
    QPointer<UpdatePoller> self(this);
    m_inFlight = m_api.call(QStringLiteral("getUpdates"), params, (m_timeoutSeconds + 15) * 1000,
                            [self](const BotApiClient::Reply &reply) {
                                if (!self)
                                    return;
                                if (reply.ok) {
                                    self->m_failures = 0;
                                    // An update not stored is asked for again after a pause.
                                    if (self->handleBatch(reply.result.toArray()))
                                        self->poll();
                                    else
                                        self->retryLater(1);
                                    return;
                                }
                                qWarning("bot: getUpdates failed: %s", qPrintable(reply.error));
                                if (reply.httpStatus == 409)
                                    qWarning("bot: a webhook is set for this bot, or another "
                                             "process is polling it; only one may take updates");
                                self->retryLater(reply.retryAfterSeconds);
                            });
}

bool UpdatePoller::handleBatch(const QJsonArray &updates) {
    for (const QJsonValue &update : updates) {
        const QJsonObject object = update.toObject();
        // Follows the numbering Telegram uses now, even when it started again lower.
        const PairingStore::UpdateOffset next{
            object.value(QStringLiteral("update_id")).toInteger() + 1, m_clock.nowMs()};
        if (!m_handleUpdate(object, [&] { return m_store.setUpdateOffset(next); }))
            return false;
        m_offset = next.offset;
        m_offsetAtMs = next.savedAtMs;
    }
    return true;
}

void UpdatePoller::retryLater(int seconds) {
    // Backs off 1, 2, 4 ... 60 seconds, or as long as Telegram asked.
    ++m_failures;
    const int backoff = std::min(60, 1 << std::min(m_failures - 1, 6));
    m_retry.start(std::max(seconds, backoff) * 1000);
}

} // namespace pairing
