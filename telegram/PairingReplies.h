#pragma once

#include "telegram/PairingError.h"
#include "telegram/PairingStatus.h"

#include <QByteArray>
#include <QString>
#include <variant>

// Reads the pairing service's JSON replies. Only the body counts, never the HTTP status.
namespace PairingReplies {

// Replies larger than this are not read at all: a pairing reply is a few dozen bytes.
inline constexpr qint64 maxBodyBytes = 64 * 1024;

using CreateResult = std::variant<QString, PairingError>;

// {"code": "<text>"} gives the code as sent (not trimmed, may be empty); anything else - not
// JSON, not an object, an empty object, no "code", a "code" that is not a string - gives the
// pairing error.
CreateResult parseCreate(const QByteArray &body);

// {"status": "paired" | "expired" | "not_found", "chat_id": "<text>", "device_token": "<text>"},
// compared exactly; every other body reads as pending. A "chat_id" or "device_token" that is not
// a string reads as empty.
PairingStatus parseStatus(const QByteArray &body);

} // namespace PairingReplies
