#include "telegram/StatusPushRules.h"

#include <limits>

namespace StatusPushRules {

int intervalMs(std::optional<qint64> storedMinutes) {
    const qint64 minutes = storedMinutes.value_or(0) >= 1 ? *storedMinutes : defaultIntervalMinutes;
    constexpr qint64 kMaxMinutes = std::numeric_limits<int>::max() / 60'000;
    return minutes > kMaxMinutes ? std::numeric_limits<int>::max() : int(minutes * 60'000);
}

QString message(bool isRunning, const QString &statusLine) {
    const QString state = isRunning
                              ? QStringLiteral("✨ 亮晶晶（") + statusLine + QStringLiteral("）")
                              : QStringLiteral("😴 睡著了（未啟動）");
    return QStringLiteral("[Korvella] 目前狀態：") + state;
}

} // namespace StatusPushRules
