#include "telegram/StatusPush.h"
#include "BuildConfig.h"
#include "telegram/TelegramNotifier.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeSettingsStore.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr int kMinuteMs = 60'000;

class StatusPushTest : public ::testing::Test {
protected:
    StatusPushTest() {
        settings.setBool("tgEnabled", true);
        settings.setString("tgBotToken", "1111111111:own-bot-token");
        settings.setString("tgChatID", "-1002");
        push.setupTelegramPushIfNeeded();
    }

    // Fires the push timer the way its timeout would, and returns the push that arrived.
    FakeHttpServer::Request firePush() {
        const int before = server.requestCount();
        EXPECT_TRUE(push.timer() && push.timer()->isActive());
        QMetaObject::invokeMethod(const_cast<QTimer *>(push.timer()), "timeout");
        EXPECT_TRUE(server.waitForRequests(before + 1));
        return server.requests().value(before);
    }

    static QString field(const FakeHttpServer::Request &request, const char *name) {
        return QUrlQuery(QString::fromLatin1(request.body))
            .queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    }

    FakeHttpServer server;
    FakeSettingsStore settings;
    QNetworkAccessManager network;
    TelegramNotifier notifier{network, server.baseUrl(), nullptr};
    std::optional<QString> status;
    StatusPush push{settings, notifier, [this] { return status; }};
};

TEST_F(StatusPushTest, MessageFollowsTheStateAndTheOfficialChatComesFirst) {
    EXPECT_EQ(field(firePush(), "text"), "[Korvella] 目前狀態：😴 睡著了（未啟動）");
    status = QStringLiteral("防睡眠中・剩 30 分 ⚠️ 電源已拔除");
    FakeHttpServer::Request request = firePush();
    EXPECT_EQ(field(request, "text"),
              "[Korvella] 目前狀態：✨ 亮晶晶（防睡眠中・剩 30 分 ⚠️ "
              "電源已拔除）");
    EXPECT_EQ(request.target, "/bot1111111111:own-bot-token/sendMessage");
    EXPECT_EQ(field(request, "chat_id"), "-1002");

    settings.setString("tgOfficialChatID", "-1009");
    request = firePush();
    EXPECT_EQ(request.target, QByteArray("/bot") + BuildConfig::officialBotToken + "/sendMessage");
    EXPECT_EQ(field(request, "chat_id"), "-1009");

    settings.setString("tgOfficialChatID", ""); // empty counts as not paired
    EXPECT_EQ(field(firePush(), "chat_id"), "-1002");
}

TEST_F(StatusPushTest, WithoutCredentialsTheTimerRunsButNothingIsSent) {
    settings.values.remove("tgBotToken");
    QMetaObject::invokeMethod(const_cast<QTimer *>(push.timer()), "timeout");
    settings.setString("tgBotToken", "1111111111:own-bot-token");
    // Requests arrive in order: had the first push gone out, it would be counted before this one.
    EXPECT_EQ(firePush().target, "/bot1111111111:own-bot-token/sendMessage");
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(StatusPushTest, IntervalComesFromTheSettings) {
    const auto intervalFor = [&](std::optional<qint64> minutes) {
        if (minutes)
            settings.setInteger("tgIntervalMinutes", *minutes);
        else
            settings.values.remove("tgIntervalMinutes");
        push.setupTelegramPushIfNeeded();
        const QTimer *timer = push.timer();
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
    QPointer<const QTimer> first = push.timer();
    ASSERT_TRUE(first);
    push.setupTelegramPushIfNeeded(); // same settings: the wait starts again
    QPointer<const QTimer> second = push.timer();
    ASSERT_TRUE(second && second != first && second->isActive());

    settings.setBool("tgEnabled", false);
    push.setupTelegramPushIfNeeded();
    EXPECT_EQ(push.timer(), nullptr);
    EXPECT_TRUE(!second || !second->isActive()) << "a push that was due is not sent";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(!first && !second) << "old timers are released";
}

} // namespace
