// The keep-awake period: starting, stopping, the once-a-second countdown and its status line.
#include "app/AppDelegate.h"

#include "platform/AlertPresenter.h"
#include "platform/Clock.h"
#include "sleep/StatusLine.h"

namespace {
const QString kAssertionReason = QStringLiteral("Korvella防睡眠中");
constexpr int kTickIntervalMs = 1000;
} // namespace

bool AppDelegate::takeAssertion() {
    return m_sleepPreventer.start(m_lidSleepEnabled ? SleepPreventer::Mode::system
                                                    : SleepPreventer::Mode::userIdle,
                                  kAssertionReason);
}

void AppDelegate::toggle() {
    if (m_isRunning)
        stopPreventingSleep();
    else
        startPreventingSleep(0);
}

void AppDelegate::selectDuration(int tag) {
    startPreventingSleep(tag);
}

void AppDelegate::startPreventingSleep(int minutes) {
    stopCountdownTimer();
    if (!takeAssertion()) {
        Alert alert;
        alert.style = Alert::Style::Warning;
        alert.messageText = QStringLiteral("Korvella");
        alert.informativeText = QStringLiteral("無法啟動防睡眠，請稍後再試一次。");
        m_platform.alerts->run(alert);
        return;
    }
    m_isOnACPower = m_powerMonitor.isOnACPower();
    m_lidWakeAtRisk = m_lidSleepEnabled && !m_isOnACPower;
    m_isRunning = true;
    m_activeDurationMinutes = minutes;
    if (minutes != 0) {
        m_isInfinite = false;
        m_remainingSeconds = qint64(minutes) * 60;
        m_lastTickMs = m_platform.clock->nowMs();
        m_timer = new QTimer(this);
        m_timer->setInterval(kTickIntervalMs);
        connect(m_timer, &QTimer::timeout, this, &AppDelegate::countdownTick);
        m_timer->start();
    } else {
        m_isInfinite = true;
    }
    refreshStatusItem();
}

void AppDelegate::countdownTick() {
    // Take off the whole seconds that really passed (at least one), so late ticks from a busy
    // machine or a forced suspend do not stretch the period. Fractions carry to the next tick.
    const qint64 now = m_platform.clock->nowMs();
    const qint64 passed = std::max<qint64>(1, (now - m_lastTickMs) / 1000);
    m_lastTickMs = std::min(m_lastTickMs + passed * 1000, now);
    m_remainingSeconds = std::max<qint64>(0, m_remainingSeconds - passed);
    if (m_remainingSeconds >= 1)
        refreshStatusItem();
    else
        stopPreventingSleep();
}

void AppDelegate::stopPreventingSleep() {
    stopCountdownTimer();
    m_sleepPreventer.stop();
    m_isRunning = false;
    m_isInfinite = false;
    m_remainingSeconds = 0;
    m_activeDurationMinutes = 0;
    m_lidWakeAtRisk = false;
    refreshStatusItem();
}

void AppDelegate::stopCountdownTimer() {
    if (!m_timer)
        return;
    m_timer->stop();
    // The last tick stops the period from inside the timer's own signal: delete it later.
    m_timer->deleteLater();
    m_timer = nullptr;
}

QString AppDelegate::statusLineText() const {
    return formatStatusLine(m_isInfinite, m_remainingSeconds, m_lidWakeAtRisk);
}
