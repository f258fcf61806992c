// Webhook mode: updates posted by Telegram with the secret token, and keeping the webhook set.
#include "BotApiClient.h"
#include "TestService.h"
#include "WebhookKeeper.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace pairing;

namespace {

TestHttp::Headers secret(const QByteArray &value) {
    return {{"X-Telegram-Bot-Api-Secret-Token", value}, {"Content-Type", "application/json"}};
}

QStringList capturedLog;

} // namespace

TEST(Webhook, RefusesCallsWithoutTheSecretAndPairsWithIt) {
    TestService service({{"KORVELLA_PAIRING_UPDATES", "webhook"},
                         {"KORVELLA_PAIRING_WEBHOOK_SECRET", "s3cret-Token_1"}});
    const QString code = service.createCode();
    const QString hook = service.url("/api/telegram-webhook");
    expectError(service.deliver(1, "/pair " + code, {}), 403, "forbidden");
    // Through the proxy on loopback: the refusal names the client the proxy reported.
    capturedLog.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &line) { capturedLog << line; });
    auto forwarded = secret("s3cret-Token_2");
    forwarded.append(qMakePair(QByteArray("X-Forwarded-For"), QByteArray("198.51.100.23")));
    EXPECT_EQ(service.deliver(1, "/pair " + code, forwarded).status, 403);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(capturedLog.filter("refused").join('\n').contains("198.51.100.23"))
        << capturedLog.join('\n').toStdString();
    for (const char *wrong : {"s3cret-Token_", "S3CRET-TOKEN_1"})
        EXPECT_EQ(service.deliver(1, "/pair " + code, secret(wrong)).status, 403) << wrong;
    EXPECT_EQ(service.status(code).value("status"), "pending") << "a refused call paired the code";

    EXPECT_EQ(service.deliver(1, "/pair " + code, secret("s3cret-Token_1")).status, 200);
    EXPECT_EQ(service.status(code).value("chat_id"), "1");
    ASSERT_TRUE(TestHttp::waitUntil([&] { return service.api.messages().size() == 1; }));
    EXPECT_EQ(service.api.messages().first().text, said(BotTexts::paired));

    EXPECT_EQ(TestHttp::post(hook, "{not json", secret("s3cret-Token_1")).status, 400);
    EXPECT_EQ(TestHttp::get(hook, secret("s3cret-Token_1")).status, 405);
    EXPECT_TRUE(service.api.calls("getUpdates").isEmpty()) << "webhook mode polls";
}

TEST(Webhook, IsRegisteredWithItsSecretSoonAfterFailuresAndPutBackWhenSomeoneMovesIt) {
    const QString url = "https://pair.example.org/api/telegram-webhook";
    TestService service({{"KORVELLA_PAIRING_UPDATES", "webhook"},
                         {"KORVELLA_PAIRING_WEBHOOK_SECRET", "s3cret"},
                         {"KORVELLA_PAIRING_WEBHOOK_URL", url}});
    // Telegram unreachable at start: tried again after 1 and 2 seconds, not at the next check.
    service.api.failNext("setWebhook", 502, 2);
    ASSERT_TRUE(
        TestHttp::waitUntil([&] { return service.api.calls("setWebhook").size() == 3; }, 15000));
    EXPECT_EQ(service.api.webhookUrl(), url);
    const QJsonObject registration = service.api.calls("setWebhook").last().params;
    EXPECT_EQ(registration.value("url"), url);
    EXPECT_EQ(registration.value("secret_token"), "s3cret");
    EXPECT_EQ(registration.value("allowed_updates"), QJsonArray({"message"}));

    BotApiClient api(service.api.baseUrl(), testBotToken);
    WebhookKeeper keeper(api, url, "s3cret", 60000);
    QSignalSpy settled(&keeper, &WebhookKeeper::settled);
    service.api.setWebhookUrl("https://elsewhere.example/hook");
    keeper.check();
    ASSERT_TRUE(TestHttp::waitUntil([&] { return service.api.calls("setWebhook").size() == 4; }));
    EXPECT_EQ(service.api.webhookUrl(), url);
    keeper.check();
    ASSERT_TRUE(TestHttp::waitUntil([&] { return settled.size() == 2; }));
    EXPECT_EQ(service.api.calls("setWebhook").size(), 4) << "an intact webhook is left alone";
}
