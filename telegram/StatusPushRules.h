#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// What the periodic status push says and how often it says it.
namespace StatusPushRules {

// Until the user picks an interval the preferences show 30 minutes, so that is what an absent,
// zero or negative stored value means.
inline constexpr qint64 defaultIntervalMinutes = 30;

// The stored interval in timer milliseconds, capped at the longest interval a timer can hold.
int intervalMs(std::optional<qint64> storedMinutes);

// "[Korvella] 目前狀態：" plus the state: the status line while a period runs.
QString message(bool isRunning, const QString &statusLine);

} // namespace StatusPushRules
