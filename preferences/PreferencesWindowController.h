#pragma once

#include "platform/Platform.h"
#include "platform/SettingsKeys.h"
#include "preferences/LoginItemManager.h"
#include "preferences/OfficialBotPairing.h"
#include "preferences/PreferencesConfig.h"
#include "telegram/PairingClient.h"
#include "telegram/TelegramNotifier.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>

class PreferencesWindow;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// Owns the one preferences window and its controls, and carries out what the user does there:
// the Telegram push settings, the own bot's test message, the official-bot connection and
// launch at login. Every setting is written the moment the user acts.
class PreferencesWindowController final : public QObject {
    Q_OBJECT

public:
    explicit PreferencesWindowController(const Platform &platform,
                                         const PreferencesConfig &config = {},
                                         QObject *parent = nullptr);
    ~PreferencesWindowController() override;

    PreferencesWindow *window() const { return m_window.get(); }
    // Centres the window and brings it to the front, also when it is already open.
    void showWindow();
    // The window is closing: an edit in progress ends (and is saved), the app leaves the
    // foreground.
    void windowWillClose();

    // Telegram push and own bot.
    void toggleTelegramEnabled();
    void intervalChanged();
    void controlTextDidEndEditing();
    void saveTelegramFields();
    void sendTestMessage();

    // Official bot.
    void connectOfficialBot();
    void sendOfficialTestMessage();
    void updateConnectionStatusLabel();
    void updateOfficialTestButtonVisibility();

    // Launch at login; the desktop is asked off the main thread.
    void toggleLoginItem();
    void refreshLoginItemStatusAsync();

    // Shows why remote control stopped, or nothing; the window grows or shrinks to fit.
    void showRemoteControlProblem(const QString &problem);

    // Run after any Telegram setting was written by the user's action.
    std::function<void()> onTelegramSettingsChanged;
    // Run after the user changed a protective rule.
    std::function<void()> onProtectiveRulesChanged;

    QCheckBox *loginItemCheckbox() const { return m_loginItemCheckbox; }
    QCheckBox *tgEnabledCheckbox() const { return m_tgEnabledCheckbox; }
    QPushButton *connectButton() const { return m_connectButton; }
    QLabel *connectionStatusLabel() const { return m_connectionStatusLabel; }
    QPushButton *officialTestButton() const { return m_officialTestButton; }
    QLineEdit *tgTokenField() const { return m_tgTokenField; }
    QLineEdit *tgChatIDField() const { return m_tgChatIDField; }
    QComboBox *tgIntervalPopup() const { return m_tgIntervalPopup; }
    QCheckBox *remoteControlCheckbox() const { return m_remoteControlCheckbox; }
    QLabel *remoteControlProblemLabel() const { return m_remoteControlProblemLabel; }
    TelegramNotifier &telegramNotifier() { return m_telegramNotifier; }
    OfficialBotPairing &pairing() { return m_pairing; }
    // The poll timer of the pairing now running, if any.
    QTimer *pairingPollTimer() const { return m_pairing.pollTimer(); }
    int pairingSecondsElapsed() const { return m_pairing.secondsElapsed(); }

    const QString tgEnabledKey = SettingsKeys::tgEnabled;
    const QString tgBotTokenKey = SettingsKeys::tgBotToken;
    const QString tgChatIDKey = SettingsKeys::tgChatID;
    const QString tgOfficialChatIDKey = SettingsKeys::tgOfficialChatID;
    const QString tgIntervalMinutesKey = SettingsKeys::tgIntervalMinutes;
    const QString tgRemoteControlKey = SettingsKeys::tgRemoteControl;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildContent();
    QFrame *addDivider(QVBoxLayout *stack);
    void addLoginAndLanguageRows(QVBoxLayout *stack);
    void addTelegramRows(QVBoxLayout *stack);
    void addOwnBotRows(QVBoxLayout *stack);
    void addAboutRows(QVBoxLayout *stack);
    QLineEdit *addOwnBotField(QVBoxLayout *stack, const QString &placeholder, const QString &key);
    bool isEditingField() const;
    QString officialChatID() const;
    void runSettingsChanged();
    void showAlert(const QString &message, const QString &informative);
    void loginItemChanged(bool wanted, bool succeeded);

    void connectPairing();
    void showPairingState(OfficialBotPairing::State state);
    void openTelegramPairing(const QString &code);
    void pairingSucceeded();
    void pairingFailed(OfficialBotPairing::Failure failure);

    Platform m_platform;
    PreferencesConfig m_config;
    LoginItemManager m_loginItemManager;
    QNetworkAccessManager m_network;
    TelegramNotifier m_telegramNotifier;
    PairingClient m_pairingClient;
    OfficialBotPairing m_pairing;
    QThreadPool m_loginItemPool;
    // Counts the user's changes, so a status read that started before one cannot undo it.
    quint64 m_loginItemChanges = 0;
    std::unique_ptr<PreferencesWindow> m_window;

    QCheckBox *m_loginItemCheckbox = nullptr;
    QCheckBox *m_tgEnabledCheckbox = nullptr;
    QPushButton *m_connectButton = nullptr;
    QLabel *m_connectionStatusLabel = nullptr;
    QPushButton *m_officialTestButton = nullptr;
    QLineEdit *m_tgTokenField = nullptr;
    QLineEdit *m_tgChatIDField = nullptr;
    QComboBox *m_tgIntervalPopup = nullptr;
    QCheckBox *m_remoteControlCheckbox = nullptr;
    QLabel *m_remoteControlProblemLabel = nullptr;
};
