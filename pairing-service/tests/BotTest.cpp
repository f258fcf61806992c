// What the official bot answers, through the real service and a fake Bot API.
#include "TestService.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace pairing;

TEST(Bot, AnswersHelpToAnythingButAPairingAndStaysQuietOutsidePrivateChats) {
    TestService service;
    const QString code = service.createCode();
    const QJsonObject fromBot{
        {"message", QJsonObject{{"from", QJsonObject{{"id", 6}, {"is_bot", true}}},
                                {"chat", QJsonObject{{"id", 6}, {"type", "private"}}},
                                {"text", "/start"}}}};
    service.api.queueUpdate(fromBot);
    service.api.queueUpdate(QJsonObject{{"edited_message", fromBot.value("message")}});
    service.api.queueText(-100500, "just chatting", "group");
    service.api.queueText(-100500, "/pair " + code, "supergroup");
    ASSERT_TRUE(TestHttp::waitUntil([&] { return !service.api.messages().isEmpty(); }));
    EXPECT_EQ(service.api.messages().first().text, said(BotTexts::privateChatOnly));
    // A sticker or photo has no text; another bot's name after the command is not for us.
    for (const QString &text :
         QStringList{"hello", "/start", "/settings", QString(), "/pair@other_bot " + code})
        EXPECT_EQ(service.tell(1, text), said(BotTexts::help)) << text.toStdString();
    EXPECT_EQ(service.tell(1, "/pair"), said(BotTexts::missingCode));
    EXPECT_EQ(service.tell(1, "/pair ZZZZ"), said(BotTexts::notFound));
    EXPECT_EQ(service.tell(3, "/pair@Dremlo_App_Bot " + code), said(BotTexts::paired));
    EXPECT_EQ(service.api.messages().size(), 9)
        << "a bot, an edit or group small talk got an answer";
}

TEST(Bot, LimitsPairingAttemptsPerChat) {
    TestService service(
        {{"KORVELLA_PAIRING_CHAT_BURST", "3"}, {"KORVELLA_PAIRING_CHAT_RATE", "6"}});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(service.tell(11, "/pair ABCD2345"), said(BotTexts::notFound));
    const QString code = service.createCode();
    EXPECT_EQ(service.tell(11, "/pair " + code), said(BotTexts::tooManyAttempts));
    EXPECT_EQ(service.tell(12, "/pair ABCD2345"), said(BotTexts::notFound))
        << "another chat has its own allowance";
    service.clock.advanceSeconds(10);
    EXPECT_EQ(service.tell(11, "/pair " + code), said(BotTexts::paired));
}

TEST(Bot, RidesOutFailuresOfTheBotApiAndBacksOffWhileTelegramIsDown) {
    TestService service;
    service.api.failNext("getUpdates", 502);
    service.api.failNext("sendMessage", 429);
    EXPECT_EQ(service.tell(21, "/pair " + service.createCode()), said(BotTexts::paired));
    EXPECT_EQ(service.api.calls("sendMessage").size(), 2) << "the reply was sent again";

    const qsizetype before = service.api.calls("getUpdates").size();
    service.api.failNext("getUpdates", 502, 1000);
    const auto failed = [&] { return service.api.calls("getUpdates").size() - before; };
    ASSERT_TRUE(TestHttp::waitUntil([&] { return failed() >= 1; }));
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(TestHttp::waitUntil([&] { return failed() >= 3; }, 15000));
    EXPECT_GE(elapsed.elapsed(), 2500) << "the retries came after 1 and 2 seconds";
    EXPECT_EQ(failed(), 3);
}

TEST(Bot, AnUpdateIsHandledOnceEvenWhenItsOffsetCouldNotBeStoredBeforeARestart) {
    TestService service;
    const QString code = service.createCode();
    {
        // Another connection makes storing the offset fail, as a full disk would.
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "saboteur");
        db.setDatabaseName(service.databasePath());
        ASSERT_TRUE(db.open());
        for (const QString when : {"INSERT", "UPDATE"})
            ASSERT_TRUE(QSqlQuery(db).exec("CREATE TRIGGER no_offset_" + when + " BEFORE " + when +
                                           " ON bot_state BEGIN SELECT RAISE(ABORT, 'full'); END"));
        const qsizetype polls = service.api.calls("getUpdates").size();
        service.api.queueText(41, "/pair " + code);
        ASSERT_TRUE(TestHttp::waitUntil(
            [&] { return service.api.calls("getUpdates").size() > polls + 2; }));
        EXPECT_EQ(service.status(code).value("status"), "pending")
            << "the pairing was kept without its offset";
        QSqlQuery(db).exec("DROP TRIGGER no_offset_INSERT");
        QSqlQuery(db).exec("DROP TRIGGER no_offset_UPDATE");
    }
    QSqlDatabase::removeDatabase("saboteur");
    service.restart();
    ASSERT_TRUE(TestHttp::waitUntil([&] { return service.api.lastOffset() > 1000; }));
    ASSERT_EQ(service.api.messages().size(), 1);
    EXPECT_EQ(service.api.messages().first().text, said(BotTexts::paired));
}

TEST(Bot, ForgetsAnOffsetOlderThanTelegramKeepsUpdatesSoRenumberedOnesArrive) {
    TestService service;
    EXPECT_EQ(service.tell(1, "hi"), said(BotTexts::help)); // offset now 1001
    service.clock.advanceSeconds(8 * 24 * 60 * 60);
    // Telegram renumbers only after such a silence, so the polls meanwhile ask without offset.
    const qsizetype polls = service.api.calls("getUpdates").size();
    ASSERT_TRUE(TestHttp::waitUntil([&] {
        const auto calls = service.api.calls("getUpdates");
        return calls.size() > polls + 1 && calls.last().params.value("offset") == 0;
    }));
    service.api.setNextUpdateId(7);
    EXPECT_EQ(service.tell(1, "hi again"), said(BotTexts::help));
    service.restart();
    EXPECT_EQ(service.tell(1, "and after a restart"), said(BotTexts::help));
    EXPECT_EQ(service.api.lastOffset(), 9) << "the new numbering is followed";
}
