#pragma once
#include "RateLimiter.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace pairing {

class Clock;
class PairingStore;

// The official bot's side of pairing: reads one Telegram update and decides what happens and
// what the bot answers. "/pair CODE" and "/start CODE" (what a deep link sends) pair a
// private chat; /status, /stop, /start [DURATION] and /extend DURATION from a paired chat are
// queued for its devices, /unpair revokes them; everything else gets a short help text.
class BotConversation final {
public:
    BotConversation(PairingStore &store, const Clock &clock, RateLimit chatLimit,
                    QString botUsername, bool remoteControl = true);

    struct Reply {
        QString chatId;
        QString text;
        QStringList devices = {}; // token hashes of the devices that got a command
    };
    // The answer to send, or nothing for updates the bot stays silent on.
    std::optional<Reply> handle(const QJsonObject &update);
    void pruneLimits();

private:
    QString pairingReply(const QString &argument, const QString &chatId);
    Reply remoteReply(const QString &name, const QString &argument, const QString &chatId);

    PairingStore &m_store;
    const Clock &m_clock;
    RateLimiter m_chatLimiter;
    QString m_botUsername;
    bool m_remoteControl;
};

} // namespace pairing
