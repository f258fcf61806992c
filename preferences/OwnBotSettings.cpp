// The push switch, the push interval and the user's own bot: each writes its setting at once.
#include "platform/SettingsStore.h"
#include "preferences/IntervalOption.h"
#include "preferences/PreferencesWindowController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>

void PreferencesWindowController::toggleTelegramEnabled() {
    m_platform.settings->setBool(tgEnabledKey, m_tgEnabledCheckbox->isChecked());
    runSettingsChanged();
}

void PreferencesWindowController::intervalChanged() {
    const int index = m_tgIntervalPopup->currentIndex();
    if (index < 0 || index >= intervalOptions().size())
        return;
    m_platform.settings->setInteger(tgIntervalMinutesKey, intervalOptions().at(index).minutes);
    runSettingsChanged();
}

void PreferencesWindowController::controlTextDidEndEditing() {
    saveTelegramFields();
    runSettingsChanged();
}

// Both fields, exactly as shown: blanks are kept and an empty field is stored empty.
void PreferencesWindowController::saveTelegramFields() {
    m_platform.settings->setString(tgBotTokenKey, m_tgTokenField->text());
    m_platform.settings->setString(tgChatIDKey, m_tgChatIDField->text());
}

void PreferencesWindowController::sendTestMessage() {
    saveTelegramFields();
    const TelegramNotifier::Config config{m_tgTokenField->text(), m_tgChatIDField->text()};
    m_telegramNotifier.send(
        QStringLiteral("[Korvella] 測試訊息 ✅ 設定成功！"), config,
        [self = QPointer(this)](bool accepted) {
            if (!self)
                return;
            if (accepted)
                self->showAlert(QStringLiteral("測試成功"),
                                QStringLiteral("已成功傳送到你的 Telegram。"));
            else
                self->showAlert(QStringLiteral("測試失敗"),
                                QStringLiteral("傳送失敗，請確認 Bot Token 與 Chat ID 是否正確。"));
        });
}
