#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// Endpoint URLs of the Telegram Bot API and the pairing service. Each is formed by appending
// text to a base URL; nothing is returned when the result would not be a usable URL.
namespace ServiceUrls {

// https with a host, or plain http to a loopback host (local test servers only).
bool isAllowed(const QUrl &url);

// base + "/bot" + token + "/sendMessage". Characters of the token that would end the path
// segment, start a query or fragment, or begin an escape are percent-encoded, so no token can
// change which path is requested.
std::optional<QUrl> sendMessage(const QString &apiBase, const QString &botToken);

// base + "/bot" + token + "/getUpdates?" + `query`, the token encoded as for sendMessage.
std::optional<QUrl> getUpdates(const QString &apiBase, const QString &botToken,
                               const QByteArray &query);

// base + "/bot" + token + "/getMe", the token encoded as for sendMessage.
std::optional<QUrl> getMe(const QString &apiBase, const QString &botToken);

// base + "/commands": the device's long poll for remote commands.
std::optional<QUrl> commands(const QString &baseUrl);

// base + "/create_pairing.php".
std::optional<QUrl> createPairing(const QString &baseUrl);

// base + "/pairing_status.php?code=" + the code encoded as a query value.
std::optional<QUrl> pairingStatus(const QString &baseUrl, const QString &code);

} // namespace ServiceUrls
