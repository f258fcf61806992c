#include "telegram/LongPoll.h"

#include <QDateTime>
#include <QNetworkReply>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace {
constexpr int kMinIntervalMs = 1000;
}

LongPoll::LongPoll(QNetworkAccessManager &network, MakeRequest makeRequest, Handle handle,
                   QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_makeRequest(std::move(makeRequest))
    , m_handle(std::move(handle)) {}

LongPoll::~LongPoll() {
    stop();
}

void LongPoll::start() {
    if (m_active)
        return;
    m_active = true;
    m_backoffMs = firstBackoffMs;
    send();
}

void LongPoll::stop() {
    m_active = false;
    ++m_run;
    removeTimer();
    // A request left running would still hold the bot's update stream, and a second poller
    // started meanwhile would be refused by Telegram.
    if (QNetworkReply *reply = std::exchange(m_reply, nullptr))
        reply->abort();
}

void LongPoll::send() {
    removeTimer();
    const std::optional<HttpExchange::Request> request = m_makeRequest();
    if (!request) {
        m_active = false;
        return;
    }
    m_sentAtMs = QDateTime::currentMSecsSinceEpoch();
    const quint64 run = m_run;
    m_reply = HttpExchange::start(m_network, *request,
                                  [self = QPointer(this), run](const HttpOutcome &outcome) {
                                      if (self)
                                          self->finished(run, outcome);
                                  });
}

void LongPoll::finished(quint64 run, const HttpOutcome &outcome) {
    if (run != m_run || !m_active)
        return;
    m_reply = nullptr;
    const Next next = m_handle(outcome);
    // Handling may have stopped or restarted the poll (a command that changed the settings).
    if (run != m_run || !m_active)
        return;
    switch (next) {
    case Next::Now:
        m_backoffMs = firstBackoffMs;
        return send();
    case Next::Later: {
        m_backoffMs = firstBackoffMs;
        const qint64 since = QDateTime::currentMSecsSinceEpoch() - m_sentAtMs;
        return sendAfter(int(std::clamp<qint64>(kMinIntervalMs - since, 0, kMinIntervalMs)));
    }
    case Next::Retry:
        sendAfter(m_backoffMs);
        m_backoffMs = std::min(m_backoffMs * 2, maxBackoffMs);
        return;
    case Next::Stop:
        m_active = false;
        return;
    }
}

void LongPoll::sendAfter(int delayMs) {
    removeTimer();
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &LongPoll::send);
    m_timer->start(delayMs);
}

void LongPoll::removeTimer() {
    if (!m_timer)
        return;
    m_timer->stop();
    // Called from the timer's own signal when it fires: delete it later.
    m_timer->deleteLater();
    m_timer = nullptr;
}
