#include "app/AppDelegate.h"
#include "tests/preferences/PreferencesFixture.h"

namespace {

using Policy = Application::ActivationPolicy;

TEST(PreferencesOpening, ReopeningShowsTheSameWindowAndControls) {
    FakePlatform fake;
    AppDelegate delegate(fake.platform());
    delegate.openPreferences();
    PreferencesWindowController *controller = &delegate.preferencesWindowController();
    PreferencesWindow *window = controller->window();
    QLineEdit *token = controller->tgTokenField();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == window; }));
    EXPECT_EQ(fake.application.policies, QList<Policy>{Policy::Regular});
    EXPECT_EQ(fake.application.activations, 1);

    token->setText("123:typed");
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(fake.application.policies, QList<Policy>({Policy::Regular, Policy::Accessory}));

    delegate.openPreferences();
    EXPECT_EQ(&delegate.preferencesWindowController(), controller);
    EXPECT_EQ(controller->window(), window);
    EXPECT_EQ(controller->tgTokenField(), token);
    EXPECT_EQ(token->text(), "123:typed") << "the controls keep what they hold";
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == window; }));
    EXPECT_EQ(fake.application.policies,
              QList<Policy>({Policy::Regular, Policy::Accessory, Policy::Regular}));
    EXPECT_EQ(fake.application.activations, 2);
    window->close();
    EXPECT_EQ(fake.application.policies.last(), Policy::Accessory);
}

TEST(PreferencesOpening, OpeningAgainRaisesAWindowLeftBehindAnother) {
    FakePlatform fake;
    AppDelegate delegate(fake.platform());
    delegate.openPreferences();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &other; }));
    delegate.openPreferences();
    EXPECT_TRUE(waitUntil([&] {
        return QApplication::activeWindow() == delegate.preferencesWindowController().window();
    }));
}

TEST(PreferencesOpening, SettingsChangesReArmTheDelegatesPush) {
    FakePlatform fake;
    AppDelegate delegate(fake.platform());
    delegate.openPreferences();
    EXPECT_EQ(delegate.telegramPushTimer(), nullptr);
    delegate.preferencesWindowController().tgEnabledCheckbox()->click();
    ASSERT_NE(delegate.telegramPushTimer(), nullptr);
    EXPECT_TRUE(delegate.telegramPushTimer()->isActive());
    delegate.preferencesWindowController().tgEnabledCheckbox()->click();
    EXPECT_EQ(delegate.telegramPushTimer(), nullptr);
}

TEST_F(PreferencesTest, ClosingSavesAnEditAsItsEndAndNothingWithout) {
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
}

TEST_F(PreferencesTest, QuittingDuringAnEditSavesIt) {
    make();
    showActive();
    controller->tgTokenField()->setFocus(Qt::TabFocusReason);
    type(controller->tgTokenField(), "123:quit");
    QMetaObject::invokeMethod(qApp, "aboutToQuit");
    EXPECT_EQ(stored("tgBotToken"), "123:quit");
    EXPECT_EQ(callbacks, 0) << "the push is not re-armed while quitting";
}

} // namespace
