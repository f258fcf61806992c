#pragma once

#include "app/SettingsKeys.h"
#include "platform/Platform.h"
#include "preferences/PreferencesConfig.h"
#include "telegram/TelegramNotifier.h"

#include <QObject>
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

    // Official bot and launch at login: their flows follow in their own files.
    void connectOfficialBot() {}
    void sendOfficialTestMessage() {}
    void updateConnectionStatusLabel();
    void updateOfficialTestButtonVisibility();
    void toggleLoginItem() {}
    void refreshLoginItemStatusAsync() {}

    // Run after any Telegram setting was written by the user's action.
    std::function<void()> onTelegramSettingsChanged;

    QCheckBox *loginItemCheckbox() const { return m_loginItemCheckbox; }
    QCheckBox *tgEnabledCheckbox() const { return m_tgEnabledCheckbox; }
    QPushButton *connectButton() const { return m_connectButton; }
    QLabel *connectionStatusLabel() const { return m_connectionStatusLabel; }
    QPushButton *officialTestButton() const { return m_officialTestButton; }
    QLineEdit *tgTokenField() const { return m_tgTokenField; }
    QLineEdit *tgChatIDField() const { return m_tgChatIDField; }
    QComboBox *tgIntervalPopup() const { return m_tgIntervalPopup; }
    TelegramNotifier &telegramNotifier() { return m_telegramNotifier; }

    const QString tgEnabledKey = SettingsKeys::tgEnabled;
    const QString tgBotTokenKey = SettingsKeys::tgBotToken;
    const QString tgChatIDKey = SettingsKeys::tgChatID;
    const QString tgOfficialChatIDKey = SettingsKeys::tgOfficialChatID;
    const QString tgIntervalMinutesKey = SettingsKeys::tgIntervalMinutes;

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

    Platform m_platform;
    PreferencesConfig m_config;
    TelegramNotifier m_telegramNotifier;
    std::unique_ptr<PreferencesWindow> m_window;

    QCheckBox *m_loginItemCheckbox = nullptr;
    QCheckBox *m_tgEnabledCheckbox = nullptr;
    QPushButton *m_connectButton = nullptr;
    QLabel *m_connectionStatusLabel = nullptr;
    QPushButton *m_officialTestButton = nullptr;
    QLineEdit *m_tgTokenField = nullptr;
    QLineEdit *m_tgChatIDField = nullptr;
    QComboBox *m_tgIntervalPopup = nullptr;
};
