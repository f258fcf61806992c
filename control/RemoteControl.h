#pragma once

#include "telegram/LongPoll.h"
#include "telegram/RemoteUpdates.h"
#include "telegram/TelegramNotifier.h"

#include <QObject>
#include <QString>
#include <optional>

class RemoteCommands;
class SettingsStore;

// Remote control from Telegram: while the user has it on, long-polls the own bot's getUpdates
// and the pairing service's commands for the official chat, hands the commands of the configured
// chat to RemoteCommands and sends each answer back to that chat. While it is off, or nothing is
// configured, there is no request and no timer.
class RemoteControl final : public QObject {
    Q_OBJECT

public:
    struct Endpoints {
        QString telegramApiBase;
        QString pairingBaseUrl;
        QString officialBotToken;
    };

    // A message older than this is not run: a "/start" typed hours ago is no longer meant.
    static constexpr qint64 maxCommandAgeSecs = 5 * 60;

    RemoteControl(SettingsStore &settings, QNetworkAccessManager &network,
                  TelegramNotifier &notifier, RemoteCommands &commands, Endpoints endpoints,
                  QObject *parent = nullptr);

    // Reads the settings again and starts or stops each poll to match; a poll stopped by a
    // problem is tried again.
    void reconfigure();
    void stop();

    // What the preferences window shows when a poll had to stop; empty while all is well.
    QString problem() const;
    const LongPoll &ownBotPoll() const { return m_ownPoll; }
    const LongPoll &officialPoll() const { return m_officialPoll; }

Q_SIGNALS:
    void problemChanged(const QString &problem);

private:
    struct Chat {
        QString botToken;
        QString chatID;
        QString deviceToken; // the official chat's only
        bool operator==(const Chat &) const = default;
    };
    std::optional<Chat> configuredOwnChat() const;
    std::optional<Chat> configuredOfficialChat() const;
    void apply(LongPoll &poll, std::optional<Chat> &current, const std::optional<Chat> &wanted,
               QString &problem);

    std::optional<HttpExchange::Request> ownRequest() const;
    std::optional<HttpExchange::Request> officialRequest() const;
    LongPoll::Next ownAnswered(const HttpOutcome &outcome);
    LongPoll::Next officialAnswered(const HttpOutcome &outcome);
    void runFrom(const Chat &chat, const RemoteUpdates::Command &command);
    void setProblem(QString &slot, const QString &text);

    SettingsStore &m_settings;
    TelegramNotifier &m_notifier;
    RemoteCommands &m_commands;
    Endpoints m_endpoints;
    std::optional<Chat> m_ownChat;      // what the own poll runs with, while it runs
    std::optional<Chat> m_officialChat; // likewise for the official poll
    std::optional<qint64> m_offset;     // the next update the own bot has not handed us
    QString m_offsetBot;                // the bot m_offset counts for
    QString m_ownUsername;              // that bot's name, from getMe; empty until known
    QString m_ownProblem;
    QString m_officialProblem;
    LongPoll m_ownPoll;
    LongPoll m_officialPoll;
};
