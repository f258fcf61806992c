#include "preferences/OfficialBotPairing.h"

#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "telegram/PairingClient.h"

#include <QTimer>

namespace {
constexpr int kPollIntervalMs = 2000;
constexpr int kSecondsPerTick = 2;
constexpr int kPollBudgetSeconds = 120;
} // namespace

OfficialBotPairing::OfficialBotPairing(PairingClient &client, SettingsStore &settings,
                                       QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_settings(settings) {}

quint64 OfficialBotPairing::start() {
    stopPolling();
    const quint64 attempt = ++m_attempt;
    m_code.clear();
    m_secondsElapsed = 0;
    setState(State::RequestingCode);
    m_client.create([self = QPointer(this), attempt](const PairingClient::CreateResult &result) {
        if (self)
            self->codeReceived(attempt, std::get_if<QString>(&result));
    });
    return attempt;
}

void OfficialBotPairing::codeReceived(quint64 attempt, const QString *code) {
    if (attempt != m_attempt || m_state != State::RequestingCode)
        return;
    if (!code) {
        endCurrent(State::Idle);
        Q_EMIT failed(Failure::CreateFailed);
        return;
    }
    m_code = *code;
    setState(State::Waiting);
    const QPointer self(this);
    Q_EMIT codeArrived(m_code);
    // A receiver may run a modal alert: the user can start again or close everything meanwhile.
    if (self && attempt == m_attempt && m_state == State::Waiting)
        startPolling(attempt);
}

void OfficialBotPairing::startPolling(quint64 attempt) {
    stopPolling();
    auto *timer = new QTimer(this);
    timer->setInterval(kPollIntervalMs);
    connect(timer, &QTimer::timeout, this, [this, attempt] { tick(attempt); });
    m_pollTimer = timer;
    timer->start();
}

// Ticks are counted, not clock time: a tick delayed by an open alert still counts 2 seconds.
void OfficialBotPairing::tick(quint64 attempt) {
    if (!isWaitingFor(attempt))
        return;
    m_secondsElapsed += kSecondsPerTick;
    if (m_secondsElapsed > kPollBudgetSeconds) {
        endCurrent(State::Idle);
        Q_EMIT failed(Failure::TimedOut);
        return;
    }
    m_client.checkStatus(m_code, [self = QPointer(this), attempt](const PairingStatus &status) {
        if (self)
            self->statusReceived(attempt, status);
    });
}

void OfficialBotPairing::statusReceived(quint64 attempt, const PairingStatus &status) {
    switch (status.kind()) {
    case PairingStatus::Kind::Pending:
        return;
    case PairingStatus::Kind::Expired:
    case PairingStatus::Kind::NotFound:
        if (!isWaitingFor(attempt))
            return;
        endCurrent(State::Idle);
        Q_EMIT failed(Failure::Expired);
        return;
    case PairingStatus::Kind::Paired:
        if (!status.chatID().isEmpty()) {
            store(attempt, status);
        } else if (isWaitingFor(attempt)) {
            // Without a chat there is no connection: report it as the failure it is.
            endCurrent(State::Idle);
            Q_EMIT failed(Failure::NoChat);
        }
        return;
    }
}

// A "paired" still counts after the wait timed out, or while a newer attempt is waiting: the
// user did send the code. It never counts twice, nor over a newer attempt's chat.
void OfficialBotPairing::store(quint64 attempt, const PairingStatus &status) {
    if (attempt <= m_storedAttempt)
        return;
    m_storedAttempt = attempt;
    const QString &chatID = status.chatID();
    m_settings.setString(SettingsKeys::tgOfficialChatID, chatID);
    // Always written, so a token of an earlier pairing never outlives it.
    m_settings.setString(SettingsKeys::tgOfficialDeviceToken, status.deviceToken());
    m_settings.setBool(SettingsKeys::tgEnabled, true);
    if (attempt == m_attempt)
        endCurrent(State::Paired);
    else if (m_state == State::Idle)
        setState(State::Paired);
    Q_EMIT paired(chatID);
}

bool OfficialBotPairing::isWaitingFor(quint64 attempt) const {
    return attempt == m_attempt && m_state == State::Waiting;
}

void OfficialBotPairing::endCurrent(State next) {
    stopPolling();
    setState(next);
}

void OfficialBotPairing::stopPolling() {
    if (!m_pollTimer)
        return;
    m_pollTimer->stop();
    m_pollTimer->deleteLater();
    m_pollTimer = nullptr;
}

void OfficialBotPairing::setState(State state) {
    m_state = state;
    Q_EMIT stateChanged(state);
}
