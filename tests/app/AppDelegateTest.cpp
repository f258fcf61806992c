// The delegate as composition root: the objects it wires, start-up and quit, end to end.
#include "app/AppDelegate.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakePlatform.h"

#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {
// Launched on battery with the lid mode on, the user chooses "1 小時", a push goes out meanwhile,
// the user quits.
TEST(AppDelegate, OneEventFromTheMenuToThePushAndBack) {
    FakePlatform fake;
    FakeHttpServer server;
    fake.settings.setBool("lidSleepEnabled", true);
    fake.powerSource.type = "Battery Power";
    fake.settings.setBool("tgEnabled", true);
    fake.settings.setString("tgBotToken", "1111111111:own-bot-token");
    fake.settings.setString("tgChatID", "-1002");
    AppDelegate delegate(fake.platform());
    delegate.telegramNotifier().setApiBase(server.baseUrl());
    delegate.applicationDidFinishLaunching();
    FakeStatusItem *item = fake.application.statusItem;
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->calls, QStringList({"image", "title", "toolTip", "menu"}));
    EXPECT_TRUE(fake.powerAssertions.calls.isEmpty()) << "no period at start-up";
    EXPECT_TRUE(fake.alerts.shown.isEmpty());

    // The lock kind and the tool tip on battery the power-change tests check on real backends.
    ASSERT_TRUE(item->choose(QStringLiteral("1 小時")));

    QMetaObject::invokeMethod(const_cast<QTimer *>(delegate.telegramPushTimer()), "timeout");
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(QUrlQuery(QString::fromLatin1(server.requests().first().body))
                  .queryItemValue("text", QUrl::FullyDecoded),
              "[Korvella] 目前狀態：✨ 亮晶晶（防睡眠中・剩 1 小時 ⚠️ "
              "電源已拔除）");

    // Quit ends the running period and refreshes before the application terminates.
    item->calls.clear();
    ASSERT_TRUE(item->choose(QStringLiteral("結束 Korvella")));
    EXPECT_TRUE(fake.powerAssertions.held.isEmpty());
    EXPECT_EQ(item->calls, QStringList({"image", "title", "toolTip", "menu"}));
    EXPECT_EQ(fake.application.terminations, 1);
    EXPECT_FALSE(delegate.powerMonitor().isStarted());
    EXPECT_FALSE(delegate.telegramPushTimer()->isActive());
}

TEST(AppDelegate, CallbacksDoNothingOnceTheDelegateIsGone) {
    FakePlatform fake;
    auto delegate = std::make_unique<AppDelegate>(fake.platform());
    delegate->applicationDidFinishLaunching();
    StatusItem::ActionHandler handler = fake.application.statusItem->handler;
    delegate->selectDuration(30);
    delegate.reset();
    handler(MenuAction::SelectDuration, 60);
    EXPECT_EQ(fake.powerAssertions.calls.size(), 1);
    EXPECT_EQ(fake.powerSource.stops, 1) << "the monitor stops when it goes away";
}
} // namespace
