// What the official bot answers, through the real service and a fake Bot API.
#include "BotTexts.h"
#include "TestService.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace pairing;

namespace {
const QString help = QString::fromUtf8(BotTexts::help);
}

TEST(Bot, AnswersHelpToAnythingButAPairingAndStaysQuietOutsidePrivateChats) {
    TestService service;
    const QString code = service.createCode();
    const QJsonObject fromBot{
        {"message", QJsonObject{{"from", QJsonObject{{"id", 6}, {"is_bot", true}}},
                                {"chat", QJsonObject{{"id", 6}, {"type", "private"}}},
                                {"text", "/start"}}}};
    service.api.queueUpdate(fromBot);
    service.api.queueUpdate(QJsonObject{{"edited_message", fromBot.value("message")}});
    service.api.queueText(-100500, QStringLiteral("just chatting"), QStringLiteral("group"));
    service.api.queueText(-100500, QStringLiteral("/pair ") + code, QStringLiteral("supergroup"));
    ASSERT_TRUE(TestHttp::waitUntil([&] { return !service.api.messages().isEmpty(); }));
    EXPECT_EQ(service.api.messages().first().text, QString::fromUtf8(BotTexts::privateChatOnly));
    // A sticker or photo has no text; another bot's name after the command is not for us.
    for (const QString &text :
         {QStringLiteral("hello"), QStringLiteral("/start"), QStringLiteral("/settings"), QString(),
          QStringLiteral("/pair@other_bot ") + code})
        EXPECT_EQ(service.tell(1, text), help) << text.toStdString();
    EXPECT_EQ(service.tell(1, QStringLiteral("/pair")), QString::fromUtf8(BotTexts::missingCode));
    EXPECT_EQ(service.tell(1, QStringLiteral("/pair ZZZZ")), QString::fromUtf8(BotTexts::notFound));
    EXPECT_EQ(service.tell(3, QStringLiteral("/pair@Dremlo_App_Bot ") + code),
              QString::fromUtf8(BotTexts::paired));
    EXPECT_EQ(service.api.messages().size(), 9)
        << "a bot, an edit or group small talk got an answer";
}

TEST(Bot, LimitsPairingAttemptsPerChat) {
    TestService service(
        {{"KORVELLA_PAIRING_CHAT_BURST", "3"}, {"KORVELLA_PAIRING_CHAT_RATE", "6"}});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(service.tell(11, QStringLiteral("/pair ABCD2345")),
                  QString::fromUtf8(BotTexts::notFound));
    const QString code = service.createCode();
    EXPECT_EQ(service.tell(11, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::tooManyAttempts));
    EXPECT_EQ(service.tell(12, QStringLiteral("/pair ABCD2345")),
              QString::fromUtf8(BotTexts::notFound))
        << "another chat has its own allowance";
    service.clock.advanceSeconds(10);
    EXPECT_EQ(service.tell(11, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::paired));
}

TEST(Bot, BacksOffWhileTelegramIsDown) {
    TestService service;
    service.api.failNext(QStringLiteral("getUpdates"), 502, 1000);
    const auto failed = [&] { return service.api.calls(QStringLiteral("getUpdates")).size(); };
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
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "saboteur");
        db.setDatabaseName(service.databasePath());
        ASSERT_TRUE(db.open());
        for (const char *when : {"INSERT", "UPDATE"})
            ASSERT_TRUE(QSqlQuery(db).exec(
                QStringLiteral("CREATE TRIGGER no_offset_%1 BEFORE %1 ON bot_state BEGIN"
                               " SELECT RAISE(ABORT, 'disk full'); END")
                    .arg(QLatin1String(when))));
        const qsizetype polls = service.api.calls(QStringLiteral("getUpdates")).size();
        service.api.queueText(41, QStringLiteral("/pair ") + code);
        ASSERT_TRUE(TestHttp::waitUntil(
            [&] { return service.api.calls(QStringLiteral("getUpdates")).size() > polls + 2; }));
        EXPECT_EQ(service.status(code).value(QStringLiteral("status")), "pending")
            << "the pairing was kept without its offset";
        QSqlQuery(db).exec(QStringLiteral("DROP TRIGGER no_offset_INSERT"));
        QSqlQuery(db).exec(QStringLiteral("DROP TRIGGER no_offset_UPDATE"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("saboteur"));
    service.restart();
    ASSERT_TRUE(TestHttp::waitUntil([&] { return service.api.lastOffset() > 1000; }));
    ASSERT_EQ(service.api.messages().size(), 1);
    EXPECT_EQ(service.api.messages().first().text, QString::fromUtf8(BotTexts::paired));
}

TEST(Bot, RidesOutFailuresOfTheBotApi) {
    TestService service;
    service.api.failNext(QStringLiteral("getUpdates"), 502);
    service.api.failNext(QStringLiteral("sendMessage"), 429);
    const QString code = service.createCode();
    EXPECT_EQ(service.tell(21, QStringLiteral("/pair ") + code),
              QString::fromUtf8(BotTexts::paired));
    EXPECT_GE(service.api.calls(QStringLiteral("getUpdates")).size(), 2);
    EXPECT_EQ(service.api.calls(QStringLiteral("sendMessage")).size(), 2)
        << "the reply was sent again";
}

TEST(Bot, ForgetsAnOffsetOlderThanTelegramKeepsUpdatesSoRenumberedOnesArrive) {
    TestService service;
    EXPECT_EQ(service.tell(1, QStringLiteral("hi")), help); // offset now 1001
    service.clock.advanceSeconds(8 * 24 * 60 * 60);
    // Telegram renumbers only after such a silence, so the polls meanwhile ask without offset.
    const qsizetype polls = service.api.calls(QStringLiteral("getUpdates")).size();
    ASSERT_TRUE(TestHttp::waitUntil([&] {
        const auto calls = service.api.calls(QStringLiteral("getUpdates"));
        return calls.size() > polls + 1 && calls.last().params.value(QStringLiteral("offset")) == 0;
    }));
    service.api.setNextUpdateId(7);
    EXPECT_EQ(service.tell(1, QStringLiteral("hi again")), help);
    service.restart();
    EXPECT_EQ(service.tell(1, QStringLiteral("and after a restart")), help);
    EXPECT_EQ(service.api.lastOffset(), 9) << "the new numbering is followed";
}
