#include "telegram/RemoteUpdates.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace RemoteUpdates {
namespace {

std::optional<QJsonObject> object(const QByteArray &body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    return document.object();
}

std::optional<ChatMessage> chatMessage(qint64 updateID, const QJsonObject &update) {
    // Only "message": an edited message or a channel post is not a new command.
    const QJsonObject message = update.value(QLatin1String("message")).toObject();
    const QJsonValue text = message.value(QLatin1String("text"));
    const QJsonValue chatID = message.value(QLatin1String("chat")).toObject().value("id");
    if (!text.isString() || !chatID.isDouble())
        return {};
    return ChatMessage{updateID, QString::number(chatID.toInteger()), text.toString(),
                       message.value(QLatin1String("date")).toInteger()};
}

} // namespace

std::optional<UpdateBatch> parseUpdates(const QByteArray &body) {
    const std::optional<QJsonObject> reply = object(body);
    if (!reply || !reply->value(QLatin1String("ok")).toBool() ||
        !reply->value(QLatin1String("result")).isArray())
        return {};
    UpdateBatch batch;
    for (const QJsonValue &value : reply->value(QLatin1String("result")).toArray()) {
        const QJsonObject update = value.toObject();
        const QJsonValue id = update.value(QLatin1String("update_id"));
        if (!id.isDouble())
            continue;
        batch.nextOffset = std::max(batch.nextOffset.value_or(0), id.toInteger() + 1);
        if (const std::optional<ChatMessage> message = chatMessage(id.toInteger(), update))
            batch.messages << *message;
    }
    return batch;
}

std::optional<QList<Command>> parseCommands(const QByteArray &body) {
    const std::optional<QJsonObject> reply = object(body);
    if (!reply || !reply->value(QLatin1String("commands")).isArray())
        return {};
    QList<Command> commands;
    for (const QJsonValue &value : reply->value(QLatin1String("commands")).toArray()) {
        const QJsonObject entry = value.toObject();
        const QString name = entry.value(QLatin1String("command")).toString().toLower();
        if (!name.isEmpty())
            commands << Command{name, entry.value(QLatin1String("argument")).toString().trimmed()};
    }
    return commands;
}

std::optional<QString> parseBotUsername(const QByteArray &body) {
    const std::optional<QJsonObject> reply = object(body);
    if (!reply || !reply->value(QLatin1String("ok")).toBool())
        return {};
    const QJsonValue name =
        reply->value(QLatin1String("result")).toObject().value(QLatin1String("username"));
    if (!name.isString() || name.toString().isEmpty())
        return {};
    return name.toString();
}

std::optional<Command> commandFromText(const QString &text, const QString &botUsername) {
    static const QRegularExpression pattern(
        QStringLiteral("^/([A-Za-z_]+)(?:@([A-Za-z0-9_]+))?(?:\\s+(.*))?$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return {};
    const QString addressee = match.captured(2);
    if (!addressee.isEmpty() && addressee.compare(botUsername, Qt::CaseInsensitive) != 0)
        return {};
    return Command{match.captured(1).toLower(), match.captured(3).trimmed()};
}

QByteArray getUpdatesQuery(std::optional<qint64> offset) {
    QByteArray query = "timeout=50&allowed_updates=%5B%22message%22%5D";
    if (offset)
        query += "&offset=" + QByteArray::number(*offset);
    return query;
}

} // namespace RemoteUpdates
