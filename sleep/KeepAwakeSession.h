#pragma once

#include "sleep/PeriodEnd.h"
#include "sleep/SleepPreventer.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

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

    // Starts a period of `minutes` (0: without limit), replacing a running one once the new
    // assertion holds, which may be after this returns. When it cannot be taken the user is
    // warned and a running period goes on; false when that is known at once.
    bool start(int minutes) { return startPreventingSleep(minutes); }
    void stop() { stopPreventingSleep(); }
    void toggle();
    // Adds `minutes` to a running timed period, never past a day from now. False, changing
    // nothing, when no timed period runs: an unlimited one needs no more time.
    bool extend(int minutes);
    // stopPreventingSleep() with the reason a running period ends for.
    void endPeriod(const PeriodEnd &end);

    bool startPreventingSleep(int minutes);
    void stopPreventingSleep();
    // One second of the countdown; public so tests and late timers can drive it.
    void countdownTick();
    QString statusLineText() const;

    // The kind of assertion periods hold and whether a running one is at risk. A running period
    // asks for the new kind and keeps its lock until that holds; a refusal is shown and leaves
    // the old lock.
    void setLidMode(SleepPreventer::Mode kind, bool wakeAtRisk);
    void setRiskCheck(RiskCheck check) { m_riskCheck = std::move(check); }

    bool isRunning() const { return m_isRunning; }
    bool isInfinite() const { return m_isInfinite; }
    qint64 remainingSeconds() const { return m_remainingSeconds; }
    qint64 activeDurationMinutes() const { return m_activeDurationMinutes; }
    bool lidWakeAtRisk() const { return m_lidWakeAtRisk; }
    // Lid-closed mode is on but nothing stops the lid from putting the machine to sleep.
    bool lidLockMissing() const;
    // The locks held right now, e.g. "logind sleep + lid, GNOME session"; empty when none.
    QString heldLocks() const;
    SleepPreventer::Mode assertionKind() const { return m_kind; }
    bool hasCountdownTimer() const { return m_timer != nullptr; }
    const SleepPreventer &sleepPreventer() const { return m_sleepPreventer; }
    // How the last period ended; nothing once the next one has begun.
    const std::optional<PeriodEnd> &lastEnd() const { return m_lastEnd; }

Q_SIGNALS:
    void changed();
    // A running period ended; sent before the changed() that shows it.
    void ended(const PeriodEnd &end);

private:
    bool takeAssertion();
    void assertionAnswered(SleepPreventer::Outcome outcome);
    void beginPeriod(int minutes);
    void lockStateChanged();
    void showStartFailure();
    void startCountdown();
    void stopCountdownTimer();

    PowerAssertions &m_assertions;
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
    // The length of a period whose assertion is still being taken.
    std::optional<int> m_requestedMinutes;
    bool m_inLidSwitch = false;
    std::optional<PeriodEnd> m_lastEnd;
};
