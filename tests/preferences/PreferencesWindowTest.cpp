#include "app/AppDelegate.h"
#include "platform/MessageBoxAlertPresenter.h"
#include "tests/preferences/PreferencesFixture.h"
#include "tests/support/FakeHttpServer.h"

#include <QFrame>
#include <QLayout>
#include <QMessageBox>
#include <QTimer>

namespace {

using Policy = Application::ActivationPolicy;
using Reply = FakeHttpServer::Reply;
using Status = LoginItemService::Status;

// The rows of the column in layout order, hidden ones left out (they take no room).
QStringList visibleRowTexts(QWidget *column) {
    QStringList texts;
    QLayout *layout = column->layout();
    for (int i = 0; i < layout->count(); ++i) {
        QWidget *row = layout->itemAt(i)->widget();
        if (!row || row->isHidden())
            continue;
        auto *frame = qobject_cast<QFrame *>(row);
        if (auto *label = qobject_cast<QLabel *>(row))
            texts << label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(row))
            texts << PlainText::buttonTitle(button);
        else if (auto *field = qobject_cast<QLineEdit *>(row))
            texts << field->placeholderText();
        else if (frame && frame->frameShape() == QFrame::HLine)
            texts << QStringLiteral("—");
        else if (auto *label = row->findChild<QLabel *>())
            texts << label->text() + QStringLiteral(" +pop-up");
    }
    return texts;
}

TEST_F(PreferencesTest, RowsComeInOrderWithTheirTextsAndShowWhatIsStoredWithoutRewritingIt) {
    PreferencesConfig config;
    config.version = QStringLiteral("2.5.1");
    make(config).showWindow();
    PreferencesWindow *window = controller->window();
    EXPECT_EQ(window->windowTitle(), "Korvella 偏好設定");
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const QStringList expected =
        QStringLiteral(
            "開機自動啟動|語言 +pop-up|—|Telegram 狀態推播|定時推播目前狀態|"
            "連接 Telegram（官方 Bot，推薦）|尚未連接|允許從 Telegram 遙控|—|進階：使用自己的 Bot|"
            "Bot Token（例如 123456:ABC-DEF...）|Chat ID（例如 -1001234567890）|"
            "傳送測試訊息|推播間隔 +pop-up|—|防睡眠保護|拔除電源時結束防睡眠|電量過低時結束防睡眠 "
            "+pop-up|"
            "防睡眠自動結束時通知我|防睡眠期間螢幕也保持開啟|—|Korvella (Dremlo) v2.5.1|"
            "免費使用。若這個小工具對你有幫助，歡迎透過贊助支持後續開發。")
            .split(u'|');
    EXPECT_EQ(visibleRowTexts(window->column()), expected)
        << "the official test button is hidden while not connected";

    // Each opening shows what is stored, exactly, and writes nothing back.
    for (const auto &[minutes, title] : QList<QPair<std::optional<qint64>, QString>>{
             {std::nullopt, "30 分鐘"}, {15, "15 分鐘"}, {120, "2 小時"}, {45, "30 分鐘"}}) {
        if (minutes)
            fake.settings.setInteger("tgIntervalMinutes", *minutes);
        fake.settings.writes.clear();
        make();
        EXPECT_EQ(controller->tgIntervalPopup()->currentText(), title) << minutes.value_or(-1);
        EXPECT_TRUE(fake.settings.writes.isEmpty()) << "not rewritten";
    }
    EXPECT_FALSE(controller->tgEnabledCheckbox()->isChecked());
    auto *language = controller->window()->findChildren<QComboBox *>().first();
    EXPECT_EQ(language->currentText(), "繁體中文");
    const QModelIndex english = language->model()->index(1, 0);
    EXPECT_EQ(english.data().toString(), "English（即將推出）");
    EXPECT_FALSE(english.flags() & Qt::ItemIsEnabled) << "the second language cannot be chosen";

    fake.settings.setBool("tgEnabled", true);
    fake.settings.setString("tgBotToken", "  123456:ABC-DEF  ");
    fake.settings.setString("tgChatID", "<b>x</b>");
    make();
    EXPECT_TRUE(controller->tgEnabledCheckbox()->isChecked());
    EXPECT_EQ(controller->tgTokenField()->text(), "  123456:ABC-DEF  ");
    EXPECT_EQ(controller->tgChatIDField()->text(), "<b>x</b>");
    EXPECT_EQ(callbacks, 0);
}

