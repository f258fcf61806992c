// Commands from Telegram against loopback fakes: `api` plays the Bot API's getUpdates and the
// pairing service's /commands, `chat` receives the answers (sendMessage).
#include "control/RemoteControl.h"
#include "control/RemoteCommands.h"
#include "platform/SettingsKeys.h"
#include "sleep/KeepAwakeSession.h"
#include "tests/support/FakeAlertPresenter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakePowerAssertions.h"
#include "tests/support/FakeSettingsStore.h"
#include "tests/support/WaitUntil.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

const QByteArray kNoUpdates = R"({"ok":true,"result":[]})";
const QByteArray kBotName = R"({"ok":true,"result":{"id":111,"username":"KorvellaHomeBot"}})";

QJsonObject message(qint64 id, qint64 chat, const QString &text, qint64 ageSecs = 0,
                    const char *kind = "message") {
    const QJsonObject body{{"chat", QJsonObject{{"id", chat}}},
                           {"text", text},
                           {"date", QDateTime::currentSecsSinceEpoch() - ageSecs}};
    return {{"update_id", id}, {kind, body}};
}

QByteArray updates(const QJsonArray &list) {
    return QJsonDocument(QJsonObject{{"ok", true}, {"result", list}}).toJson();
}

class RemoteControlTest : public ::testing::Test {
protected:
    RemoteControlTest() {
        api.setDefaultReply(FakeHttpServer::Reply::json(kNoUpdates));
        settings.setBool(SettingsKeys::tgRemoteControl, true);
        settings.setString(SettingsKeys::tgBotToken, "111:own");
        settings.setString(SettingsKeys::tgChatID, "42");
        QObject::connect(&remote, &RemoteControl::problemChanged,
                         [this](const QString &line) { problems << line; });
    }

    // The answers sent so far as "chat: text", in the order they arrived.
    QStringList answers() const {
        QStringList result;
        for (const FakeHttpServer::Request &request : chat.requests()) {
            const QUrlQuery form(QString::fromUtf8(request.body));
            result << form.queryItemValue("chat_id", QUrl::FullyDecoded) + ": " +
                          form.queryItemValue("text", QUrl::FullyDecoded);
        }
        return result;
    }
    int pathCount(const QByteArray &suffix) const {
        return int(
            std::count_if(api.requests().begin(), api.requests().end(),
                          [&](const auto &request) { return request.path.endsWith(suffix); }));
    }
    // A request of our own reaches the fake after any the code under test sent before it.
    void probeApi() {
        const int before = api.requestCount();
        HttpExchange::Request probe;
        probe.url = QUrl(api.baseUrl() + "/probe");
        HttpExchange::start(network, probe, {});
        ASSERT_TRUE(api.waitForRequests(before + 1));
    }

    FakeHttpServer api;
    FakeHttpServer chat;
    FakeSettingsStore settings;
    QNetworkAccessManager network;
    TelegramNotifier notifier{network, chat.baseUrl(), nullptr};
    FakePowerAssertions assertions;
    FakeClock clock;
    FakeAlertPresenter alerts;
    KeepAwakeSession session{assertions, clock, alerts};
    RemoteCommands commands{session, [this]() -> std::optional<QString> {
                                if (!session.isRunning())
                                    return std::nullopt;
                                return session.statusLineText();
                            }};
    RemoteControl remote{settings,
                         network,
                         notifier,
                         commands,
                         {api.baseUrl(), api.baseUrl() + "/api", "999:official"}};
    QStringList problems;
};

TEST_F(RemoteControlTest, OwnBotRunsTheConfiguredChatsCommandsOnceEach) {
    api.enqueue(FakeHttpServer::Reply::json(kBotName));
    api.enqueue(FakeHttpServer::Reply::json(
        updates({message(10, 42, "/status"), message(11, 7, "/start"), message(12, 42, "/start 1h"),
                 message(13, 42, "/extend 30m"), message(14, 7, "/stop"),
                 message(15, 42, "/stop", 0, "edited_message"), message(16, 42, "/stop", 3600),
                 message(17, 42, "hello /stop"), message(18, 42, "/start 2x")})));
    // Delivered again with the next one, as after a lost confirmation.
    api.enqueue(FakeHttpServer::Reply::json(
        updates({message(13, 42, "/extend 30m"), message(19, 42, "/stop@OtherBot"),
                 message(20, 42, "/stop@korvellahomebot")})));
    remote.reconfigure();

    ASSERT_TRUE(waitUntil([&] { return chat.requestCount() >= 5; }));
    QStringList sent = answers();
    sent.sort();
    EXPECT_EQ(sent,
              QStringList(
                  {"42: [Korvella] 目前狀態：😴 睡著了（未啟動）",
                   "42: ⚠️ 看不懂這個時間長度，請寫成例如：30m、1h、1h30m。",
                   "42: ✨ 已延長防睡眠（防睡眠中・剩 1 小時 30 分）",
                   "42: ✨ 已開始防睡眠（防睡眠中・剩 1 小時）", "42: 😴 已結束防睡眠。"}));
    EXPECT_FALSE(session.isRunning());
    EXPECT_TRUE(assertions.held.isEmpty()) << "the lock is released";

    // The bot's name first; later polls ask from the next update on, for messages only, held
    // 50 s at Telegram.
    ASSERT_TRUE(api.waitForRequests(4));
    EXPECT_EQ(api.requests()[0].path, "/bot111:own/getMe");
    const QUrlQuery first(QString::fromLatin1(api.requests()[1].query));
    EXPECT_EQ(api.requests()[1].path, "/bot111:own/getUpdates");
    EXPECT_EQ(first.queryItemValue("timeout"), "50");
    EXPECT_EQ(first.queryItemValue("allowed_updates", QUrl::FullyDecoded), R"(["message"])");
    EXPECT_FALSE(first.hasQueryItem("offset"));
    EXPECT_EQ(QUrlQuery(QString::fromLatin1(api.requests()[3].query)).queryItemValue("offset"),
              "21");
    EXPECT_EQ(chat.requestCount(), 5);
}

