#include "tests/preferences/PreferencesFixture.h"
#include "tests/support/FakeHttpServer.h"

namespace {

using Reply = FakeHttpServer::Reply;

const Alert kTestSucceeded{
    Alert::Style::Informational, "測試成功", "已成功傳送到你的 Telegram。", {}};
const Alert kTestFailed{Alert::Style::Informational,
                        "測試失敗",
                        "傳送失敗，請確認 Bot Token 與 Chat ID 是否正確。",
                        {}};

TEST_F(PreferencesTest, PushSwitchWritesAndRunsTheCallbackEachTime) {
    make();
    controller->tgEnabledCheckbox()->click();
    EXPECT_EQ(fake.settings.boolValue("tgEnabled"), true) << "no credentials are checked";
    ASSERT_EQ(callbacks, 1);
    EXPECT_EQ(writesAtCallback.at(0), QStringList{"tgEnabled"}) << "written before the callback";
    controller->tgEnabledCheckbox()->click();
    EXPECT_EQ(fake.settings.boolValue("tgEnabled"), false);
    EXPECT_EQ(callbacks, 2);
}

TEST_F(PreferencesTest, EveryIntervalChoiceWritesAndRunsTheCallback) {
    make();
    QComboBox *popup = controller->tgIntervalPopup();
    popup->setCurrentIndex(3);
    Q_EMIT popup->activated(3);
    EXPECT_EQ(fake.settings.integerValue("tgIntervalMinutes"), 120);
    EXPECT_EQ(callbacks, 1);
    Q_EMIT popup->activated(3); // the same entry chosen again
    EXPECT_EQ(fake.settings.writes, QStringList({"tgIntervalMinutes", "tgIntervalMinutes"}));
    EXPECT_EQ(callbacks, 2);
    popup->setCurrentIndex(0);
    Q_EMIT popup->activated(0);
    EXPECT_EQ(fake.settings.integerValue("tgIntervalMinutes"), 15);
    EXPECT_EQ(callbacks, 3);
}

TEST_F(PreferencesTest, ReturnSavesBothFieldsAsTypedEvenUnchanged) {
    fake.settings.setString("tgBotToken", "kept");
    make();
    fake.settings.writes.clear();
    type(controller->tgChatIDField(), " -100 ");
    pressReturn(controller->tgChatIDField());
    EXPECT_EQ(stored("tgBotToken"), "kept");
    EXPECT_EQ(stored("tgChatID"), " -100 ") << "blanks are kept";
    ASSERT_EQ(callbacks, 1);
    EXPECT_EQ(writesAtCallback.at(0), QStringList({"tgBotToken", "tgChatID"}));
    pressReturn(controller->tgTokenField()); // nothing changed: still an end of editing
    EXPECT_EQ(callbacks, 2);
}

TEST_F(PreferencesTest, FocusLeavingAFieldEndsTheEditButSwitchingWindowsDoesNot) {
    make();
    showActive();
    QLineEdit *token = controller->tgTokenField();
    token->setFocus(Qt::TabFocusReason);
    type(token, "123:abc");
    QFocusEvent windowSwitch(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(token, &windowSwitch);
    QFocusEvent popupOpened(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(token, &popupOpened);
    EXPECT_EQ(callbacks, 0);
    EXPECT_TRUE(fake.settings.writes.isEmpty());

    controller->tgChatIDField()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(stored("tgBotToken"), "123:abc");
    EXPECT_EQ(stored("tgChatID"), "");
    EXPECT_EQ(callbacks, 1);
}

TEST_F(PreferencesTest, ClickingAButtonLeavesTheEditGoing) {
    make();
    showActive();
    controller->tgTokenField()->setFocus(Qt::TabFocusReason);
    click(controller->tgEnabledCheckbox());
    EXPECT_TRUE(controller->tgEnabledCheckbox()->isChecked());
    EXPECT_EQ(callbacks, 1) << "only the switch's own callback";
    EXPECT_EQ(QApplication::focusWidget(), controller->tgTokenField());
    EXPECT_EQ(fake.settings.writes, QStringList{"tgEnabled"});
}

class TestMessage : public PreferencesTest {
protected:
    void SetUp() override {
        PreferencesConfig config;
        config.telegramApiBase = server.baseUrl();
        make(config);
    }
    void sendAndWaitForAlert() {
        controller->sendTestMessage();
        ASSERT_TRUE(waitUntil([&] { return !fake.alerts.shown.isEmpty(); }, 10'000));
    }
    FakeHttpServer server;
};

TEST_F(TestMessage, DeliveredSavesTheFieldsWithoutTheCallback) {
    type(controller->tgTokenField(), " 1234567890:AAbb ");
    type(controller->tgChatIDField(), "-1001234567890");
    sendAndWaitForAlert();
    EXPECT_EQ(fake.alerts.shown, QList<Alert>{kTestSucceeded});
    EXPECT_EQ(stored("tgBotToken"), " 1234567890:AAbb ");
    EXPECT_EQ(stored("tgChatID"), "-1001234567890");
    EXPECT_EQ(callbacks, 0) << "the test does not re-arm the push";
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().path, "/bot%201234567890:AAbb%20/sendMessage")
        << "the token goes out with its blanks";
    EXPECT_TRUE(server.requests().first().body.contains(
        QUrl::toPercentEncoding("[Korvella] 測試訊息 ✅ 設定成功！")));
}

TEST_F(TestMessage, EmptyChatIdFailsAtOnceWithoutARequest) {
    type(controller->tgTokenField(), "1234567890:AAbb");
    controller->sendTestMessage();
    EXPECT_EQ(fake.alerts.shown, QList<Alert>{kTestFailed}) << "shown before send() returns";
    EXPECT_EQ(stored("tgChatID"), "");
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(TestMessage, EachOfSeveralTestsGetsItsOwnAlertRefusedOnesTheFailure) {
    server.enqueue(Reply().delayedBy(300));
    server.enqueue(Reply::withStatus(401, "{}")); // the server refuses
    type(controller->tgTokenField(), "1234567890:AAbb");
    type(controller->tgChatIDField(), "42");
    controller->sendTestMessage();
    controller->sendTestMessage();
    ASSERT_TRUE(waitUntil([&] { return fake.alerts.shown.size() == 2; }, 10'000));
    EXPECT_TRUE(fake.alerts.shown.contains(kTestSucceeded));
    EXPECT_TRUE(fake.alerts.shown.contains(kTestFailed));
}

} // namespace
