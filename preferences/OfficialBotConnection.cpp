// The official bot: connection status, its test message, and what the pairing flow shows.
#include "platform/AlertPresenter.h"
#include "platform/SettingsStore.h"
#include "platform/UrlOpener.h"
#include "preferences/PairingDeepLink.h"
#include "preferences/PlainText.h"
#include "preferences/PreferencesWindow.h"
#include "preferences/PreferencesWindowController.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace {
const QString kConnectTitle = QStringLiteral("連接 Telegram（官方 Bot，推薦）");
} // namespace

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

void PreferencesWindowController::sendOfficialTestMessage() {
    const QString chatID = officialChatID();
    if (chatID.isEmpty())
        return;
    m_officialTestButton->setEnabled(false);
    m_telegramNotifier.send(
        QStringLiteral("[Korvella] 測試訊息 ✅ 官方 Bot 連線正常！"),
        {m_config.officialBotToken, chatID}, [self = QPointer(this)](bool accepted) {
            if (!self)
                return;
            self->m_officialTestButton->setEnabled(true);
            if (accepted)
                self->showAlert(QStringLiteral("測試成功"),
                                QStringLiteral("已成功傳送到你的 Telegram。"));
            else
                self->showAlert(QStringLiteral("測試失敗"),
                                QStringLiteral("傳送失敗，請確認網路連線，或重新連接官方 Bot。"));
        });
}

void PreferencesWindowController::connectPairing() {
    connect(&m_pairing, &OfficialBotPairing::stateChanged, this,
            &PreferencesWindowController::showPairingState);
    connect(&m_pairing, &OfficialBotPairing::codeArrived, this,
            &PreferencesWindowController::openTelegramPairing);
    connect(&m_pairing, &OfficialBotPairing::paired, this,
            &PreferencesWindowController::pairingSucceeded);
    connect(&m_pairing, &OfficialBotPairing::failed, this,
            &PreferencesWindowController::pairingFailed);
}

void PreferencesWindowController::connectOfficialBot() {
    m_pairing.start();
}

void PreferencesWindowController::showPairingState(OfficialBotPairing::State state) {
    switch (state) {
    case OfficialBotPairing::State::Idle:
        m_connectButton->setEnabled(true);
        PlainText::setButtonTitle(m_connectButton, kConnectTitle);
        return;
    case OfficialBotPairing::State::RequestingCode:
        m_connectButton->setEnabled(false);
        PlainText::setButtonTitle(m_connectButton, QStringLiteral("產生配對碼…"));
        return;
    case OfficialBotPairing::State::Waiting:
        m_connectButton->setEnabled(false);
        PlainText::setButtonTitle(m_connectButton, QStringLiteral("等待配對中…（") +
                                                       m_pairing.code() + QStringLiteral("）"));
        return;
    case OfficialBotPairing::State::Paired:
        m_connectButton->setEnabled(true);
        PlainText::setButtonTitle(m_connectButton, QStringLiteral("重新連接官方 Bot"));
        return;
    }
}

void PreferencesWindowController::openTelegramPairing(const QString &code) {
    const Alert explanation{
        Alert::Style::Informational,
        QStringLiteral("連接 Telegram"),
        QStringLiteral("即將開啟 Telegram，請直接按「傳送」把這則訊息送給 @%1：\n\n/pair ")
                .arg(m_config.officialBotUsername) +
            code + QStringLiteral("\n\n傳送後幾秒內這裡會自動顯示連接成功。"),
        {QStringLiteral("開啟 Telegram"), QStringLiteral("取消")}};
    if (m_platform.alerts->run(explanation) != 0)
        return;
    // A link that cannot be formed or opened is not reported: the user can still send the code.
    if (const std::optional<QUrl> link =
            pairingDeepLink(m_config.deepLinkBase, m_config.officialBotUsername, code))
        m_platform.urlOpener->open(*link);
}

void PreferencesWindowController::pairingSucceeded() {
    m_tgEnabledCheckbox->setChecked(true);
    updateConnectionStatusLabel();
    runSettingsChanged();
    showAlert(QStringLiteral("配對成功"),
              QStringLiteral("已連接 Telegram，之後會定時收到 Korvella 的狀態推播。"));
}

void PreferencesWindowController::pairingFailed(OfficialBotPairing::Failure failure) {
    switch (failure) {
    case OfficialBotPairing::Failure::CreateFailed:
    case OfficialBotPairing::Failure::NoChat:
        showAlert(QStringLiteral("連線失敗"),
                  QStringLiteral("無法連上配對伺服器，請確認網路連線後再試一次。"));
        return;
    case OfficialBotPairing::Failure::TimedOut:
        showAlert(QStringLiteral("配對逾時"),
                  QStringLiteral("超過 2 分鐘沒有收到配對訊息，請重新產生配對碼再試一次。"));
        return;
    case OfficialBotPairing::Failure::Expired:
        return; // the wait ends without an alert of its own
    }
}
