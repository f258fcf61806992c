// Webhook mode: updates posted by Telegram with the secret token, and keeping the webhook set.
#include "BotApiClient.h"
#include "BotTexts.h"
#include "TestService.h"
#include "WebhookKeeper.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace pairing;

namespace {

const QMap<QString, QString> webhookMode{{"KORVELLA_PAIRING_UPDATES", "webhook"},
                                         {"KORVELLA_PAIRING_WEBHOOK_SECRET", "s3cret-Token_1"}};

TestHttp::Headers secret(const QByteArray &value) {
    return {{"X-Telegram-Bot-Api-Secret-Token", value}, {"Content-Type", "application/json"}};
}

QStringList *capturedLog = nullptr;

} // namespace

TEST(Webhook, RefusesCallsWithoutTheSecretAndPairsWithIt) {
    TestService service(webhookMode);
    QStringList log;
    capturedLog = &log;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &line) {
            capturedLog->append(line);
        });
    const QString code = service.createCode();
    const QString hook = service.url(QStringLiteral("/api/telegram-webhook"));

    const auto missing = service.deliver(1, "/pair " + code, {});
    EXPECT_EQ(missing.status, 403);
    EXPECT_EQ(missing.json(), QJsonObject({{"error", "forbidden"}}));
    // Through the proxy on loopback: the refusal names the client the proxy reported.
    auto forwarded = secret("s3cret-Token_2");
    forwarded.append(qMakePair(QByteArray("X-Forwarded-For"), QByteArray("198.51.100.23")));
    EXPECT_EQ(service.deliver(1, "/pair " + code, forwarded).status, 403);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(log.filter(QStringLiteral("refused")).join('\n').contains("198.51.100.23"))
        << log.join('\n').toStdString();
    EXPECT_EQ(service.deliver(1, "/pair " + code, secret("s3cret-Token_")).status, 403);
    EXPECT_EQ(service.deliver(1, "/pair " + code, secret("S3CRET-TOKEN_1")).status, 403);
    EXPECT_EQ(service.status(code).value("status"), "pending") << "a refused call paired the code";

    EXPECT_EQ(service.deliver(1, "/pair " + code, secret("s3cret-Token_1")).status, 200);
    EXPECT_EQ(service.status(code).value("chat_id"), "1");
    ASSERT_TRUE(TestHttp::waitUntil([&] { return service.api.messages().size() == 1; }));
    EXPECT_EQ(service.api.messages().first().text, QString::fromUtf8(BotTexts::paired));

    EXPECT_EQ(TestHttp::post(hook, "{not json", secret("s3cret-Token_1")).status, 400);
    EXPECT_EQ(TestHttp::get(hook, secret("s3cret-Token_1")).status, 405);
    EXPECT_TRUE(service.api.calls(QStringLiteral("getUpdates")).isEmpty()) << "webhook mode polls";
}

TEST(Webhook, IsRegisteredWithItsSecretSoonAfterFailuresAndPutBackWhenSomeoneMovesIt) {
    TestService service(
        {{"KORVELLA_PAIRING_UPDATES", "webhook"},
         {"KORVELLA_PAIRING_WEBHOOK_SECRET", "s3cret"},
         {"KORVELLA_PAIRING_WEBHOOK_URL", "https://pair.example.org/api/telegram-webhook"}});
    // Telegram unreachable at start: tried again after 1 and 2 seconds, not at the next check.
    service.api.failNext(QStringLiteral("setWebhook"), 502, 2);
    ASSERT_TRUE(
        TestHttp::waitUntil([&] { return service.api.calls("setWebhook").size() == 3; }, 15000));
    EXPECT_EQ(service.api.webhookUrl(), "https://pair.example.org/api/telegram-webhook");
    const QJsonObject registration = service.api.calls("setWebhook").last().params;
    EXPECT_EQ(registration.value("url"), "https://pair.example.org/api/telegram-webhook");
    EXPECT_EQ(registration.value("secret_token"), "s3cret");
    EXPECT_EQ(registration.value("allowed_updates"), QJsonArray({"message"}));

    BotApiClient api(service.api.baseUrl(), testBotToken);
    WebhookKeeper keeper(api, QStringLiteral("https://pair.example.org/api/telegram-webhook"),
                         QStringLiteral("s3cret"), 60000);
    service.api.setWebhookUrl(QStringLiteral("https://elsewhere.example/hook"));
    keeper.check();
    ASSERT_TRUE(TestHttp::waitUntil([&] { return service.api.calls("setWebhook").size() == 4; }));
    EXPECT_EQ(service.api.webhookUrl(), "https://pair.example.org/api/telegram-webhook");
    keeper.check();
    TestHttp::waitUntil([&] { return service.api.calls("getWebhookInfo").size() == 2; });
    TestHttp::waitUntil([] { return false; }, 100);
    EXPECT_EQ(service.api.calls("setWebhook").size(), 4) << "an intact webhook is left alone";
}
