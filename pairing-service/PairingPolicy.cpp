#include "PairingPolicy.h"

namespace pairing {

CodeState codeStateAt(const CodeRecord &record, qint64 nowMs, const PairingPolicy &policy) {
    const qint64 forgottenAt = record.expiresAt + policy.expiredVisibleMs;
    if (!record.chatId.isEmpty()) {
        if (record.deliveredAt)
            return nowMs < *record.deliveredAt + policy.pairedGraceMs ? CodeState::Paired
                                                                      : CodeState::Gone;
        return nowMs < forgottenAt ? CodeState::Paired : CodeState::Gone;
    }
    if (nowMs < record.expiresAt)
        return CodeState::Pending;
    return nowMs < forgottenAt ? CodeState::Expired : CodeState::Gone;
}

} // namespace pairing
