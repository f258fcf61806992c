#include "telegram/PairingReplies.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

namespace PairingReplies {
namespace {

// The reply's top-level object, when it is one with at least one member.
std::optional<QJsonObject> nonEmptyObject(const QByteArray &body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    QJsonObject object = document.object();
    if (object.isEmpty())
        return {};
    return object;
}

} // namespace

CreateResult parseCreate(const QByteArray &body) {
    const std::optional<QJsonObject> object = nonEmptyObject(body);
    if (!object)
        return PairingError::pairing();
    const QJsonValue code = object->value(QLatin1String("code"));
    if (!code.isString())
        return PairingError::pairing();
    return code.toString();
}

PairingStatus parseStatus(const QByteArray &body) {
    const std::optional<QJsonObject> object = nonEmptyObject(body);
    if (!object)
        return PairingStatus::pending();
    const QJsonValue status = object->value(QLatin1String("status"));
    if (!status.isString())
        return PairingStatus::pending();
    const QString text = status.toString();
    if (text == QLatin1String("paired")) {
        const QJsonValue chatID = object->value(QLatin1String("chat_id"));
        const QJsonValue token = object->value(QLatin1String("device_token"));
        return PairingStatus::paired(chatID.isString() ? chatID.toString() : QString(),
                                     token.isString() ? token.toString() : QString());
    }
    if (text == QLatin1String("expired"))
        return PairingStatus::expired();
    if (text == QLatin1String("not_found"))
        return PairingStatus::notFound();
    return PairingStatus::pending();
}

} // namespace PairingReplies
