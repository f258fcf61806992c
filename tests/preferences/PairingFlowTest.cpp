#include "preferences/OfficialBotPairing.h"
#include "tests/preferences/PreferencesFixture.h"
#include "tests/support/FakeHttpServer.h"

#include <QNetworkAccessManager>
#include <QTimer>
#include <QUrlQuery>

namespace {

const QString kConnect = "連接 Telegram（官方 Bot，推薦）";
const Alert kConnectFailed{
    Alert::Style::Informational, "連線失敗", "無法連上配對伺服器，請確認網路連線後再試一次。", {}};
const Alert kTimedOut{Alert::Style::Informational,
                      "配對逾時",
                      "超過 2 分鐘沒有收到配對訊息，請重新產生配對碼再試一次。",
                      {}};
const Alert kPaired{Alert::Style::Informational,
                    "配對成功",
                    "已連接 Telegram，之後會定時收到 Korvella 的狀態推播。",
                    {}};

using Reply = FakeHttpServer::Reply;
using Query = QList<QPair<QString, QString>>;

Reply paired(const QString &chatID, int delayMs = 0) {
    return Reply::json(R"({"status":"paired","chat_id":")" + chatID.toUtf8() + R"("})")
        .delayedBy(delayMs);
}

// The pairing service and the Bot API on loopback; the poll timer is fired by hand.
class PairingFlow : public PreferencesTest {
protected:
    void SetUp() override {
        PreferencesConfig config;
        config.pairingBaseUrl = pairing.baseUrl() + "/api";
        config.telegramApiBase = botApi.baseUrl();
        config.deepLinkBase = "https://t.me";
        config.officialBotUsername = "dremlo_app_bot";
        config.officialBotToken = "1234567890:OFFICIALtokenOFFICIALtokenOFFICIAL";
        make(config);
    }

    // Presses the button and waits until the explanation was answered and polling started.
    void startPairing(const QString &code) {
        pairing.enqueue(Reply::json(R"({"code":")" + code.toUtf8() + R"("})"));
        const qsizetype alertsBefore = fake.alerts.shown.size();
        controller->connectOfficialBot();
        EXPECT_FALSE(button()->isEnabled());
        EXPECT_EQ(title(), "產生配對碼…");
        ASSERT_TRUE(waitUntil([&] { return fake.alerts.shown.size() > alertsBefore; }));
        ASSERT_NE(controller->pairingPollTimer(), nullptr);
    }

    // One tick of the 2-second timer; waits for the status request it sends.
    void tick() {
        QTimer *timer = controller->pairingPollTimer();
        ASSERT_NE(timer, nullptr);
        const int before = pairing.requestCount();
        QMetaObject::invokeMethod(timer, "timeout");
        if (controller->pairingSecondsElapsed() <= 120) {
            ASSERT_TRUE(pairing.waitForRequests(before + 1));
        }
    }

    bool waitForAlert(const Alert &alert) {
        return waitUntil([&] { return fake.alerts.shown.contains(alert); });
    }

    // The button as before any pairing: enabled, offering to connect, nothing polling.
    bool isIdle() const {
        return button()->isEnabled() && title() == kConnect && !controller->pairingPollTimer();
    }

    QPushButton *button() const { return controller->connectButton(); }
    QString title() const { return PlainText::buttonTitle(button()); }
    QString label() const { return controller->connectionStatusLabel()->text(); }

