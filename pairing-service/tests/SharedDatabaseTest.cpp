// Several instances on one PostgreSQL database, as behind a load balancer, with updates by webhook.
// The server is a private one started for these tests.
#include "BotTexts.h"
#include "PostgresServer.h"
#include "TestService.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace pairing;

namespace {

class SharedDatabase : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new PostgresServer; }
    static void TearDownTestSuite() { delete std::exchange(s_server, nullptr); }
    void SetUp() override {
        if (!s_server->unavailableReason().isEmpty())
            GTEST_SKIP() << "PostgreSQL could not be started: "
                         << s_server->unavailableReason().toStdString();
    }
    static QMap<QString, QString> instance(const QString &holdMs = "2000") {
        return {{"KORVELLA_PAIRING_DATABASE", s_server->databaseUrl()},
                {"KORVELLA_PAIRING_UPDATES", "webhook"},
                {"KORVELLA_PAIRING_WEBHOOK_SECRET", "shared-secret"},
                {"TEST_COMMAND_HOLD_MS", holdMs}};
    }
    static PostgresServer *s_server;
};
PostgresServer *SharedDatabase::s_server = nullptr;
const TestHttp::Headers hook{{"X-Telegram-Bot-Api-Secret-Token", "shared-secret"}};

} // namespace

TEST_F(SharedDatabase, TwoInstancesShareCodesAndACommandEnteringOneReachesADevicePollingTheOther) {
    TestService a(instance());
    TestService b(instance("4000"));
    const QString fromA = a.createCode();
    const QString fromB = b.createCode();
    EXPECT_EQ(b.status(fromA).value("status"), "pending");
    EXPECT_EQ(a.status(fromB).value("status"), "pending");

    EXPECT_EQ(b.deliver(501, "/pair " + fromA, hook).status, 200);
    EXPECT_EQ(a.status(fromA).value("chat_id"), "501");
    EXPECT_EQ(b.status(fromA).value("chat_id"), "501");

    // The second chat is refused whichever instance its update reaches.
    EXPECT_EQ(a.deliver(502, "/pair " + fromA, hook).status, 200);
    ASSERT_TRUE(TestHttp::waitUntil([&] { return a.api.messages().size() == 1; }));
    EXPECT_EQ(a.api.messages().first().text, said(BotTexts::pairedElsewhere));

    // The first report on A started the minute for both.
    a.clock.advanceSeconds(61);
    b.clock.advanceSeconds(61);
    EXPECT_EQ(b.status(fromA).value("status"), "not_found");
    EXPECT_EQ(a.status(fromB).value("status"), "pending");

    // A command through A's webhook reaches a device long-polling B within a second.
    const QString code = a.createCode();
    EXPECT_EQ(a.deliver(601, "/pair " + code, hook).status, 200);
    const QString token = b.status(code).value("device_token").toString();

    QElapsedTimer sent;
    QTimer::singleShot(0, [&] {
        TestHttp::waitUntil([&] { return b.waitingPolls() == 1; });
        sent.start();
        a.deliver(601, "/stop", hook);
    });
    const auto polled = b.commands(token);
    EXPECT_LT(sent.elapsed(), 1000);
    const QJsonArray commands = polled.json().value("commands").toArray();
    ASSERT_EQ(commands.size(), 1) << polled.body.toStdString();
    EXPECT_EQ(commands.first().toObject().value("command"), "stop");
    ASSERT_TRUE(TestHttp::waitUntil([&] { return a.api.messages().size() == 3; }));
    EXPECT_EQ(a.api.messages().last().text,
              said(BotTexts::commandQueued).arg(QLatin1String("/stop")));
}

TEST_F(SharedDatabase, ADatabaseRestartCostsOnlyTheRequestsDuringIt) {
    TestService service(instance());
    const QString code = service.createCode();
    ASSERT_TRUE(s_server->stop());
    const auto during = TestHttp::get(service.url("/api/pairing_status.php?code=" + code));
    expectError(during, 503, "database_unavailable");
    EXPECT_EQ(TestHttp::get(service.url("/api/health")).status, 503);
    ASSERT_TRUE(s_server->start());
    EXPECT_EQ(service.status(code).value("status"), "pending");
    EXPECT_EQ(TestHttp::get(service.url("/api/health")).status, 200);
}
