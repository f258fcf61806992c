#include "tests/preferences/PreferencesFixture.h"
#include "tests/support/FakeHttpServer.h"

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
    ::testing::AssertionResult isIdle() const {
        if (button()->isEnabled() && title() == kConnect && !controller->pairingPollTimer())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "enabled " << button()->isEnabled() << ", title " << title().toStdString()
               << ", polling " << (controller->pairingPollTimer() != nullptr);
    }

    QPushButton *button() const { return controller->connectButton(); }
    QString title() const { return PlainText::buttonTitle(button()); }
    QString label() const { return controller->connectionStatusLabel()->text(); }

    FakeHttpServer pairing;
    FakeHttpServer botApi;
};

TEST_F(PairingFlow, SuccessStoresTheChatAndSwitchesPushesOn) {
    int callbacksAtSuccessAlert = -1;
    fake.alerts.onRun = [&](const Alert &alert) {
        if (alert.messageText == "配對成功")
            callbacksAtSuccessAlert = callbacks;
    };
    startPairing("AB12");
    EXPECT_EQ(fake.alerts.shown.first(),
              (Alert{Alert::Style::Informational,
                     "連接 Telegram",
                     "即將開啟 Telegram，請直接按「傳送」把這則訊息送給 @dremlo_app_bot：\n\n/pair "
                     "AB12\n\n傳送後幾秒內這裡會自動顯示連接成功。",
                     {"開啟 Telegram", "取消"}}));
    EXPECT_EQ(fake.urlOpener.opened, QList<QUrl>{QUrl("https://t.me/dremlo_app_bot?start=AB12")});
    EXPECT_EQ(title(), "等待配對中…（AB12）");
    QTimer *timer = controller->pairingPollTimer();
    EXPECT_EQ(timer->interval(), 2000);
    EXPECT_FALSE(timer->isSingleShot());
    EXPECT_TRUE(timer->isActive());

    pairing.enqueue(Reply::json(R"({"status":"pending"})"));
    tick();
    EXPECT_EQ(pairing.requests().last().target, "/api/pairing_status.php?code=AB12");
    waitUntil([] { return false; }, 50);
    EXPECT_NE(controller->pairingPollTimer(), nullptr) << "pending goes on polling";
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
}

TEST_F(PairingFlow, CancelStillPollsWithoutOpeningTelegram) {
    fake.alerts.answer = 1;
    startPairing("ZZ99");
    EXPECT_TRUE(fake.urlOpener.opened.isEmpty());
    EXPECT_EQ(title(), "等待配對中…（ZZ99）");
    tick();
    EXPECT_EQ(pairing.requests().last().target, "/api/pairing_status.php?code=ZZ99");
}

