// The two pairing endpoints against the real service on loopback, with the bot fed by a fake
// Bot API through getUpdates long polling and time moved by a manual clock.
#include "BotTexts.h"
#include "PairingCode.h"
#include "TestService.h"

#include <gtest/gtest.h>

using namespace pairing;

namespace {

QString statusOf(TestService &service, const QString &code) {
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
}

TEST(Endpoints, PairCommandPairsAndTheCodeIsUsedUpAMinuteAfterItsFirstReport) {
    TestService service;
    const QString code = service.createCode();
    EXPECT_EQ(service.tell(4242, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::paired));

    // The chat id is a JSON string, as the desktop app requires.
    const QJsonObject paired{{"status", "paired"}, {"chat_id", "4242"}};
    EXPECT_EQ(service.status(code), paired);
    service.clock.advanceSeconds(59);
    EXPECT_EQ(service.status(code), paired) << "a poll in flight must get the same answer";
    service.clock.advanceSeconds(1);
    EXPECT_EQ(statusOf(service, code), "not_found");
    EXPECT_EQ(service.tell(4242, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::notFound));
}

TEST(Endpoints, DeepLinkStartPairsWithTheCodeMatchedCaseInsensitivelyAfterTrimming) {
    TestService service;
    const QString code = service.createCode();
    EXPECT_EQ(
        service.tell(77, QStringLiteral("  /start   ") + code.toLower() + QStringLiteral(" \n")),
        QString::fromUtf8(BotTexts::paired));
    EXPECT_EQ(service.status(code), QJsonObject({{"status", "paired"}, {"chat_id", "77"}}));
}

TEST(Endpoints, APairedCodeNobodyCollectedStaysPairedUntilItWouldBeForgotten) {
    TestService service;
    const QString code = service.createCode();
    service.tell(5, QStringLiteral("/pair ") + code);
    service.clock.advanceSeconds(69 * 60);
    EXPECT_EQ(statusOf(service, code), "paired");
    service.clock.advanceSeconds(61);
    EXPECT_EQ(statusOf(service, code), "not_found");
}

TEST(Endpoints, ACodeRunsOutAfterTenMinutesReadsExpiredForAnHourThenNotFound) {
    TestService service;
    const QString code = service.createCode();
    service.clock.advanceMs(10 * 60 * 1000 - 1);
    EXPECT_EQ(statusOf(service, code), "pending");
    service.clock.advanceMs(1);
    EXPECT_EQ(statusOf(service, code), "expired");
    EXPECT_EQ(service.tell(9, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::expired));
    EXPECT_EQ(statusOf(service, code), "expired") << "an expired code cannot be paired";
    service.clock.advanceSeconds(60 * 60);
    EXPECT_EQ(statusOf(service, code), "not_found");
}

TEST(Endpoints, UnknownAndImpossibleCodesReadNotFound) {
    TestService service;
    EXPECT_EQ(statusOf(service, QStringLiteral("ABCD2345")), "not_found");
    EXPECT_EQ(statusOf(service, QStringLiteral("O0I1L")), "not_found");
    EXPECT_EQ(statusOf(service, QStringLiteral("%E9%85%8D%E5%B0%8D")), "not_found");
}

TEST(Endpoints, OnlyOneChatCanPairACode) {
    TestService service;
    const QString code = service.createCode();
    EXPECT_EQ(service.tell(1, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::paired));
    EXPECT_EQ(service.tell(2, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::pairedElsewhere));
    EXPECT_EQ(service.tell(1, QStringLiteral("/start ") + code),
              QString::fromUtf8(BotTexts::alreadyPairedHere));
    EXPECT_EQ(service.status(code), QJsonObject({{"status", "paired"}, {"chat_id", "1"}}));
}

TEST(Endpoints, LargeChatIdsKeepEveryDigit) {
    TestService service;
    const QString code = service.createCode();
    const qint64 largest = (qint64(1) << 52) - 1; // Telegram ids have at most 52 significant bits
    service.tell(largest, QStringLiteral("/pair ") + code);
    EXPECT_EQ(service.status(code).value(QStringLiteral("chat_id")).toString(),
              QString::number(largest));
}

TEST(Endpoints, ARestartLosesNoPairingAndAsksForNoUpdateTwice) {
    TestService service;
    const QString pending = service.createCode();
    const QString paired = service.createCode();
    service.tell(31, QStringLiteral("/pair ") + paired);
    const qint64 handled = service.api.calls(QStringLiteral("getUpdates")).size();

    service.restart();
    EXPECT_EQ(statusOf(service, pending), "pending");
    EXPECT_EQ(service.status(paired), QJsonObject({{"status", "paired"}, {"chat_id", "31"}}));
    // Every poll after the restart, the first included, confirms the update handled before it.
    ASSERT_TRUE(TestHttp::waitUntil(
        [&] { return service.api.calls(QStringLiteral("getUpdates")).size() > handled + 1; }));
    const auto polls = service.api.calls(QStringLiteral("getUpdates")).mid(handled);
    for (const FakeBotApi::Call &poll : polls)
        EXPECT_EQ(poll.params.value(QStringLiteral("offset")).toInteger(), 1001);
    EXPECT_EQ(service.tell(32, QStringLiteral("/pair ") + pending),
              QString::fromUtf8(BotTexts::paired));
}
