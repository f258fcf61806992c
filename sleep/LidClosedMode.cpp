#include "sleep/LidClosedMode.h"

#include "platform/AlertPresenter.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "sleep/KeepAwakeSession.h"
#include "sleep/PowerSourceMonitor.h"

#include <QPointer>
#include <QStringList>

namespace {
Alert lidWakeExplanation() {
    Alert alert;
    alert.style = Alert::Style::Informational;
    alert.messageText = QStringLiteral("闔蓋時保持喚醒");
    alert.informativeText =
        QStringList{
            QStringLiteral("開啟後，筆電闔上上蓋時主機仍會保持運作（螢幕休眠但系統不睡），"
                           "適合外接螢幕工作或背景下載時使用。"),
            QString(),
            QStringLiteral("請注意限制："),
            QStringLiteral("• 需要接上電源（AC 電源）才有效，僅靠電池無法闔蓋防睡眠"),
            QStringLiteral("• 闔蓋期間如果拔掉電源，防睡眠可能會失效，屆時選單列會顯示提醒"),
            QStringLiteral("• 系統不允許 Korvella 接管闔蓋，或桌面的電源管理自行處理闔蓋時，"
                           "闔蓋仍可能讓電腦睡眠，屆時選單列會顯示「闔蓋仍可能睡眠」"),
        }
            .join(QLatin1Char('\n'));
    alert.buttonTitles = {QStringLiteral("我瞭解")};
    return alert;
}
} // namespace

LidClosedMode::LidClosedMode(KeepAwakeSession &session, PowerSourceMonitor &monitor,
                             SettingsStore &settings, AlertPresenter &alerts, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_monitor(monitor)
    , m_settings(settings)
    , m_alerts(alerts) {
    // A period that starts re-reads the mains state: the warning must be true from its first
    // refresh on.
    m_session.setRiskCheck([self = QPointer(this)] {
        if (!self)
            return false;
        self->readPowerSource();
        return self->m_lidSleepEnabled && !self->m_isOnACPower;
    });
}

void LidClosedMode::load() {
    m_lidSleepEnabled = m_settings.boolForKey(SettingsKeys::lidSleepEnabled);
    applyToSession();
}

void LidClosedMode::readPowerSource() {
    m_isOnACPower = m_monitor.isOnACPower();
}

void LidClosedMode::toggleLidSleep() {
    m_lidSleepEnabled = !m_lidSleepEnabled;
    m_settings.setBool(SettingsKeys::lidSleepEnabled, m_lidSleepEnabled);
    if (m_lidSleepEnabled)
        showLidWakeExplanationIfNeeded();
    if (m_session.isRunning())
        readPowerSource();
    applyToSession();
}

void LidClosedMode::showLidWakeExplanationIfNeeded() {
    if (m_settings.boolForKey(SettingsKeys::hasShownLidWakeExplanation))
        return;
    m_settings.setBool(SettingsKeys::hasShownLidWakeExplanation, true);
    m_alerts.run(lidWakeExplanation());
}

void LidClosedMode::handlePowerSourceChange(bool isOnAC) {
    m_isOnACPower = isOnAC;
    applyToSession();
}

void LidClosedMode::applyToSession() {
    m_session.setLidMode(m_lidSleepEnabled ? SleepPreventer::Mode::system
                                           : SleepPreventer::Mode::userIdle,
                         m_lidSleepEnabled && !m_isOnACPower);
}