// With the official test button shown nothing is cut at the usual font; at a large one the
// window grows until every row gets its full height (the fixed width cannot grow).
TEST(PreferencesWindowSize, NoTextIsClippedAndALargeFontGrowsTheWindow) {
    for (const int pixelSize : {0, 22}) {
        const QFont original = QApplication::font();
        QFont font = original;
        if (pixelSize)
            font.setPixelSize(pixelSize);
        QApplication::setFont(font);
        FakePlatform fake;
        fake.settings.setString("tgOfficialChatID", "987654321");
        PreferencesWindowController controller(fake.platform());
        controller.showWindow();
        QApplication::processEvents();
        QApplication::setFont(original);

        PreferencesWindow *window = controller.window();
        QWidget *column = window->column();
        ASSERT_FALSE(controller.officialTestButton()->isHidden());
        EXPECT_LT(column->geometry().bottom(), window->height()) << pixelSize;
        for (QLabel *label : column->findChildren<QLabel *>()) {
            const QFontMetrics metrics(label->font());
            const QRect room = label->contentsRect();
            const QRect needed = label->wordWrap()
                                     ? metrics.boundingRect(QRect(0, 0, room.width(), 10'000),
                                                            Qt::TextWordWrap, label->text())
                                     : metrics.boundingRect(label->text());
            EXPECT_TRUE(pixelSize || needed.width() <= room.width()) << label->text().toStdString();
            EXPECT_LE(needed.height(), room.height()) << label->text().toStdString();
        }
        for (QWidget *control : column->findChildren<QWidget *>()) {
            if (qobject_cast<QLabel *>(control) || !control->isVisibleTo(window))
                continue;
            const QSize hint = control->sizeHint();
            EXPECT_TRUE(pixelSize || control->width() >= hint.width())
                << control->metaObject()->className();
            EXPECT_GE(control->height(), hint.height()) << control->metaObject()->className();
        }
    }
}

// A pairing code from the server reaches the explanation alert: it must show as typed.
TEST(AlertPlainText, MessageAndInformativeTextAreNeverRichText) {
    QStringList shown;
    QList<Qt::TextFormat> formats;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (const char *name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
            auto *label = box->findChild<QLabel *>(QString::fromLatin1(name));
            ASSERT_NE(label, nullptr) << name;
            shown << label->text();
            formats << label->textFormat();
        }
        box->done(0);
    });
    MessageBoxAlertPresenter presenter;
    presenter.run(
        {Alert::Style::Informational, "<i>m</i>", "/pair <b>x</b>&amp;", {"開啟", "取消"}});
    EXPECT_EQ(shown, QStringList({"<i>m</i>", "/pair <b>x</b>&amp;"}));
    EXPECT_EQ(formats, QList<Qt::TextFormat>({Qt::PlainText, Qt::PlainText}));
}

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
    EXPECT_EQ(server.requests().first().path, "/bot%201234567890:AAbb%20/sendMessage");
    EXPECT_EQ(server.requests().first().body,
              "chat_id=@chan%26text%3Dx%2B1&text=" +
                  QUrl::toPercentEncoding("[Korvella] 測試訊息 ✅ 設定成功！"));

    server.enqueue(Reply().delayedBy(300));
    server.enqueue(Reply::withStatus(401, "{}")); // the server refuses
    controller->sendTestMessage();
    controller->sendTestMessage();
    ASSERT_TRUE(waitUntil([&] { return fake.alerts.shown.size() == 4; }, 10'000));
    EXPECT_TRUE(fake.alerts.shown.mid(2).contains(kTestSucceeded));
    EXPECT_TRUE(fake.alerts.shown.mid(2).contains(kTestFailed));
}

// Through the delegate as the menu opens it: one window, kept across closing, raised over
// another window, refreshed, and its changes reach the delegate's push.
TEST(PreferencesOpening, ReopeningRaisesTheSameWindowWithWhatItHolds) {
    FakePlatform fake;
    AppDelegate delegate(fake.platform());
    delegate.openPreferences();
    PreferencesWindowController *controller = &delegate.preferencesWindowController();
    PreferencesWindow *window = controller->window();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == window; }));
    controller->tgTokenField()->setText("123:typed");
    window->close();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &other; }));

    fake.loginItems.currentStatus = Status::Enabled;
    delegate.openPreferences();
    EXPECT_EQ(controller->tgTokenField()->text(), "123:typed")
        << "the controls keep what they hold";
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == window; }));
    EXPECT_TRUE(waitUntil([&] { return controller->loginItemCheckbox()->isChecked(); }))
        << "every opening reads the desktop's record again";
    EXPECT_EQ(fake.application.policies,
              QList<Policy>({Policy::Regular, Policy::Accessory, Policy::Regular}));
    EXPECT_EQ(fake.application.activations, 2);

    EXPECT_EQ(delegate.telegramPushTimer(), nullptr);
    controller->tgEnabledCheckbox()->click();
    ASSERT_NE(delegate.telegramPushTimer(), nullptr);
    EXPECT_TRUE(delegate.telegramPushTimer()->isActive());
    controller->tgEnabledCheckbox()->click();
    EXPECT_EQ(delegate.telegramPushTimer(), nullptr);
}

