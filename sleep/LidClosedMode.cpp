// The lid-closed mode: a persistent switch that makes periods keep the whole system awake, and
// the warning shown while such a period runs without mains power.
#include "app/AppDelegate.h"

#include "platform/AlertPresenter.h"
#include "platform/SettingsStore.h"

namespace {
Alert lidWakeExplanation() {
    Alert alert;
    alert.style = Alert::Style::Informational;
    alert.messageText = QStringLiteral("闔蓋時保持喚醒");
    alert.informativeText =
        QStringList{
            QStringLiteral("開啟後，MacBook 闔上上蓋時主機仍會保持運作（螢幕休眠但系統不睡），"
                           "適合外接螢幕工作或背景下載時使用。"),
            QString(),
            QStringLiteral("請注意限制："),
            QStringLiteral("• 需要接上電源（AC 電源）才有效，僅靠電池無法闔蓋防睡眠"),
            QStringLiteral("• 闔蓋期間如果拔掉電源，防睡眠可能會失效，屆時選單列會顯示提醒"),
        }
            .join(QLatin1Char('\n'));
    alert.buttonTitles = {QStringLiteral("我瞭解")};
    return alert;
}
} // namespace

void AppDelegate::toggleLidSleep() {
    m_lidSleepEnabled = !m_lidSleepEnabled;
    m_platform.settings->setBool(lidSleepEnabledKey, m_lidSleepEnabled);
    if (!m_lidSleepEnabled)
        m_lidWakeAtRisk = false;
    else
        showLidWakeExplanationIfNeeded();
    if (m_isRunning) {
        // A failed re-take is not reported; the period stays shown until stopped or restarted.
        takeAssertion();
        m_isOnACPower = m_powerMonitor.isOnACPower();
        m_lidWakeAtRisk = m_lidSleepEnabled && !m_isOnACPower;
    }
    refreshStatusItem();
}

void AppDelegate::showLidWakeExplanationIfNeeded() {
    if (m_platform.settings->boolForKey(hasShownLidWakeExplanationKey))
        return;
    m_platform.settings->setBool(hasShownLidWakeExplanationKey, true);
    m_platform.alerts->run(lidWakeExplanation());
}

void AppDelegate::handlePowerSourceChange(bool isOnAC) {
    const bool wasOnAC = m_isOnACPower;
    m_isOnACPower = isOnAC;
    if (!m_lidSleepEnabled || !m_isRunning || wasOnAC == isOnAC)
        return;
    m_lidWakeAtRisk = !isOnAC;
    refreshStatusItem();
}
