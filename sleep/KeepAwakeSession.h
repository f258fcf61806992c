#pragma once

#include "sleep/SleepPreventer.h"

#include <QObject>
#include <QString>
#include <functional>

class AlertPresenter;
class Clock;
class PowerAssertions;
class QTimer;

// One keep-awake period at a time: its assertion, its countdown and the state every caller
// reads (the menu, the push, and anything else that starts or stops periods). Emits changed()
// once after every change of that state.
class KeepAwakeSession final : public QObject {
    Q_OBJECT

public:
    // Asked once the assertion of a starting period holds: does it run at risk of sleeping anyway?
    using RiskCheck = std::function<bool()>;

    KeepAwakeSession(PowerAssertions &assertions, Clock &clock, AlertPresenter &alerts,
                     QObject *parent = nullptr);
    ~KeepAwakeSession() override;

    // Starts a period of `minutes` (0: without limit), replacing a running one. When no
    // assertion can be taken the user is warned and false returned.
    bool start(int minutes) { return startPreventingSleep(minutes); }
    void stop() { stopPreventingSleep(); }
    void toggle();

    bool startPreventingSleep(int minutes);
    void stopPreventingSleep();
    // One second of the countdown; public so tests and late timers can drive it.
    void countdownTick();
    QString statusLineText() const;

    // The kind of assertion periods hold and whether a running one is at risk. A running period
    // takes the new kind at once; a failed re-take is not reported, the period stays shown.
    void setLidMode(SleepPreventer::Mode kind, bool wakeAtRisk);
    void setRiskCheck(RiskCheck check) { m_riskCheck = std::move(check); }

    bool isRunning() const { return m_isRunning; }
    bool isInfinite() const { return m_isInfinite; }
    qint64 remainingSeconds() const { return m_remainingSeconds; }
    qint64 activeDurationMinutes() const { return m_activeDurationMinutes; }
    bool lidWakeAtRisk() const { return m_lidWakeAtRisk; }
    SleepPreventer::Mode assertionKind() const { return m_kind; }
    bool hasCountdownTimer() const { return m_timer != nullptr; }
    const SleepPreventer &sleepPreventer() const { return m_sleepPreventer; }

Q_SIGNALS:
    void changed();

private:
    bool takeAssertion();
    void showStartFailure();
    void startCountdown();
    void stopCountdownTimer();

    SleepPreventer m_sleepPreventer;
    Clock &m_clock;
    AlertPresenter &m_alerts;
    RiskCheck m_riskCheck;
    SleepPreventer::Mode m_kind = SleepPreventer::Mode::userIdle;
    QTimer *m_timer = nullptr;
    qint64 m_lastTickMs = 0; // when the countdown last accounted for a second

    bool m_isRunning = false;
    bool m_isInfinite = false;
    qint64 m_remainingSeconds = 0;
    qint64 m_activeDurationMinutes = 0;
    bool m_lidWakeAtRisk = false;
};
