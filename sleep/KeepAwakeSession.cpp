#include "sleep/KeepAwakeSession.h"

#include "platform/AlertPresenter.h"
#include "platform/Clock.h"
#include "platform/PowerAssertions.h"
#include "sleep/StatusLine.h"

#include <QScopedValueRollback>
#include <QTimer>
#include <utility>

namespace {
const QString kAssertionReason = QStringLiteral("Korvella防睡眠中");
constexpr int kTickIntervalMs = 1000;
constexpr qint64 kLongestRemainingSeconds = 24 * 3600;
} // namespace

KeepAwakeSession::KeepAwakeSession(PowerAssertions &assertions, Clock &clock,
                                   AlertPresenter &alerts, QObject *parent)
    : QObject(parent)
    , m_assertions(assertions)
    , m_sleepPreventer(assertions)
    , m_clock(clock)
    , m_alerts(alerts) {
    m_sleepPreventer.setListener(
        [this](SleepPreventer::Outcome outcome) { assertionAnswered(outcome); });
}

// Going away releases nothing by itself: ending a period is the owner's decision (quit()).
KeepAwakeSession::~KeepAwakeSession() = default;

void KeepAwakeSession::toggle() {
    if (m_isRunning)
        stopPreventingSleep();
    else
        startPreventingSleep(0);
}

bool KeepAwakeSession::extend(int minutes) {
    if (!m_isRunning || m_isInfinite || minutes <= 0)
        return false;
    m_remainingSeconds =
        std::max(m_remainingSeconds,
                 std::min(m_remainingSeconds + qint64(minutes) * 60, kLongestRemainingSeconds));
    m_activeDurationMinutes += minutes;
    Q_EMIT changed();
    return true;
}

bool KeepAwakeSession::takeAssertion() {
    return m_sleepPreventer.start(m_kind, kAssertionReason);
}

// The period begins once its assertion holds; a running one goes on until then, and goes on
// unchanged when the new assertion is refused.
bool KeepAwakeSession::startPreventingSleep(int minutes) {
    m_requestedMinutes = minutes;
    return takeAssertion();
}

void KeepAwakeSession::assertionAnswered(SleepPreventer::Outcome outcome) {
    const bool starting = m_requestedMinutes.has_value();
    switch (outcome) {
    case SleepPreventer::Outcome::taken:
        if (starting)
            beginPeriod(*std::exchange(m_requestedMinutes, std::nullopt));
        else
            lockStateChanged();
        return;
    case SleepPreventer::Outcome::refused:
        m_requestedMinutes.reset();
        showStartFailure();
        if (m_isRunning)
            lockStateChanged();
        return;
    case SleepPreventer::Outcome::lost:
        // Nothing holds and nothing could be taken again: the period is over.
        if (m_isRunning)
            stopPreventingSleep();
        return;
    case SleepPreventer::Outcome::changed:
        lockStateChanged();
        return;
    }
}

void KeepAwakeSession::beginPeriod(int minutes) {
    stopCountdownTimer();
    m_lastEnd.reset();
    m_lidWakeAtRisk = m_riskCheck && m_riskCheck();
    m_isRunning = true;
    m_activeDurationMinutes = minutes;
    m_isInfinite = minutes == 0;
    m_remainingSeconds = 0;
    if (!m_isInfinite) {
        m_remainingSeconds = qint64(minutes) * 60;
        startCountdown();
    }
    Q_EMIT changed();
}

bool KeepAwakeSession::lidLockMissing() const {
    return m_isRunning && m_kind == SleepPreventer::Mode::system &&
           !m_sleepPreventer.holdsLidClosed();
}

void KeepAwakeSession::lockStateChanged() {
    if (!m_inLidSwitch)
        Q_EMIT changed();
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
        endPeriod({PeriodEnd::Cause::timeUp, QStringLiteral("時間到")});
}

void KeepAwakeSession::stopPreventingSleep() {
    endPeriod({});
}

void KeepAwakeSession::endPeriod(const PeriodEnd &end) {
    const bool wasRunning = m_isRunning;
    m_requestedMinutes.reset();
    stopCountdownTimer();
    m_sleepPreventer.stop();
    m_isRunning = false;
    m_isInfinite = false;
    m_remainingSeconds = 0;
    m_activeDurationMinutes = 0;
    m_lidWakeAtRisk = false;
    if (wasRunning) {
        m_lastEnd = end;
        Q_EMIT ended(end);
    }
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
    m_lidWakeAtRisk = wakeAtRisk;
    // The running period keeps its lock until the one of the new kind holds.
    if (kindChanged && (m_isRunning || m_requestedMinutes)) {
        // A service that answers at once is announced below, once.
        const QScopedValueRollback quiet(m_inLidSwitch, true);
        takeAssertion();
    }
    Q_EMIT changed();
}

QString KeepAwakeSession::heldLocks() const {
    return m_assertions.heldLocks();
}

QString KeepAwakeSession::statusLineText() const {
    return formatStatusLine(m_isInfinite, m_remainingSeconds, m_lidWakeAtRisk, lidLockMissing());
}
