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
    // The period, and what other programs hold awake.
    if (const QString headline = m_control.headline(); !headline.isEmpty()) {
        entries << textEntry(headline) << MenuEntry::separator();
    }
    entries << actionEntry(isRunning() ? QStringLiteral("結束防睡眠")
                                       : QStringLiteral("開始防睡眠"),
                           MenuAction::Toggle)
            << MenuEntry::separator();
    for (const DurationOption &option : durationOptions()) {
        MenuEntry entry = actionEntry(option.title, MenuAction::SelectDuration);
        entry.tag = option.minutes;
        entry.checkable = true;
        entry.checked = isRunning() && m_session.activeDurationMinutes() == option.minutes &&
                        !m_control.isUntilActive();
        entries << entry;
    }
    MenuEntry until = actionEntry(QStringLiteral("直到指定時間…"), MenuAction::KeepAwakeUntil);
    until.checkable = true;
    until.checked = m_control.isUntilActive();
    entries << until;
    MenuEntry lid =
        actionEntry(lidWakeAtRisk() ? QStringLiteral("闔蓋時保持喚醒 ⚠️ 電源已拔除")
                                    : QStringLiteral("闔蓋時保持喚醒"),
                    MenuAction::ToggleLidSleep);
    lid.checkable = true;
    lid.checked = lidSleepEnabled();
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
        IconRenderer::statusIcons(isRunning(), m_statusItem->devicePixelRatio()));
    m_statusItem->setTitle(QString());
    m_statusItem->setToolTip(QStringLiteral("Korvella・") + idleOrStatusLine());
}

// Until the next period, the idle tooltip says why a rule ended the last one.
QString AppDelegate::idleOrStatusLine() const {
    if (isRunning())
        return statusLineText();
    const auto &end = m_session.lastEnd();
    if (end && end->cause == PeriodEnd::Cause::rule)
        return QStringLiteral("防睡眠已自動結束・") + end->why;
    return QStringLiteral("防睡眠未啟動");
}

void AppDelegate::openPreferences() {
    PreferencesWindowController &controller = preferencesWindowController();
    controller.updateConnectionStatusLabel();
    controller.refreshLoginItemStatusAsync();
    m_platform.application->setActivationPolicy(Application::ActivationPolicy::Regular);
    m_platform.application->activateIgnoringOtherApps();
    controller.showWindow();
}
