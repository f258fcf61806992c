#pragma once

namespace pairing {

// What the official bot says, in Traditional Chinese like the rest of Korvella.
namespace BotTexts {
inline constexpr char paired[] =
    "✅ 配對成功！請回到 Korvella，幾秒內就會顯示已連接。之後 Korvella 的狀態推播會傳到這個對話。";
inline constexpr char alreadyPairedHere[] =
    "✅ 這個配對碼已經和這個對話配對完成，請回到 Korvella 查看。";
inline constexpr char pairedElsewhere[] = "⚠️ 這個配對碼已經被另一個 Telegram "
                                          "對話使用，無法再配對。請在 Korvella 重新產生配對碼。";
inline constexpr char expired[] =
    "⌛ 這個配對碼已經過期（配對碼 10 分鐘內有效）。請在 Korvella 重新產生配對碼。";
inline constexpr char notFound[] =
    "❓ 找不到這個配對碼。請確認配對碼輸入正確，或在 Korvella 重新產生配對碼。";
inline constexpr char missingCode[] =
    "請在 /pair 後面加上 Korvella 顯示的配對碼，例如：/pair ABCD2345";
inline constexpr char help[] =
    "👋 這是 Korvella 的官方 Bot。\n"
    "請在 Korvella 的偏好設定按「連接 Telegram（官方 Bot，推薦）」，再把畫面上的訊息傳到這裡：\n"
    "/pair 配對碼";
inline constexpr char privateChatOnly[] = "請在和我的私人對話中傳送配對碼。";
inline constexpr char tooManyAttempts[] = "嘗試次數太多，請稍後再試。";
inline constexpr char unavailable[] =
    "⚠️ 配對服務暫時無法使用，請稍後再試一次。";
// Remote control from the paired chat: the bot only relays, Korvella answers with the outcome.
inline constexpr char commandQueued[] = "📨 已收到 %1，Korvella 連線後就會執行（5 分鐘內有效）。";
inline constexpr char notPairedForRemote[] = "這個對話還沒有和 Korvella 配對。請先在 Korvella "
                                             "的偏好設定按「連接 Telegram（官方 Bot，推薦）」。";
inline constexpr char missingDuration[] = "請在 /extend 後面加上時間長度，例如：/extend 30m";
inline constexpr char badDuration[] =
    "⚠️ 看不懂這個時間長度，請寫成例如：30m、1h、1h30m。";
inline constexpr char unpaired[] =
    "🔌 已解除配對：Korvella 不會再收到這個對話的指令。要再遙控，請在 Korvella 重新連接 Telegram。";
} // namespace BotTexts

} // namespace pairing
