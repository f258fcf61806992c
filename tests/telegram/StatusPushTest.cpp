#include "BuildConfig.h"
#include "app/AppDelegate.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/WaitUntil.h"

#include <QPointer>
#include <QUrlQuery>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr int kMinuteMs = 60'000;

class StatusPushTest : public ::testing::Test {
protected:
    StatusPushTest() {
        fake.settings.setBool("tgEnabled", true);
        fake.settings.setString("tgBotToken", "1111111111:own-bot-token");
        fake.settings.setString("tgChatID", "-1002");
    }

    // Launches the delegate as the application does, sending to the loopback server.
    AppDelegate &launch() {
        delegate = std::make_unique<AppDelegate>(fake.platform());
        delegate->telegramNotifier().setApiBase(server.baseUrl());
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }

    // Fires the push timer the way its timeout would, and returns the push that arrived.
    FakeHttpServer::Request firePush() {
        const QTimer *timer = delegate->telegramPushTimer();
        EXPECT_TRUE(timer && timer->isActive());
        const int before = server.requestCount();
        if (timer)
            QMetaObject::invokeMethod(const_cast<QTimer *>(timer), "timeout");
        EXPECT_TRUE(server.waitForRequests(before + 1));
        return server.requests().isEmpty() ? FakeHttpServer::Request{} : server.requests().last();
    }

    static QString text(const FakeHttpServer::Request &push) {
        return QUrlQuery(QString::fromLatin1(push.body)).queryItemValue("text", QUrl::FullyDecoded);
    }
    static QString chatID(const FakeHttpServer::Request &push) {
        return QUrlQuery(QString::fromLatin1(push.body))
            .queryItemValue("chat_id", QUrl::FullyDecoded);
    }

    FakePlatform fake;
    FakeHttpServer server;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(StatusPushTest, MessageFollowsThePeriodState) {
    launch();
    EXPECT_EQ(text(firePush()), "[Korvella] 目前狀態：😴 睡著了（未啟動）");
    delegate->startPreventingSleep(0);
    EXPECT_EQ(text(firePush()), "[Korvella] 目前狀態：✨ 亮晶晶（防睡眠中・無限期）");
    delegate->startPreventingSleep(120);
    EXPECT_EQ(text(firePush()), "[Korvella] 目前狀態：✨ 亮晶晶（防睡眠中・剩 2 小時）");
    delegate->stopPreventingSleep();
    EXPECT_EQ(text(firePush()), "[Korvella] 目前狀態：😴 睡著了（未啟動）");
}

TEST_F(StatusPushTest, LidModeAtRiskAddsTheWarningInsideTheBrackets) {
    fake.settings.setBool("lidSleepEnabled", true);
    fake.powerSource.type = QStringLiteral("Battery Power");
    launch().startPreventingSleep(30);
    ASSERT_TRUE(delegate->lidWakeAtRisk());
    EXPECT_EQ(text(firePush()),
              "[Korvella] 目前狀態：✨ 亮晶晶（防睡眠中・剩 30 分 ⚠️ "
              "電源已拔除）");
}

TEST_F(StatusPushTest, OfficialChatTakesPrecedenceOverTheOwnBot) {
    fake.settings.setString("tgOfficialChatID", "-1009");
    launch();
    FakeHttpServer::Request push = firePush();
    EXPECT_EQ(push.target, QByteArray("/bot") + BuildConfig::officialBotToken + "/sendMessage");
    EXPECT_EQ(chatID(push), "-1009");

    fake.settings.setString("tgOfficialChatID", ""); // empty counts as not paired
    push = firePush();
    EXPECT_EQ(push.target, "/bot1111111111:own-bot-token/sendMessage");
    EXPECT_EQ(chatID(push), "-1002");
}

TEST_F(StatusPushTest, NothingConfiguredMeansTheTimerRunsButNothingIsSent) {
    fake.settings.values.remove("tgBotToken");
    fake.settings.values.remove("tgChatID");
    launch();
    const QTimer *timer = delegate->telegramPushTimer();
    ASSERT_TRUE(timer && timer->isActive());
    QMetaObject::invokeMethod(const_cast<QTimer *>(timer), "timeout");
    EXPECT_FALSE(server.waitForRequests(1, 300));
}

TEST_F(StatusPushTest, IntervalComesFromTheSettings) {
    launch();
    const auto intervalFor = [&](std::optional<qint64> minutes) {
        if (minutes)
            fake.settings.setInteger("tgIntervalMinutes", *minutes);
        else
            fake.settings.values.remove("tgIntervalMinutes");
        delegate->setupTelegramPushIfNeeded();
        const QTimer *timer = delegate->telegramPushTimer();
        EXPECT_TRUE(timer && timer->isActive() && !timer->isSingleShot());
        return timer ? timer->interval() : -1;
    };
    EXPECT_EQ(intervalFor(std::nullopt), 30 * kMinuteMs) << "what the preferences show";
    EXPECT_EQ(intervalFor(0), 30 * kMinuteMs);
    EXPECT_EQ(intervalFor(-5), 30 * kMinuteMs);
    EXPECT_EQ(intervalFor(1), kMinuteMs);
    EXPECT_EQ(intervalFor(120), 120 * kMinuteMs);
    EXPECT_EQ(intervalFor(qint64(1) << 40), std::numeric_limits<int>::max());
}

TEST_F(StatusPushTest, EverySetUpReplacesTheTimerAndSwitchingOffRemovesIt) {
    launch();
    QPointer<const QTimer> first = delegate->telegramPushTimer();
    ASSERT_TRUE(first);
    delegate->setupTelegramPushIfNeeded(); // same settings: the wait starts again
    const QTimer *second = delegate->telegramPushTimer();
    ASSERT_TRUE(second);
    EXPECT_NE(second, first.data());
    EXPECT_TRUE(second->isActive());
    EXPECT_GT(second->remainingTime(), 30 * kMinuteMs - 5000);
    EXPECT_TRUE(!first || !first->isActive());

    QPointer<const QTimer> last = second;
    fake.settings.setBool("tgEnabled", false);
    delegate->setupTelegramPushIfNeeded();
    EXPECT_EQ(delegate->telegramPushTimer(), nullptr);
    EXPECT_TRUE(!last || !last->isActive()) << "a push that was due is not sent";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(!first && !last) << "old timers are released";
    EXPECT_EQ(server.requestCount(), 0);
}

} // namespace