    FakeHttpServer pairing;
    FakeHttpServer botApi;
};

// Any code, however awkward, reaches the explanation, the link and the status request intact.
TEST_F(PairingFlow, SuccessStoresTheChatAndSwitchesPushesOn) {
    int callbacksAtSuccessAlert = -1;
    fake.alerts.onRun = [&](const Alert &alert) {
        if (alert.messageText == "配對成功")
            callbacksAtSuccessAlert = callbacks;
    };
    const QString code = "<b>a&b</b> 中文 ?#%+=";
    startPairing(code);
    EXPECT_EQ(
        fake.alerts.shown.first(),
        (Alert{Alert::Style::Informational,
               "連接 Telegram",
               "即將開啟 Telegram，請直接按「傳送」把這則訊息送給 @dremlo_app_bot：\n\n/pair " +
                   code + "\n\n傳送後幾秒內這裡會自動顯示連接成功。",
               {"開啟 Telegram", "取消"}}));
    ASSERT_EQ(fake.urlOpener.opened.size(), 1);
    const QUrl link = fake.urlOpener.opened.first();
    EXPECT_EQ(link.adjusted(QUrl::RemoveQuery), QUrl("https://t.me/dremlo_app_bot"));
    EXPECT_EQ(QUrlQuery(link).queryItems(QUrl::FullyDecoded), (Query{{"start", code}}));
    EXPECT_EQ(title(), "等待配對中…（" + code + "）");
    EXPECT_TRUE(button()->shortcut().isEmpty()) << "'&' is not a mnemonic";
    EXPECT_TRUE(controller->pairingPollTimer()->isActive());
    EXPECT_EQ(controller->pairingPollTimer()->interval(), 2000) << "sixty polls take two minutes";
    pairing.enqueue(Reply::json(R"({"status":"pending"})"));
    tick();
    const FakeHttpServer::Request &status = pairing.requests().last();
    EXPECT_EQ(status.path, "/api/pairing_status.php");
    EXPECT_EQ(QUrlQuery(QString::fromLatin1(status.query)).queryItems(QUrl::FullyDecoded),
              (Query{{"code", code}}));
    pairing.enqueue(paired("987654321"));
    tick();
    ASSERT_TRUE(waitForAlert(kPaired));

    EXPECT_EQ(stored("tgOfficialChatID"), "987654321");
    EXPECT_EQ(fake.settings.boolValue("tgEnabled"), true);
    EXPECT_TRUE(controller->tgEnabledCheckbox()->isChecked());
    EXPECT_EQ(label(), "✓ 已連接官方 Bot");
    EXPECT_FALSE(controller->officialTestButton()->isHidden());
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_EQ(title(), "重新連接官方 Bot");
    EXPECT_EQ(controller->pairingPollTimer(), nullptr);
    EXPECT_EQ(callbacks, 1);
    EXPECT_EQ(callbacksAtSuccessAlert, 1) << "the push is re-armed before the alert shows";

    // The connected chat's test message: either outcome is shown.
    const auto sendTest = [&] {
        const qsizetype before = fake.alerts.shown.size();
        controller->sendOfficialTestMessage();
        EXPECT_FALSE(controller->officialTestButton()->isEnabled());
        EXPECT_TRUE(waitUntil([&] { return fake.alerts.shown.size() > before; }, 10'000));
        EXPECT_TRUE(controller->officialTestButton()->isEnabled());
        return fake.alerts.shown.value(before);
    };
    EXPECT_EQ(sendTest(),
              (Alert{Alert::Style::Informational, "測試成功", "已成功傳送到你的 Telegram。", {}}));
    ASSERT_EQ(botApi.requests().size(), 1);
    EXPECT_EQ(botApi.requests().first().path,
              "/bot1234567890:OFFICIALtokenOFFICIALtokenOFFICIAL/sendMessage");
    EXPECT_EQ(
        QUrlQuery(QString::fromLatin1(botApi.requests().first().body))
            .queryItems(QUrl::FullyDecoded),
        (Query{{"chat_id", "987654321"}, {"text", "[Korvella] 測試訊息 ✅ 官方 Bot 連線正常！"}}));
    botApi.enqueue(Reply::withStatus(403, "{}"));
    EXPECT_EQ(sendTest(), (Alert{Alert::Style::Informational,
                                 "測試失敗",
                                 "傳送失敗，請確認網路連線，或重新連接官方 Bot。",
                                 {}}));
}

// The time is up after sixty status requests; a "paired" that arrives only then still connects.
TEST_F(PairingFlow, TimesOutAfterExactlySixtyStatusRequestsButALatePairedCompletes) {
    fake.settings.setString("tgOfficialChatID", "555"); // a re-pairing keeps the old chat
    controller->updateConnectionStatusLabel();
    startPairing("T1");
    for (int i = 1; i <= 60; ++i) {
        if (i == 60)
            pairing.enqueue(paired("777", 1500));
        tick();
        ASSERT_FALSE(button()->isEnabled()) << "tick " << i;
    }
    EXPECT_EQ(pairing.requestCount(), 61) << "one create, sixty status requests";
    EXPECT_EQ(fake.alerts.shown.size(), 1);
    tick();
    EXPECT_EQ(fake.alerts.shown.last(), kTimedOut);
    EXPECT_TRUE(isIdle());
    EXPECT_EQ(label(), "✓ 已連接官方 Bot");
    EXPECT_FALSE(controller->officialTestButton()->isHidden());

    ASSERT_TRUE(waitForAlert(kPaired));
    EXPECT_EQ(stored("tgOfficialChatID"), "777");
    EXPECT_EQ(callbacks, 1);
    EXPECT_EQ(pairing.requestCount(), 61);
}

// A failed create restores the button with an alert. Cancelling the explanation opens nothing
// but still waits. Expired and not found end the wait without an alert of their own. Mend: a
// "paired" without a chat would store nothing usable and report success; it is a failure.
TEST_F(PairingFlow, CreateFailureExpiredNotFoundAndAChatlessPairedEndTheWait) {
    pairing.enqueue(Reply::withStatus(500, R"({"code":42})"));
    controller->connectOfficialBot();
    ASSERT_TRUE(waitForAlert(kConnectFailed));
    EXPECT_TRUE(isIdle());
    fake.alerts.answer = 1;
    for (const auto &[reply, lastAlert] :
         {std::pair<QByteArray, QString>{R"({"status":"expired"})", "連接 Telegram"},
          {R"({"status":"not_found"})", "連接 Telegram"},
          {R"({"status":"paired","chat_id":12345})", kConnectFailed.messageText}}) {
        startPairing("E1");
        pairing.enqueue(Reply::json(reply));
        tick();
        EXPECT_TRUE(waitUntil([&] {
            return isIdle() && fake.alerts.shown.last().messageText == lastAlert;
        })) << reply.constData();
        EXPECT_EQ(label(), "尚未連接");
    }
    EXPECT_EQ(fake.alerts.shown.last(), kConnectFailed);
    EXPECT_FALSE(fake.settings.values.contains("tgOfficialChatID") ||
                 fake.settings.values.contains("tgEnabled"));
    EXPECT_TRUE(controller->officialTestButton()->isHidden());
    const qsizetype alerts = fake.alerts.shown.size();
    controller->sendOfficialTestMessage();
    EXPECT_EQ(fake.alerts.shown.size(), alerts);
    EXPECT_TRUE(botApi.requests().isEmpty()) << "no test message without an official chat";
    EXPECT_EQ(callbacks, 0);
    EXPECT_TRUE(fake.urlOpener.opened.isEmpty());
}

// The flow without widgets: attempts against a loopback pairing service. Every reply the
// network delivered is counted, so a test can wait for a reply that must change nothing.
class PairingAttempts : public ::testing::Test {
protected:
    PairingAttempts() {
        QObject::connect(&network, &QNetworkAccessManager::finished, [this] { ++replies; });
        QObject::connect(&pairing, &OfficialBotPairing::paired,
                         [this](const QString &chat) { pairedChats << chat; });
        QObject::connect(&pairing, &OfficialBotPairing::failed, [this] { ++failures; });
    }
    void start(const QByteArray &code) {
        server.enqueue(Reply::json(R"({"code":")" + code + R"("})"));
        pairing.start();
        ASSERT_TRUE(
            waitUntil([&] { return pairing.state() == OfficialBotPairing::State::Waiting; }));
    }
    void tick(const Reply &reply) {
        server.enqueue(reply);
        const int before = server.requestCount();
        ASSERT_NE(pairing.pollTimer(), nullptr);
        QMetaObject::invokeMethod(pairing.pollTimer(), "timeout");
        ASSERT_TRUE(server.waitForRequests(before + 1));
    }
    bool waitForReplies(int count) {
        return waitUntil([&] { return replies >= count; }, 10'000);
    }

    FakeHttpServer server;
    FakeSettingsStore settings;
    QNetworkAccessManager network;
    PairingClient client{network, server.baseUrl() + "/api"};
    OfficialBotPairing pairing{client, settings};
    int replies = 0;
    int failures = 0;
    QStringList pairedChats;
};

// A succeeds once: neither a second answer nor one that arrives after newer attempts counts. B's
// late "paired" still connects (the user did send that code) and its late "expired" does not end
// C's wait; nothing older ever replaces what a newer attempt stored.
TEST_F(PairingAttempts, ARepliesApplyOnlyToTheAttemptThatAskedAndSucceedOnce) {
    start("A");
    tick(paired("111", 6000));
    tick(paired("111", 1000)); // a second answer for A while nothing else runs
    tick(paired("111"));
    ASSERT_TRUE(waitForReplies(3));
    EXPECT_EQ(pairedChats, QStringList{"111"});

    start("B");
    tick(Reply::json(R"({"status":"expired"})").delayedBy(600));
    tick(paired("222", 600));
    start("C");
    const QTimer *current = pairing.pollTimer();
    ASSERT_TRUE(waitForReplies(7)) << "three codes, four status replies";
    EXPECT_EQ(pairedChats, QStringList({"111", "222"}));
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(pairing.state(), OfficialBotPairing::State::Waiting);
    EXPECT_EQ(pairing.pollTimer(), current);
    EXPECT_TRUE(current->isActive());

    tick(paired("333"));
    ASSERT_TRUE(waitForReplies(9)) << "C's reply and A's late one";
    EXPECT_EQ(pairedChats, QStringList({"111", "222", "333"}));
    EXPECT_EQ(settings.stringValue("tgOfficialChatID"), "333");
    EXPECT_EQ(settings.writes.count("tgOfficialChatID"), 3);
    EXPECT_EQ(pairing.state(), OfficialBotPairing::State::Paired);
    EXPECT_EQ(server.requests().last().target, "/api/pairing_status.php?code=C");
}

} // namespace
