// The official bot: connection status, its test message and the pairing flow.
#include "platform/SettingsStore.h"
#include "preferences/PreferencesWindow.h"
#include "preferences/PreferencesWindowController.h"

#include <QLabel>
#include <QPushButton>

QString PreferencesWindowController::officialChatID() const {
    return m_platform.settings->stringValue(tgOfficialChatIDKey).value_or(QString());
}

void PreferencesWindowController::updateConnectionStatusLabel() {
    m_connectionStatusLabel->setText(officialChatID().isEmpty()
                                         ? QStringLiteral("尚未連接")
                                         : QStringLiteral("✓ 已連接官方 Bot"));
    updateOfficialTestButtonVisibility();
}

void PreferencesWindowController::updateOfficialTestButtonVisibility() {
    m_officialTestButton->setHidden(officialChatID().isEmpty());
    // The button takes a row of its own: the window grows if that row would not fit.
    if (m_window->isVisible())
        m_window->fitHeightToContent();
}
