#pragma once

#include <QLatin1String>

// The names under which the settings are stored.
namespace SettingsKeys {
inline constexpr QLatin1String tgEnabled("tgEnabled");
inline constexpr QLatin1String tgBotToken("tgBotToken");
inline constexpr QLatin1String tgChatID("tgChatID");
inline constexpr QLatin1String tgOfficialChatID("tgOfficialChatID");
inline constexpr QLatin1String tgIntervalMinutes("tgIntervalMinutes");
inline constexpr QLatin1String lidSleepEnabled("lidSleepEnabled");
inline constexpr QLatin1String hasShownLidWakeExplanation("hasShownLidWakeExplanation");
// Commands from the user's Telegram chat; off unless the user turns it on.
inline constexpr QLatin1String tgRemoteControl("tgRemoteControl");
// The pairing service's credential for fetching the official chat's commands: a secret.
inline constexpr QLatin1String tgOfficialDeviceToken("tgOfficialDeviceToken");
// The protective rules; each reads as off when absent, which is how Korvella behaved before them.
inline constexpr QLatin1String stopOnUnplug("stopOnUnplug");
inline constexpr QLatin1String stopBelowBatteryPercent("stopBelowBatteryPercent"); // 0: off
inline constexpr QLatin1String notifyWhenEnded("notifyWhenEnded");
inline constexpr QLatin1String keepScreenOn("keepScreenOn");
} // namespace SettingsKeys
