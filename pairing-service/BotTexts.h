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
} // namespace BotTexts

} // namespace pairing
