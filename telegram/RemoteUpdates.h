#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// Reads what the two command sources answer: the Bot API's getUpdates for the user's own bot,
// and the pairing service's /commands for the official one.
namespace RemoteUpdates {

struct Command {
    QString name;     // without the slash, in lower case: "status", "start", …
    QString argument; // the rest of the message, trimmed; may be empty
};

struct ChatMessage {
    qint64 updateID = 0;
    QString chatID; // as the settings spell it, e.g. "-1001234567890"
    QString text;
    qint64 sentAtSecs = 0; // Telegram's "date"
};

struct UpdateBatch {
    std::optional<qint64> nextOffset; // one past the highest update id, when there was one
    QList<ChatMessage> messages;      // new text messages only: edits and the like are skipped
};

// {"ok": true, "result": [update…]}; nothing when the body is not such a reply.
std::optional<UpdateBatch> parseUpdates(const QByteArray &body);

// {"commands": [{"command": "stop", "argument": ""}, …]}; nothing when the body is not such a
// reply. Entries without a command name are skipped.
std::optional<QList<Command>> parseCommands(const QByteArray &body);

// {"ok": true, "result": {"username": "…"}}: the bot's own name, as getMe answers.
std::optional<QString> parseBotUsername(const QByteArray &body);

// "/start 1h", "/Stop@OurBot": the command a chat message asks for; nothing when the message
// is not a command, or names another bot than `botUsername` (in a group, "/stop@OtherBot" is
// meant for that bot).
std::optional<Command> commandFromText(const QString &text, const QString &botUsername);

// The query of a getUpdates long poll from `offset` on (none: from the oldest kept update).
QByteArray getUpdatesQuery(std::optional<qint64> offset);

} // namespace RemoteUpdates
