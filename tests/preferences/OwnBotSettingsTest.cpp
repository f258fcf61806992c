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

// The push re-reads the settings in the callback, so each change is stored before it runs.
TEST_F(PreferencesTest, SwitchAndIntervalAreStoredBeforeEveryCallback) {
    make();
    controller->tgEnabledCheckbox()->click();
    EXPECT_EQ(fake.settings.boolValue("tgEnabled"), true) << "no credentials are checked";
    controller->tgEnabledCheckbox()->click();
    EXPECT_EQ(fake.settings.boolValue("tgEnabled"), false);
    QComboBox *popup = controller->tgIntervalPopup();
    for (const auto &[index, minutes] : {std::pair{3, 120}, {3, 120}, {0, 15}}) {
        popup->setCurrentIndex(index);
        Q_EMIT popup->activated(index); // choosing the same entry again counts too
        EXPECT_EQ(fake.settings.integerValue("tgIntervalMinutes"), minutes);
    }
    QStringList lastWriteAtCallback;
    for (const QStringList &writes : writesAtCallback)
        lastWriteAtCallback << writes.value(writes.size() - 1);
    EXPECT_EQ(lastWriteAtCallback, QStringList({"tgEnabled", "tgEnabled", "tgIntervalMinutes",
                                                "tgIntervalMinutes", "tgIntervalMinutes"}));
}

// Return or the focus moving to another control ends an edit, even with nothing changed;
// another window taking the focus, a pop-up or a click on a button does not.
TEST_F(PreferencesTest, AnEditEndsOnReturnOrFocusLeavingOnly) {
    fake.settings.setString("tgBotToken", "kept");
    make();
    showActive();
    fake.settings.writes.clear();
    QLineEdit *token = controller->tgTokenField();
    QLineEdit *chat = controller->tgChatIDField();
    type(chat, " -100 ");
    QTest::keyClick(chat, Qt::Key_Return);
    EXPECT_EQ(stored("tgChatID"), " -100 ") << "blanks are kept";
    ASSERT_EQ(callbacks, 1);
    EXPECT_EQ(writesAtCallback.at(0), QStringList({"tgBotToken", "tgChatID"}));
    QTest::keyClick(token, Qt::Key_Return);
    EXPECT_EQ(callbacks, 2);

    token->setFocus(Qt::TabFocusReason);
    type(token, "123:abc"); // replaces the text the focus selected
    for (const Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
        QFocusEvent away(QEvent::FocusOut, reason);
        QApplication::sendEvent(token, &away);
    }
    click(controller->tgEnabledCheckbox());
    EXPECT_EQ(QApplication::focusWidget(), token);
    EXPECT_EQ(callbacks, 3) << "only the switch's own callback";
    EXPECT_EQ(stored("tgBotToken"), "kept");

    chat->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(stored("tgBotToken"), "123:abc");
    EXPECT_EQ(callbacks, 4);
}

// A test message sends what is typed, saves it without the callback, and each of several
// tests gets its own alert: the refused one the failure.
TEST_F(PreferencesTest, TestMessagesSendWhatIsTypedAndEachGetsItsOwnAlert) {
    FakeHttpServer server;
    PreferencesConfig config;
    config.telegramApiBase = server.baseUrl();
    make(config);
    type(controller->tgTokenField(), " 1234567890:AAbb ");
    controller->sendTestMessage();
    EXPECT_EQ(fake.alerts.shown, QList<Alert>{kTestFailed}) << "no chat id: before send() returns";
    EXPECT_EQ(stored("tgBotToken"), " 1234567890:AAbb ");

    type(controller->tgChatIDField(), "@chan&text=x+1");
    controller->sendTestMessage();
    ASSERT_TRUE(waitUntil([&] { return fake.alerts.shown.size() == 2; }, 10'000));
    EXPECT_EQ(fake.alerts.shown.last(), kTestSucceeded);
    EXPECT_EQ(stored("tgChatID"), "@chan&text=x+1");
    EXPECT_EQ(callbacks, 0) << "the test does not re-arm the push";
    ASSERT_EQ(server.requests().size(), 1) << "the first test sent nothing";
    const FakeHttpServer::Request &request = server.requests().first();
    EXPECT_EQ(request.path, "/bot%201234567890:AAbb%20/sendMessage")
        << "the token goes out with its blanks";
    EXPECT_EQ(request.body, "chat_id=@chan%26text%3Dx%2B1&text=" +
                                QUrl::toPercentEncoding("[Korvella] 測試訊息 ✅ 設定成功！"));

    server.enqueue(Reply().delayedBy(300));
    server.enqueue(Reply::withStatus(401, "{}")); // the server refuses
    controller->sendTestMessage();
    controller->sendTestMessage();
    ASSERT_TRUE(waitUntil([&] { return fake.alerts.shown.size() == 4; }, 10'000));
    EXPECT_TRUE(fake.alerts.shown.mid(2).contains(kTestSucceeded));
    EXPECT_TRUE(fake.alerts.shown.mid(2).contains(kTestFailed));
}

} // namespace
