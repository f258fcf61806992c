#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// The Telegram link that opens a chat with the official bot and offers it the pairing code:
// base + "/" + bot + "?start=" + the code, percent-encoded so that any code forms a valid URL.
std::optional<QUrl> pairingDeepLink(const QString &base, const QString &botUsername,
                                    const QString &code);
