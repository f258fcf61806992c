// The official bot: connection status, its test message and the pairing flow (a code from the
// pairing service, the user sends it to the bot, the service is polled until it reports the
// chat).
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
#include <QTimer>

namespace {
constexpr int kPollIntervalMs = 2000;
constexpr int kSecondsPerTick = 2;
constexpr int kPollBudgetSeconds = 120;
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

void PreferencesWindowController::resetConnectButton(const QString &title) {
    m_connectButton->setEnabled(true);
    PlainText::setButtonTitle(m_connectButton, title);
}

void PreferencesWindowController::connectOfficialBot() {
    m_connectButton->setEnabled(false);
    PlainText::setButtonTitle(m_connectButton, QStringLiteral("產生配對碼…"));
    m_pairingBusy = true;
    ++m_pairingAttempt;
    m_pairingClient.create([self = QPointer(this)](const PairingClient::CreateResult &result) {
        if (self)
            self->pairingCodeArrived(result);
    });
}

void PreferencesWindowController::pairingCodeArrived(const PairingClient::CreateResult &result) {
    const QString *code = std::get_if<QString>(&result);
    if (!code) {
        m_pairingBusy = false;
        resetConnectButton(kConnectTitle);
        showAlert(QStringLiteral("連線失敗"),
                  QStringLiteral("無法連上配對伺服器，請確認網路連線後再試一次。"));
        return;
    }
    m_pairingCode = *code;
    m_pairingSecondsElapsed = 0;
    const QString received = *code; // the alert's event loop may outlive `result`
    openTelegramPairing(received);
    startPollingPairing(received);
}

void PreferencesWindowController::openTelegramPairing(const QString &code) {
    PlainText::setButtonTitle(m_connectButton,
                              QStringLiteral("等待配對中…（") + code + QStringLiteral("）"));
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

void PreferencesWindowController::startPollingPairing(const QString &code) {
    endPairing(m_pairingPollTimer);
    auto *timer = new QTimer(this);
    timer->setInterval(kPollIntervalMs);
    const int attempt = m_pairingAttempt;
    connect(timer, &QTimer::timeout, this,
            [this, timer, code, attempt] { pairingTick(timer, code, attempt); });
    m_pairingPollTimer = timer;
    timer->start();
}

// Ticks are counted, not clock time: a tick delayed by an open alert still counts 2 seconds.
void PreferencesWindowController::pairingTick(QTimer *timer, const QString &code, int attempt) {
    m_pairingSecondsElapsed += kSecondsPerTick;
    if (m_pairingSecondsElapsed <= kPollBudgetSeconds) {
        m_pairingClient.checkStatus(code, [self = QPointer(this), sender = QPointer(timer),
                                           attempt](const PairingStatus &status) {
            if (self)
                self->pairingStatusArrived(status, sender, attempt);
        });
        return;
    }
    endPairing(timer);
    m_pairingBusy = false;
    resetConnectButton(kConnectTitle);
    showAlert(QStringLiteral("配對逾時"),
              QStringLiteral("超過 2 分鐘沒有收到配對訊息，請重新產生配對碼再試一次。"));
}

void PreferencesWindowController::pairingStatusArrived(const PairingStatus &status, QTimer *timer,
                                                       int attempt) {
    if (attempt == m_pairedAttempt)
        return; // this pairing already succeeded; a second answer must not repeat it
    // A reply for a code the user has since replaced leaves the pairing now running alone.
    const bool superseded = attempt != m_pairingAttempt && m_pairingBusy;
    switch (status.kind()) {
    case PairingStatus::Kind::Pending:
        return;
    case PairingStatus::Kind::Expired:
    case PairingStatus::Kind::NotFound:
        if (superseded)
            return;
        endPairing(timer);
        m_pairingBusy = false;
        resetConnectButton(kConnectTitle);
        return;
    case PairingStatus::Kind::Paired:
        endPairing(timer);
        completePairing(status.chatID(), attempt, superseded);
        return;
    }
}

void PreferencesWindowController::completePairing(const QString &chatID, int attempt,
                                                  bool superseded) {
    if (chatID.isEmpty()) {
        // Without a chat there is no connection: report it as the failure it is.
        if (superseded)
            return;
        m_pairingBusy = false;
        resetConnectButton(kConnectTitle);
        showAlert(QStringLiteral("連線失敗"),
                  QStringLiteral("無法連上配對伺服器，請確認網路連線後再試一次。"));
        return;
    }
    m_pairedAttempt = attempt;
    m_platform.settings->setString(tgOfficialChatIDKey, chatID);
    m_platform.settings->setBool(tgEnabledKey, true);
    m_tgEnabledCheckbox->setChecked(true);
    if (!superseded) {
        m_pairingBusy = false;
        resetConnectButton(QStringLiteral("重新連接官方 Bot"));
    }
    updateConnectionStatusLabel();
    runSettingsChanged();
    showAlert(QStringLiteral("配對成功"),
              QStringLiteral("已連接 Telegram，之後會定時收到 Korvella 的狀態推播。"));
}

void PreferencesWindowController::endPairing(QTimer *timer) {
    if (!timer)
        return;
    timer->stop();
    timer->deleteLater();
    if (m_pairingPollTimer == timer)
        m_pairingPollTimer = nullptr;
}
