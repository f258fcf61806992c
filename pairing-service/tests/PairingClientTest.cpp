// The desktop app's own pairing client against the real service: the whole official-bot path
// from "create" to a chat id, and the other answers as the app reads them.
#include "telegram/PairingClient.h"
#include "BotTexts.h"
#include "TestService.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

PairingStatus statusOf(PairingClient &client, const QString &code) {
    std::optional<PairingStatus> status;
    client.checkStatus(code, [&](const PairingStatus &result) { status = result; });
    EXPECT_TRUE(TestHttp::waitUntil([&] { return status.has_value(); }));
    return status.value_or(PairingStatus::pending());
}

QString createdCode(PairingClient &client) {
    std::optional<PairingClient::CreateResult> created;
    client.create([&](const PairingClient::CreateResult &result) { created = result; });
    EXPECT_TRUE(TestHttp::waitUntil([&] { return created.has_value(); }));
    const QString *code = created ? std::get_if<QString>(&*created) : nullptr;
    EXPECT_NE(code, nullptr) << "create failed";
    return code ? *code : QString();
}

} // namespace

TEST(PairingClientEndToEnd, ReadsEveryAnswerFromCreateToTheChatIdTheBotSaw) {
    TestService service;
    PairingClient client(service.url(QStringLiteral("/api")));
    const QString code = createdCode(client);
    const QString unused = createdCode(client);
    ASSERT_EQ(code.size(), 8);
    EXPECT_EQ(statusOf(client, code), PairingStatus::pending());

    // What Telegram sends when the user opens the deep link and presses Start.
    EXPECT_EQ(service.tell(123456789, QStringLiteral("/start ") + code),
              QString::fromUtf8(pairing::BotTexts::paired));
    const PairingStatus paired = statusOf(client, code);
    EXPECT_EQ(paired, PairingStatus::paired(QStringLiteral("123456789"), paired.deviceToken()));
    service.clock.advanceSeconds(60);
    EXPECT_EQ(statusOf(client, code), PairingStatus::notFound());
    service.clock.advanceSeconds(9 * 60);
    EXPECT_EQ(statusOf(client, unused), PairingStatus::expired());
}
