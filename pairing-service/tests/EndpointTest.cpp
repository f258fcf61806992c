// The two pairing endpoints against the real service on loopback, with the bot fed by a fake
// Bot API through getUpdates long polling and time moved by a manual clock.
#include "PairingCode.h"
#include "TestService.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace pairing;

namespace {

// The status as the app reads it, after the hourly housekeeping ran at the same moment: the
// purge must never change an answer.
QString statusOf(TestService &service, const QString &code) {
    service.purge();
    return service.status(code).value("status").toString();
}

} // namespace

TEST(Endpoints, EachCodeLivesItsLifeWhateverThePurgeDoes) {
    TestService service;
    const auto created = TestHttp::post(service.url("/api/create_pairing.php"));
    EXPECT_EQ(created.status, 200);
    EXPECT_EQ(created.header("Content-Type"), "application/json");
    EXPECT_EQ(created.header("Cache-Control"), "no-store");
    const QString collected = created.json().value("code").toString();
    const QString uncollected = service.createCode();
    const QString unused = service.createCode();
    for (const QString &code : {collected, uncollected, unused}) {
        EXPECT_TRUE(PairingCode::isWellFormed(code)) << code.toStdString();
        EXPECT_EQ(service.status(code), QJsonObject({{"status", "pending"}}));
    }
    EXPECT_EQ(QSet<QString>({collected, uncollected, unused}).size(), 3);
    for (const char *impossible : {"ABCD2345", "O0I1L", "%E9%85%8D%E5%B0%8D"})
        EXPECT_EQ(statusOf(service, impossible), "not_found") << impossible;

    // A deep link's "/start", case and spaces as a user may type them.
    EXPECT_EQ(service.tell(4242, "  /start   " + collected.toLower() + " \n"),
              said(BotTexts::paired));
    service.tell(5, "/pair " + uncollected);
    // The chat id is a JSON string, as the desktop app requires.
    EXPECT_EQ(service.status(collected).value("chat_id"), "4242");
    service.clock.advanceSeconds(59);
    EXPECT_EQ(statusOf(service, collected), "paired") << "a poll in flight gets the same answer";
    EXPECT_EQ(statusOf(service, unused), "pending");
    service.clock.advanceSeconds(1);
    EXPECT_EQ(statusOf(service, collected), "not_found");
    EXPECT_EQ(service.tell(4242, "/pair " + collected), said(BotTexts::notFound));

    service.clock.advanceMs(9 * 60 * 1000 - 1);
    EXPECT_EQ(statusOf(service, unused), "pending");
    service.clock.advanceMs(1);
    EXPECT_EQ(statusOf(service, unused), "expired");
    EXPECT_EQ(service.tell(9, "/pair " + unused), said(BotTexts::expired));
    service.clock.advanceSeconds(59 * 60);
    EXPECT_EQ(statusOf(service, unused), "expired") << "an expired code cannot be paired";
    EXPECT_EQ(statusOf(service, uncollected), "paired") << "nobody collected it yet";
    service.clock.advanceSeconds(60);
    EXPECT_EQ(statusOf(service, unused), "not_found");
    EXPECT_EQ(statusOf(service, uncollected), "not_found");
}

TEST(Endpoints, OnlyOneChatPairsACodeAndARestartLosesNoPairingNorAsksForAnUpdateTwice) {
    TestService service;
    const QString pending = service.createCode();
    const QString paired = service.createCode();
    const qint64 largest = (qint64(1) << 52) - 1; // Telegram ids have at most 52 significant bits
    EXPECT_EQ(service.tell(largest, "/pair " + paired), said(BotTexts::paired));
    EXPECT_EQ(service.tell(2, "/pair " + paired), said(BotTexts::pairedElsewhere));
    EXPECT_EQ(service.tell(largest, "/start " + paired), said(BotTexts::alreadyPairedHere));
    const qint64 handled = service.api.calls("getUpdates").size();

    service.restart();
    EXPECT_EQ(statusOf(service, pending), "pending");
    EXPECT_EQ(service.status(paired).value("chat_id"), QString::number(largest));
    // Every poll after the restart, the first included, confirms the update handled before it.
    ASSERT_TRUE(
        TestHttp::waitUntil([&] { return service.api.calls("getUpdates").size() > handled + 1; }));
    for (const FakeBotApi::Call &poll : service.api.calls("getUpdates").mid(handled))
        EXPECT_EQ(poll.params.value("offset").toInteger(), 1003);
    EXPECT_EQ(service.tell(32, "/pair " + pending), said(BotTexts::paired));
}