TEST_F(RemoteControlTest, OffMeansNoRequestAndAConflictStopsWithALine) {
    settings.setBool(SettingsKeys::tgRemoteControl, false);
    remote.reconfigure();
    probeApi();
    EXPECT_EQ(api.requestCount(), 1) << "only the probe";
    EXPECT_FALSE(remote.ownBotPoll().hasPendingWork());

    api.enqueue(FakeHttpServer::Reply::json(kBotName));
    api.enqueue(FakeHttpServer::Reply::withStatus(409, R"({"ok":false,"error_code":409})"));
    settings.setBool(SettingsKeys::tgRemoteControl, true);
    remote.reconfigure();
    ASSERT_TRUE(waitUntil([&] { return !remote.problem().isEmpty(); }));
    EXPECT_EQ(remote.problem(), "⚠️ 遙控已停止：這個 Bot 正由 Webhook "
                                "或其他程式接收訊息，請先停用它們。");
    EXPECT_FALSE(remote.ownBotPoll().hasPendingWork());
    probeApi();
    EXPECT_EQ(pathCount("/getUpdates"), 1) << "no poll after the conflict";

    // Turning it off clears the line; on again polls again.
    settings.setBool(SettingsKeys::tgRemoteControl, false);
    remote.reconfigure();
    EXPECT_EQ(problems.last(), "");
    settings.setBool(SettingsKeys::tgRemoteControl, true);
    remote.reconfigure();
    ASSERT_TRUE(waitUntil([&] { return pathCount("/getUpdates") == 2; }));
}

TEST_F(RemoteControlTest, OfficialChatTakesTheServicesCommandsUntilItsTokenIsRefused) {
    settings.setString(SettingsKeys::tgBotToken, "");
    settings.setString(SettingsKeys::tgOfficialChatID, "555");
    remote.reconfigure();
    EXPECT_EQ(remote.problem(), "⚠️ 要用官方 Bot 遙控，請重新連接 Telegram。");

    session.start(0);
    api.enqueue(FakeHttpServer::Reply::json(
        R"({"commands":[{"command":"extend","argument":"30"},{"command":"stop","argument":""}]})"));
    api.enqueue(FakeHttpServer::Reply::withStatus(401, R"({"error":"unauthorized"})"));
    settings.setString(SettingsKeys::tgOfficialDeviceToken, "device-secret");
    remote.reconfigure();
    EXPECT_EQ(remote.problem(), "");
    ASSERT_TRUE(waitUntil([&] { return !remote.problem().isEmpty(); }));
    EXPECT_EQ(
        remote.problem(),
        "⚠️ 遙控已停止：官方 Bot 的配對已失效，請重新連接 Telegram。");
    ASSERT_EQ(api.requestCount(), 2);
    EXPECT_EQ(api.requests()[0].path, "/api/commands");
    EXPECT_EQ(api.requests()[0].headers.value("authorization"), "Bearer device-secret");

    ASSERT_TRUE(waitUntil([&] { return chat.requestCount() >= 2; }));
    QStringList sent = answers();
    sent.sort();
    EXPECT_EQ(sent,
              QStringList({"555: 目前是無限期防睡眠，不需要延長。", "555: 😴 已結束防睡眠。"}));
    EXPECT_EQ(chat.requests()[0].path, "/bot999:official/sendMessage");
    EXPECT_FALSE(session.isRunning());
}

TEST_F(RemoteControlTest, FailedPollsBackOff) {
    api.setDefaultReply(FakeHttpServer::Reply::withStatus(502, "{}"));
    QElapsedTimer elapsed;
    elapsed.start();
    remote.reconfigure();
    ASSERT_TRUE(api.waitForRequests(3, 20'000));
    // 1 s, then 2 s; coarse timers may fire up to 5 % early.
    EXPECT_GE(elapsed.elapsed(), 2700);
}

} // namespace
