// What the status item shows: image, tooltip and the menu, rebuilt from the state at every refresh.
#include "app/AppDelegate.h"

#include "app/IconRenderer.h"
#include "platform/Application.h"
#include "platform/StatusItem.h"
#include "preferences/PreferencesWindowController.h"

namespace {
MenuEntry actionEntry(const QString &title, MenuAction action, const QString &key = {}) {
    MenuEntry entry;
    entry.title = title;
    entry.action = action;
    entry.keyEquivalent = key;
    return entry;
}

MenuEntry textEntry(const QString &title) {
    MenuEntry entry;
    entry.title = title;
    entry.enabled = false;
    return entry;
}
} // namespace

MenuModel AppDelegate::buildMenu() const {
    MenuModel menu;
    auto &entries = menu.entries;
    if (m_isRunning) {
        entries << textEntry(statusLineText()) << MenuEntry::separator();
    }
    entries << actionEntry(m_isRunning ? QStringLiteral("結束防睡眠")
                                       : QStringLiteral("開始防睡眠"),
                           MenuAction::Toggle)
            << MenuEntry::separator();
    for (const DurationOption &option : durationOptions()) {
        MenuEntry entry = actionEntry(option.title, MenuAction::SelectDuration);
        entry.tag = option.minutes;
        entry.checkable = true;
        entry.checked = m_isRunning && m_activeDurationMinutes == option.minutes;
        entries << entry;
    }
    MenuEntry lid =
        actionEntry(m_lidWakeAtRisk ? QStringLiteral("闔蓋時保持喚醒 ⚠️ 電源已拔除")
                                    : QStringLiteral("闔蓋時保持喚醒"),
                    MenuAction::ToggleLidSleep);
    lid.checkable = true;
    lid.checked = m_lidSleepEnabled;
    entries << MenuEntry::separator() << lid << MenuEntry::separator()
            << actionEntry(QStringLiteral("偏好設定…"), MenuAction::OpenPreferences,
                           QStringLiteral(","))
            << actionEntry(QStringLiteral("結束 Korvella"), MenuAction::Quit, QStringLiteral("q"))
            << MenuEntry::separator()
            << textEntry(QStringLiteral("Korvella v") + appVersionString());
    return menu;
}

void AppDelegate::updateStatusIcon() {
    if (!m_statusItem || !m_statusItem->hasButton())
        return;
    m_statusItem->setImages(
        IconRenderer::statusIcons(m_isRunning, m_statusItem->devicePixelRatio()));
    m_statusItem->setTitle(QString());
    m_statusItem->setToolTip(m_isRunning ? QStringLiteral("Korvella・") + statusLineText()
                                         : QStringLiteral("Korvella・防睡眠未啟動"));
}

void AppDelegate::openPreferences() {
    PreferencesWindowController &controller = preferencesWindowController();
    controller.updateConnectionStatusLabel();
    controller.refreshLoginItemStatusAsync();
    m_platform.application->setActivationPolicy(Application::ActivationPolicy::Regular);
    m_platform.application->activateIgnoringOtherApps();
    controller.showWindow();
}
