#include "app/AppDelegate.h"
#include "tests/preferences/PreferencesFixture.h"

namespace {

using Policy = Application::ActivationPolicy;
using Status = LoginItemService::Status;

// Through the delegate as the menu opens it: one window, kept across closing, raised over
// another window, refreshed, and its changes reach the delegate's push.
TEST(PreferencesOpening, ReopeningRaisesTheSameWindowWithWhatItHolds) {
    FakePlatform fake;
    AppDelegate delegate(fake.platform());
    delegate.openPreferences();
    PreferencesWindowController *controller = &delegate.preferencesWindowController();
    PreferencesWindow *window = controller->window();
    QLineEdit *token = controller->tgTokenField();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == window; }));
    EXPECT_EQ(fake.application.activations, 1);

    token->setText("123:typed");
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(fake.application.policies, QList<Policy>({Policy::Regular, Policy::Accessory}));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &other; }));

    fake.loginItems.currentStatus = Status::Enabled;
    delegate.openPreferences();
    EXPECT_EQ(&delegate.preferencesWindowController(), controller);
    EXPECT_EQ(controller->window(), window);
    EXPECT_EQ(token->text(), "123:typed") << "the controls keep what they hold";
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

} // namespace
