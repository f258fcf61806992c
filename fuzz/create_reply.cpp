// The create reply parser: any body gives either the pairing error or a code that really is the
// string under "code" of a non-empty top-level object.
#include "fuzz/FuzzCheck.h"
#include "telegram/PairingReplies.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const PairingReplies::CreateResult result = PairingReplies::parseCreate(body);
    if (const PairingError *error = std::get_if<PairingError>(&result)) {
        FUZZ_CHECK(*error == PairingError::pairing());
        return 0;
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    FUZZ_CHECK(document.isObject() && !document.object().isEmpty());
    FUZZ_CHECK(document.object().value("code").toString() == std::get<QString>(result));
    return 0;
}