TEST_F(PairingFlow, CreateFailureRestoresTheButtonWithAnAlert) {
    pairing.enqueue(Reply::withStatus(500, R"({"code":42})"));
    controller->connectOfficialBot();
    ASSERT_TRUE(waitForAlert(kConnectFailed));
    EXPECT_TRUE(isIdle());
    EXPECT_TRUE(fake.urlOpener.opened.isEmpty());

    pairing.stopListening(); // a transport failure reads the same
    controller->connectOfficialBot();
    ASSERT_TRUE(waitUntil([&] { return fake.alerts.shown.size() == 2; }, 10'000));
    EXPECT_EQ(fake.alerts.shown.last(), kConnectFailed);
    EXPECT_TRUE(isIdle());
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
    EXPECT_EQ(controller->pairingSecondsElapsed(), 122);
    EXPECT_EQ(fake.alerts.shown.last(), kTimedOut);
    EXPECT_TRUE(isIdle());
    EXPECT_EQ(label(), "✓ 已連接官方 Bot");
    EXPECT_FALSE(controller->officialTestButton()->isHidden());

    ASSERT_TRUE(waitForAlert(kPaired));
    EXPECT_EQ(stored("tgOfficialChatID"), "777");
    EXPECT_EQ(title(), "重新連接官方 Bot");
    EXPECT_EQ(callbacks, 1);
    EXPECT_EQ(pairing.requestCount(), 61);
}

TEST_F(PairingFlow, ExpiredAndNotFoundEndTheWaitSilently) {
    for (const QByteArray &status : {QByteArray("expired"), QByteArray("not_found")}) {
        startPairing("E1");
        pairing.enqueue(Reply::json(R"({"status":")" + status + R"("})"));
        tick();
        ASSERT_TRUE(waitUntil([&] { return button()->isEnabled(); })) << status.constData();
        EXPECT_TRUE(isIdle());
        EXPECT_EQ(label(), "尚未連接");
        EXPECT_EQ(fake.alerts.shown.last().messageText, "連接 Telegram") << "no alert of its own";
    }
}

// Mend: a "paired" without a chat would store nothing usable and report success.
TEST_F(PairingFlow, PairedWithoutAChatIsAFailedConnection) {
    startPairing("NOCHAT");
    pairing.enqueue(Reply::json(R"({"status":"paired","chat_id":12345})"));
    tick();
    ASSERT_TRUE(waitForAlert(kConnectFailed));
    EXPECT_FALSE(fake.settings.stringValue("tgOfficialChatID").has_value());
    EXPECT_FALSE(fake.settings.boolValue("tgEnabled").has_value());
    EXPECT_FALSE(controller->tgEnabledCheckbox()->isChecked());
    EXPECT_TRUE(isIdle());
    EXPECT_EQ(label(), "尚未連接");
    EXPECT_EQ(callbacks, 0);
}

// Mend: replies for a code the user has replaced leave the pairing now running alone, except a
// late "paired", which still connects.
TEST_F(PairingFlow, RepliesForAnOlderCodeLeaveTheCurrentPairingRunning) {
    startPairing("OLD1");
    pairing.enqueue(Reply::json(R"({"status":"expired"})").delayedBy(800));
    tick();
    pairing.enqueue(paired("111", 1400));
    tick();
    pairing.enqueue(Reply::json(R"({"status":"not_found"})"));
    tick();
    ASSERT_TRUE(waitUntil([&] { return button()->isEnabled(); }));

    startPairing("NEW2");
    QTimer *current = controller->pairingPollTimer();
    waitUntil([] { return false; }, 1000); // the old "expired" arrives
    EXPECT_FALSE(button()->isEnabled());
    EXPECT_EQ(title(), "等待配對中…（NEW2）");
    EXPECT_EQ(controller->pairingPollTimer(), current);
    EXPECT_TRUE(current->isActive());

    ASSERT_TRUE(waitForAlert(kPaired)); // the old "paired"
    EXPECT_EQ(stored("tgOfficialChatID"), "111");
    EXPECT_EQ(label(), "✓ 已連接官方 Bot");
    EXPECT_EQ(title(), "等待配對中…（NEW2）");
    EXPECT_EQ(controller->pairingPollTimer(), current);

    pairing.enqueue(paired("222"));
    tick();
    ASSERT_TRUE(waitUntil([&] { return button()->isEnabled(); }));
    EXPECT_EQ(stored("tgOfficialChatID"), "222");
    EXPECT_EQ(title(), "重新連接官方 Bot");
    EXPECT_EQ(callbacks, 2);
}

TEST_F(PairingFlow, ASecondPairedReplyForTheSamePairingIsNotRepeated) {
    startPairing("TWICE");
    pairing.enqueue(paired("1", 600));
    tick();
    pairing.enqueue(paired("1"));
    tick();
    ASSERT_TRUE(waitForAlert(kPaired));
    waitUntil([] { return false; }, 900);
    EXPECT_EQ(fake.alerts.shown.count(kPaired), 1);
    EXPECT_EQ(callbacks, 1);
}

// The status request carries any code as one query value: see PairingClientTest.
TEST_F(PairingFlow, AnyCodeFormsAValidDeepLinkAndShowsAsText) {
    const QString code = "<b>a&b</b> 中文 ?#%+=";
    startPairing(code);
    EXPECT_EQ(title(), "等待配對中…（" + code + "）");
    EXPECT_TRUE(button()->shortcut().isEmpty()) << "'&' is not a mnemonic";
    EXPECT_TRUE(fake.alerts.shown.first().informativeText.contains("/pair " + code + "\n"));
    ASSERT_EQ(fake.urlOpener.opened.size(), 1);
    const QUrl link = fake.urlOpener.opened.first();
    EXPECT_TRUE(link.isValid());
    EXPECT_EQ(link.host(), "t.me");
    EXPECT_EQ(link.path(), "/dremlo_app_bot");
    const QUrlQuery linkQuery(link);
    EXPECT_EQ(linkQuery.queryItems().size(), 1);
    EXPECT_EQ(linkQuery.queryItemValue("start", QUrl::FullyDecoded), code);
}

class OfficialTestMessage : public PairingFlow {
protected:
    void sendAndWait() {
        const qsizetype before = fake.alerts.shown.size();
        controller->sendOfficialTestMessage();
        EXPECT_FALSE(controller->officialTestButton()->isEnabled());
        ASSERT_TRUE(waitUntil([&] { return fake.alerts.shown.size() > before; }, 10'000));
        EXPECT_TRUE(controller->officialTestButton()->isEnabled());
    }
};

TEST_F(OfficialTestMessage, DeliveredAndNotDelivered) {
    fake.settings.setString("tgOfficialChatID", "987654321");
    controller->updateConnectionStatusLabel();
    sendAndWait();
    EXPECT_EQ(fake.alerts.shown.last(),
              (Alert{Alert::Style::Informational, "測試成功", "已成功傳送到你的 Telegram。", {}}));
    ASSERT_EQ(botApi.requests().size(), 1);
    EXPECT_EQ(botApi.requests().first().path,
              "/bot1234567890:OFFICIALtokenOFFICIALtokenOFFICIAL/sendMessage");
    const QUrlQuery form(QString::fromLatin1(botApi.requests().first().body));
    EXPECT_EQ(form.queryItemValue("chat_id", QUrl::FullyDecoded), "987654321");
    EXPECT_EQ(form.queryItemValue("text", QUrl::FullyDecoded),
              "[Korvella] 測試訊息 ✅ 官方 Bot 連線正常！");

    botApi.enqueue(Reply::withStatus(403, "{}"));
    sendAndWait();
    EXPECT_EQ(fake.alerts.shown.last(), (Alert{Alert::Style::Informational,
                                               "測試失敗",
                                               "傳送失敗，請確認網路連線，或重新連接官方 Bot。",
                                               {}}));
}

TEST_F(OfficialTestMessage, WithoutAnOfficialChatNothingHappens) {
    fake.settings.setString("tgOfficialChatID", "");
    controller->updateConnectionStatusLabel();
    EXPECT_TRUE(controller->officialTestButton()->isHidden());
    EXPECT_EQ(label(), "尚未連接");
    controller->sendOfficialTestMessage();
    EXPECT_TRUE(controller->officialTestButton()->isEnabled());
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(botApi.requestCount(), 0);
    EXPECT_TRUE(fake.alerts.shown.isEmpty());
}

} // namespace
