// Several instances on one PostgreSQL database, as behind a load balancer, with updates by
// webhook. The server is a private one started for these tests.
#include "BotTexts.h"
#include "PostgresServer.h"
#include "TestService.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTimer>
#include <gtest/gtest.h>

using namespace pairing;

namespace {

class SharedDatabase : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new PostgresServer; }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override {
        if (!s_server->unavailableReason().isEmpty())
            GTEST_SKIP() << "PostgreSQL could not be started: "
                         << s_server->unavailableReason().toStdString();
    }

    static QMap<QString, QString> instance() {
        return {{"KORVELLA_PAIRING_DATABASE", s_server->databaseUrl()},
                {"KORVELLA_PAIRING_UPDATES", "webhook"},
                {"KORVELLA_PAIRING_WEBHOOK_SECRET", "shared-secret"}};
    }
    static int deliver(TestService &service, qint64 chatId, const QString &text) {
        static qint64 updateId = 1;
        const QJsonObject update{
            {"update_id", updateId++},
            {"message", QJsonObject{{"from", QJsonObject{{"id", chatId}, {"is_bot", false}}},
                                    {"chat", QJsonObject{{"id", chatId}, {"type", "private"}}},
                                    {"text", text}}}};
        return TestHttp::post(service.url(QStringLiteral("/api/telegram-webhook")),
                              QJsonDocument(update).toJson(),
                              {{"X-Telegram-Bot-Api-Secret-Token", "shared-secret"}})
            .status;
    }

    static PostgresServer *s_server;
};
PostgresServer *SharedDatabase::s_server = nullptr;

} // namespace

TEST_F(SharedDatabase, TwoInstancesAnswerForCodesCreatedAndPairedOnTheOther) {
    TestService a(instance());
    TestService b(instance());
    const QString fromA = a.createCode();
    const QString fromB = b.createCode();
    EXPECT_EQ(b.status(fromA).value("status"), "pending");
    EXPECT_EQ(a.status(fromB).value("status"), "pending");

    EXPECT_EQ(deliver(b, 501, QStringLiteral("/pair ") + fromA), 200);
    EXPECT_EQ(a.status(fromA).value("chat_id"), "501");
    EXPECT_EQ(b.status(fromA).value("chat_id"), "501");

    // The second chat is refused whichever instance its update reaches.
    EXPECT_EQ(deliver(a, 502, QStringLiteral("/pair ") + fromA), 200);
    ASSERT_TRUE(TestHttp::waitUntil([&] { return a.api.messages().size() == 1; }));
    EXPECT_EQ(a.api.messages().first().text, QString::fromUtf8(BotTexts::pairedElsewhere));

    // The first report on A started the minute for both.
    a.clock.advanceSeconds(61);
    b.clock.advanceSeconds(61);
    EXPECT_EQ(b.status(fromA).value("status"), "not_found");
    EXPECT_EQ(a.status(fromB).value("status"), "pending");
}

TEST_F(SharedDatabase, ACommandEnteringOneInstanceReachesADevicePollingAnotherWithinASecond) {
    auto held = instance();
    held.insert("TEST_COMMAND_HOLD_MS", "4000");
    TestService a(instance());
    TestService b(held);
    const QString code = a.createCode();
    EXPECT_EQ(deliver(a, 601, QStringLiteral("/pair ") + code), 200);
    const QString token = b.status(code).value("device_token").toString();

    QElapsedTimer sent;
    QTimer::singleShot(0, [&] {
        TestHttp::waitUntil([&] { return b.waitingPolls() == 1; });
        sent.start();
        deliver(a, 601, QStringLiteral("/stop"));
    });
    const auto polled = TestHttp::get(b.url(QStringLiteral("/api/commands")),
                                      {{"Authorization", "Bearer " + token.toLatin1()}});
    EXPECT_LT(sent.elapsed(), 1000);
    const QJsonArray commands = polled.json().value("commands").toArray();
    ASSERT_EQ(commands.size(), 1) << polled.body.toStdString();
    EXPECT_EQ(commands.first().toObject().value("command"), "stop");
    ASSERT_TRUE(TestHttp::waitUntil([&] { return a.api.messages().size() == 2; }));
    EXPECT_EQ(a.api.messages().last().text,
              QString::fromUtf8(BotTexts::commandQueued).arg(QLatin1String("/stop")));
}

TEST_F(SharedDatabase, ADatabaseRestartCostsOnlyTheRequestsDuringIt) {
    TestService service(instance());
    const QString code = service.createCode();
    ASSERT_TRUE(s_server->stop());
    const auto during =
        TestHttp::get(service.url(QStringLiteral("/api/pairing_status.php?code=") + code));
    EXPECT_EQ(during.status, 503);
    EXPECT_EQ(during.json(), QJsonObject({{"error", "database_unavailable"}}));
    EXPECT_EQ(TestHttp::get(service.url(QStringLiteral("/api/health"))).status, 503);
    ASSERT_TRUE(s_server->start());
    EXPECT_EQ(service.status(code).value("status"), "pending");
    EXPECT_EQ(TestHttp::get(service.url(QStringLiteral("/api/health"))).status, 200);
}
