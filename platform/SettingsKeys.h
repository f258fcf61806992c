#pragma once

#include <QLatin1String>

// The names under which the seven settings are stored.
namespace SettingsKeys {
inline constexpr QLatin1String tgEnabled("tgEnabled");
inline constexpr QLatin1String tgBotToken("tgBotToken");
inline constexpr QLatin1String tgChatID("tgChatID");
inline constexpr QLatin1String tgOfficialChatID("tgOfficialChatID");
inline constexpr QLatin1String tgIntervalMinutes("tgIntervalMinutes");
inline constexpr QLatin1String lidSleepEnabled("lidSleepEnabled");
inline constexpr QLatin1String hasShownLidWakeExplanation("hasShownLidWakeExplanation");
} // namespace SettingsKeys
