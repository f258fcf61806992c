// The two pairing endpoints against the real service on loopback, with the bot fed by a fake
// Bot API through getUpdates long polling and time moved by a manual clock.
#include "BotTexts.h"
#include "PairingCode.h"
#include "TestService.h"

#include <gtest/gtest.h>

using namespace pairing;

namespace {

// The status as the app reads it, after the hourly housekeeping ran at the same moment: the
// purge must never change an answer.
QString statusOf(TestService &service, const QString &code) {
    service.purge();
    return service.status(code).value(QStringLiteral("status")).toString();
}

} // namespace

TEST(Endpoints, CreateHandsOutFreshWellFormedCodesThatStartPending) {
    TestService service;
    const auto response = TestHttp::post(service.url(QStringLiteral("/api/create_pairing.php")));
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.header("Content-Type"), "application/json");
    EXPECT_EQ(response.header("Cache-Control"), "no-store");
    const QString first = response.json().value(QStringLiteral("code")).toString();
    const QString second = service.createCode();
    for (const QString &code : {first, second}) {
        EXPECT_TRUE(PairingCode::isWellFormed(code)) << code.toStdString();
        EXPECT_EQ(service.status(code), QJsonObject({{"status", "pending"}}));
    }
    EXPECT_NE(first, second);
    for (const char *impossible : {"ABCD2345", "O0I1L", "%E9%85%8D%E5%B0%8D"})
        EXPECT_EQ(statusOf(service, QLatin1String(impossible)), "not_found") << impossible;
}

TEST(Endpoints, EachCodeLivesItsLifeWhateverThePurgeDoes) {
    TestService service;
    const QString collected = service.createCode();
    const QString uncollected = service.createCode();
    const QString unused = service.createCode();
    // A deep link's "/start", case and spaces as a user may type them.
    EXPECT_EQ(service.tell(4242, QStringLiteral("  /start   ") + collected.toLower() + " \n"),
              QString::fromUtf8(BotTexts::paired));
    service.tell(5, QStringLiteral("/pair ") + uncollected);

    // The chat id is a JSON string, as the desktop app requires.
    EXPECT_EQ(service.status(collected).value(QStringLiteral("chat_id")), "4242");
    service.clock.advanceSeconds(59);
    EXPECT_EQ(statusOf(service, collected), "paired") << "a poll in flight gets the same answer";
    EXPECT_EQ(statusOf(service, unused), "pending");
    service.clock.advanceSeconds(1);
    EXPECT_EQ(statusOf(service, collected), "not_found");
    EXPECT_EQ(service.tell(4242, QStringLiteral("/pair ") + collected),
              QString::fromUtf8(BotTexts::notFound));

    service.clock.advanceMs(9 * 60 * 1000 - 1);
    EXPECT_EQ(statusOf(service, unused), "pending");
    service.clock.advanceMs(1);
    EXPECT_EQ(statusOf(service, unused), "expired");
    EXPECT_EQ(service.tell(9, QStringLiteral("/pair ") + unused),
              QString::fromUtf8(BotTexts::expired));
    service.clock.advanceSeconds(59 * 60);
    EXPECT_EQ(statusOf(service, unused), "expired") << "an expired code cannot be paired";
    EXPECT_EQ(statusOf(service, uncollected), "paired") << "nobody collected it yet";
    service.clock.advanceSeconds(60);
    EXPECT_EQ(statusOf(service, unused), "not_found");
    EXPECT_EQ(statusOf(service, uncollected), "not_found");
}

TEST(Endpoints, OnlyOneChatCanPairACodeAndLargeChatIdsKeepEveryDigit) {
    TestService service;
    const QString code = service.createCode();
    const qint64 largest = (qint64(1) << 52) - 1; // Telegram ids have at most 52 significant bits
    EXPECT_EQ(service.tell(largest, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::paired));
    EXPECT_EQ(service.tell(2, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::pairedElsewhere));
    EXPECT_EQ(service.tell(largest, QStringLiteral("/start ") + code),
              QString::fromUtf8(BotTexts::alreadyPairedHere));
    EXPECT_EQ(service.status(code).value(QStringLiteral("chat_id")), QString::number(largest));
}

TEST(Endpoints, ARestartLosesNoPairingAndAsksForNoUpdateTwice) {
    TestService service;
    const QString pending = service.createCode();
    const QString paired = service.createCode();
    service.tell(31, QStringLiteral("/pair ") + paired);
    const qint64 handled = service.api.calls(QStringLiteral("getUpdates")).size();

    service.restart();
    EXPECT_EQ(statusOf(service, pending), "pending");
    EXPECT_EQ(service.status(paired).value(QStringLiteral("chat_id")), "31");
    // Every poll after the restart, the first included, confirms the update handled before it.
    ASSERT_TRUE(TestHttp::waitUntil(
        [&] { return service.api.calls(QStringLiteral("getUpdates")).size() > handled + 1; }));
    const auto polls = service.api.calls(QStringLiteral("getUpdates")).mid(handled);
    for (const FakeBotApi::Call &poll : polls)
        EXPECT_EQ(poll.params.value(QStringLiteral("offset")).toInteger(), 1001);
    EXPECT_EQ(service.tell(32, QStringLiteral("/pair ") + pending),
              QString::fromUtf8(BotTexts::paired));
}
