#include "sleep/KeepAwakeSession.h"

#include "platform/AlertPresenter.h"
#include "platform/Clock.h"
#include "sleep/StatusLine.h"

#include <QTimer>

namespace {
const QString kAssertionReason = QStringLiteral("Korvella防睡眠中");
constexpr int kTickIntervalMs = 1000;
} // namespace

KeepAwakeSession::KeepAwakeSession(PowerAssertions &assertions, Clock &clock,
                                   AlertPresenter &alerts, QObject *parent)
    : QObject(parent)
    , m_sleepPreventer(assertions)
    , m_clock(clock)
    , m_alerts(alerts) {}

// Going away releases nothing by itself: ending a period is the owner's decision (quit()).
KeepAwakeSession::~KeepAwakeSession() = default;

void KeepAwakeSession::toggle() {
    if (m_isRunning)
        stopPreventingSleep();
    else
        startPreventingSleep(0);
}

bool KeepAwakeSession::takeAssertion() {
    return m_sleepPreventer.start(m_kind, kAssertionReason);
}

bool KeepAwakeSession::startPreventingSleep(int minutes) {
    stopCountdownTimer();
    if (!takeAssertion()) {
        showStartFailure();
        return false;
    }
    m_lidWakeAtRisk = m_riskCheck && m_riskCheck();
    m_isRunning = true;
    m_activeDurationMinutes = minutes;
    m_isInfinite = minutes == 0;
    if (!m_isInfinite) {
        m_remainingSeconds = qint64(minutes) * 60;
        startCountdown();
    }
    Q_EMIT changed();
    return true;
}

void KeepAwakeSession::showStartFailure() {
    Alert alert;
    alert.style = Alert::Style::Warning;
    alert.messageText = QStringLiteral("Korvella");
    alert.informativeText = QStringLiteral("無法啟動防睡眠，請稍後再試一次。");
    m_alerts.run(alert);
}

void KeepAwakeSession::startCountdown() {
    m_lastTickMs = m_clock.nowMs();
    m_timer = new QTimer(this);
    m_timer->setInterval(kTickIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &KeepAwakeSession::countdownTick);
    m_timer->start();
}

void KeepAwakeSession::countdownTick() {
    if (!m_isRunning || m_isInfinite)
        return;
    // Take off the whole seconds that really passed (at least one), so late ticks from a busy
    // machine or a forced suspend do not stretch the period. Fractions carry to the next tick.
    const qint64 now = m_clock.nowMs();
    const qint64 passed = std::max<qint64>(1, (now - m_lastTickMs) / 1000);
    m_lastTickMs = std::min(m_lastTickMs + passed * 1000, now);
    m_remainingSeconds = std::max<qint64>(0, m_remainingSeconds - passed);
    if (m_remainingSeconds >= 1)
        Q_EMIT changed();
    else
        stopPreventingSleep();
}

void KeepAwakeSession::stopPreventingSleep() {
    stopCountdownTimer();
    m_sleepPreventer.stop();
    m_isRunning = false;
    m_isInfinite = false;
    m_remainingSeconds = 0;
    m_activeDurationMinutes = 0;
    m_lidWakeAtRisk = false;
    Q_EMIT changed();
}

void KeepAwakeSession::stopCountdownTimer() {
    if (!m_timer)
        return;
    m_timer->stop();
    // The last tick stops the period from inside the timer's own signal: delete it later.
    m_timer->deleteLater();
    m_timer = nullptr;
}

void KeepAwakeSession::setLidMode(SleepPreventer::Mode kind, bool wakeAtRisk) {
    const bool kindChanged = kind != m_kind;
    wakeAtRisk = wakeAtRisk && m_isRunning;
    if (!kindChanged && wakeAtRisk == m_lidWakeAtRisk)
        return;
    m_kind = kind;
    if (kindChanged && m_isRunning)
        takeAssertion();
    m_lidWakeAtRisk = wakeAtRisk;
    Q_EMIT changed();
}

QString KeepAwakeSession::statusLineText() const {
    return formatStatusLine(m_isInfinite, m_remainingSeconds, m_lidWakeAtRisk);
}