// Closing ends an edit like Return does; quitting saves it without re-arming the push.
TEST_F(PreferencesTest, ClosingOrQuittingDuringAnEditSavesIt) {
    make();
    showActive();
    controller->window()->close();
    EXPECT_TRUE(fake.settings.writes.isEmpty());
    EXPECT_EQ(callbacks, 0);

    showActive();
    controller->tgChatIDField()->setFocus(Qt::TabFocusReason);
    type(controller->tgChatIDField(), "-42");
    controller->window()->close();
    EXPECT_EQ(stored("tgChatID"), "-42");
    EXPECT_EQ(stored("tgBotToken"), "");
    EXPECT_EQ(callbacks, 1);
    EXPECT_EQ(fake.application.policies, QList<Policy>({Policy::Accessory, Policy::Accessory}));

    showActive();
    controller->tgTokenField()->setFocus(Qt::TabFocusReason);
    type(controller->tgTokenField(), "123:quit");
    const int beforeQuit = callbacks;
    QMetaObject::invokeMethod(qApp, "aboutToQuit");
    EXPECT_EQ(stored("tgBotToken"), "123:quit");
    EXPECT_EQ(callbacks, beforeQuit) << "the push is not re-armed while quitting";
}

const Alert kChangeFailed{Alert::Style::Informational,
                          "設定失敗",
                          "無法變更開機自動啟動設定，請確認自動啟動資料夾是否可以寫入。",
                          {}};

class LoginItem : public PreferencesTest {
protected:
    QCheckBox *checkbox() const { return controller->loginItemCheckbox(); }
    // Clicks the checkbox and waits for the change to come back from the worker.
    void clickAndWait() {
        click(checkbox());
        EXPECT_FALSE(checkbox()->isEnabled()) << "disabled for the whole change";
        ASSERT_TRUE(waitUntil([&] { return checkbox()->isEnabled(); }));
    }
    void TearDown() override {
        controller.reset(); // waits for the worker
        EXPECT_EQ(fake.loginItems.callsOnMainThread, 0);
    }
};

// A read answered only after a click must not undo the click; a refused change restores the
// checkbox as it was and says so.
TEST_F(LoginItem, ShowsTheDesktopsRecordAndRefusedChangesRestoreItWithAnAlert) {
    fake.loginItems.currentStatus = Status::Enabled;
    make();
    EXPECT_FALSE(checkbox()->isChecked()) << "off until the refresh answers";
    EXPECT_TRUE(checkbox()->isEnabled());
    EXPECT_TRUE(waitUntil([&] { return checkbox()->isChecked(); }));
    for (const Status other : {Status::NotFound, Status::NotRegistered}) {
        fake.loginItems.currentStatus = other;
        controller->refreshLoginItemStatusAsync();
        EXPECT_TRUE(waitUntil([&] { return !checkbox()->isChecked(); }));
    }
    showActive();
    controller->refreshLoginItemStatusAsync();
    clickAndWait();
    EXPECT_TRUE(checkbox()->isChecked());
    clickAndWait();
    EXPECT_FALSE(checkbox()->isChecked());
    EXPECT_EQ(fake.loginItems.calls.mid(3), QStringList({"status", "register", "unregister"}));
    EXPECT_TRUE(fake.alerts.shown.isEmpty());

    fake.loginItems.acceptChanges = false;
    clickAndWait();
    EXPECT_FALSE(checkbox()->isChecked());
    EXPECT_EQ(fake.alerts.shown, QList<Alert>{kChangeFailed});
    fake.loginItems.currentStatus = Status::Enabled;
    controller->refreshLoginItemStatusAsync();
    ASSERT_TRUE(waitUntil([&] { return checkbox()->isChecked(); }));
    clickAndWait();
    EXPECT_TRUE(checkbox()->isChecked()) << "back on, as before the click";
    EXPECT_EQ(fake.alerts.shown, QList<Alert>({kChangeFailed, kChangeFailed}));
}

} // namespace
