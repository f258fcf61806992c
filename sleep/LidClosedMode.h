#pragma once

#include <QObject>

class AlertPresenter;
class KeepAwakeSession;
class PowerSourceMonitor;
class SettingsStore;

// The persistent switch that makes periods keep the whole system awake, lid closed included,
// and the warning while such a period runs without mains power. It tells the session which
// assertion kind to hold; the session announces the change.
class LidClosedMode final : public QObject {
    Q_OBJECT

public:
    LidClosedMode(KeepAwakeSession &session, PowerSourceMonitor &monitor, SettingsStore &settings,
                  AlertPresenter &alerts, QObject *parent = nullptr);

    // Reads the stored switch; shows nothing and takes nothing.
    void load();
    void toggleLidSleep();
    void showLidWakeExplanationIfNeeded();
    void handlePowerSourceChange(bool isOnAC);
    // Reads the power source afresh.
    void readPowerSource();

    bool lidSleepEnabled() const { return m_lidSleepEnabled; }
    bool isOnACPower() const { return m_isOnACPower; }

private:
    void applyToSession();

    KeepAwakeSession &m_session;
    PowerSourceMonitor &m_monitor;
    SettingsStore &m_settings;
    AlertPresenter &m_alerts;
    bool m_lidSleepEnabled = false;
    bool m_isOnACPower = true;
};
