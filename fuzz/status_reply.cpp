// The status reply parser: any body gives one of the four states, and "paired", "expired" and
// "not_found" only when the body's "status" is exactly that text.
#include "fuzz/FuzzCheck.h"
#include "telegram/PairingReplies.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const PairingStatus status = PairingReplies::parseStatus(body);
    if (status.kind() == PairingStatus::Kind::Pending) {
        FUZZ_CHECK(status.chatID().isEmpty());
        return 0;
    }
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    const QString text = object.value("status").toString();
    switch (status.kind()) {
    case PairingStatus::Kind::Paired:
        FUZZ_CHECK(text == "paired");
        FUZZ_CHECK(status.chatID() == object.value("chat_id").toString());
        break;
    case PairingStatus::Kind::Expired:
        FUZZ_CHECK(text == "expired" && status.chatID().isEmpty());
        break;
    case PairingStatus::Kind::NotFound:
        FUZZ_CHECK(text == "not_found" && status.chatID().isEmpty());
        break;
    case PairingStatus::Kind::Pending:
        break;
    }
    return 0;
}
