#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <optional>

class KeepAwakeSession;
class PowerSourceMonitor;
class SettingsStore;

// Ends a running period when the power it depends on goes away: when mains power is pulled, or
// when the battery's charge falls below the chosen percentage. A rule acts only on a change seen
// during the period, never on the state the user started it in, so a period started on a low
// battery runs until the machine is plugged in and unplugged again, or charges and drains again.
class ProtectiveRules final : public QObject {
    Q_OBJECT

public:
    // The thresholds the window offers; 0 is off.
    static constexpr int kBatteryChoices[] = {0, 10, 20, 30, 50};

    ProtectiveRules(KeepAwakeSession &session, PowerSourceMonitor &monitor, SettingsStore &settings,
                    QObject *parent = nullptr);

    // Fed every power-source notification.
    void handlePowerSourceChange(bool isOnAC);

    // The rules as stored; a threshold outside 1 to 100 is off.
    static bool stopOnUnplug(const SettingsStore &settings);
    static int stopBelowBatteryPercent(const SettingsStore &settings);
    // Every rule of this kind in force, as the status reports them: stop_on_unplug,
    // stop_below_battery_percent (0: off), notify_when_ended, keep_screen_on.
    static QVariantMap inForce(const SettingsStore &settings);

private:
    struct Reading {
        bool onAC = true;
        std::optional<double> percentage;
    };

    Reading read(bool isOnAC) const;
    bool isLow(const Reading &reading, int threshold) const;
    std::optional<QString> brokenRule(const Reading &before, const Reading &now) const;
    void sessionChanged();

    KeepAwakeSession &m_session;
    PowerSourceMonitor &m_monitor;
    SettingsStore &m_settings;
    // The last reading of the running period; nothing between periods.
    std::optional<Reading> m_last;
};
