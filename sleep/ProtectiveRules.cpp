#include "sleep/ProtectiveRules.h"

#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "sleep/KeepAwakeSession.h"
#include "sleep/PowerSourceMonitor.h"

ProtectiveRules::ProtectiveRules(KeepAwakeSession &session, PowerSourceMonitor &monitor,
                                 SettingsStore &settings, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_monitor(monitor)
    , m_settings(settings) {
    connect(&m_session, &KeepAwakeSession::changed, this, &ProtectiveRules::sessionChanged);
}

bool ProtectiveRules::stopOnUnplug(const SettingsStore &settings) {
    return settings.boolForKey(SettingsKeys::stopOnUnplug);
}

int ProtectiveRules::stopBelowBatteryPercent(const SettingsStore &settings) {
    const qint64 stored = settings.integerForKey(SettingsKeys::stopBelowBatteryPercent);
    return stored >= 1 && stored <= 100 ? int(stored) : 0;
}

QVariantMap ProtectiveRules::inForce(const SettingsStore &settings) {
    return {
        {QStringLiteral("stop_on_unplug"), stopOnUnplug(settings)},
        {QStringLiteral("stop_below_battery_percent"), stopBelowBatteryPercent(settings)},
        {QStringLiteral("notify_when_ended"), settings.boolForKey(SettingsKeys::notifyWhenEnded)},
        {QStringLiteral("keep_screen_on"), settings.boolForKey(SettingsKeys::keepScreenOn)}};
}

ProtectiveRules::Reading ProtectiveRules::read(bool isOnAC) const {
    return {isOnAC, m_monitor.batteryPercentage()};
}

bool ProtectiveRules::isLow(const Reading &reading, int threshold) const {
    return threshold > 0 && !reading.onAC && reading.percentage && *reading.percentage < threshold;
}

// The state a period starts in is its baseline: only what changes after that counts.
void ProtectiveRules::sessionChanged() {
    if (!m_session.isRunning())
        m_last.reset();
    else if (!m_last)
        m_last = read(m_monitor.isOnACPower());
}

std::optional<QString> ProtectiveRules::brokenRule(const Reading &before,
                                                   const Reading &now) const {
    if (stopOnUnplug(m_settings) && before.onAC && !now.onAC)
        return QStringLiteral("電源已拔除");
    const int threshold = stopBelowBatteryPercent(m_settings);
    if (!isLow(before, threshold) && isLow(now, threshold))
        return QStringLiteral("電量低於 %1%").arg(threshold);
    return std::nullopt;
}

void ProtectiveRules::handlePowerSourceChange(bool isOnAC) {
    if (!m_last)
        return;
    const Reading now = read(isOnAC);
    const Reading before = *std::exchange(m_last, now);
    if (const auto why = brokenRule(before, now))
        m_session.endPeriod({PeriodEnd::Cause::rule, *why});
}
