#include "sleep/StatusLine.h"

#include <cmath>

QString formatStatusLine(bool isInfinite, qint64 remainingSeconds, bool lidWakeAtRisk,
                         bool lidLockMissing) {
    QString text;
    if (isInfinite) {
        text = QStringLiteral("防睡眠中・無限期");
    } else {
        // Whole minutes rounded up, so the last minute reads "1 分" rather than "0 分".
        const qint64 minutes = std::max<qint64>(1, qint64(std::ceil(remainingSeconds / 60.0)));
        if (minutes < 60)
            text = QStringLiteral("防睡眠中・剩 %1 分").arg(minutes);
        else if (minutes % 60 == 0)
            text = QStringLiteral("防睡眠中・剩 %1 小時").arg(minutes / 60);
        else
            text = QStringLiteral("防睡眠中・剩 %1 小時 %2 分").arg(minutes / 60).arg(minutes % 60);
    }
    if (lidWakeAtRisk)
        text += QStringLiteral(" ⚠️ 電源已拔除");
    if (lidLockMissing)
        text += QStringLiteral(" ⚠️ 闔蓋仍可能睡眠");
    return text;
}
