// The desktop app against the real service: pair with the official bot, then a /stop typed in
// the paired chat ends the app's period and is answered there. (What each status means on the
// wire, the endpoint tests show for the service and the reply tests for the app.)
#include "TestService.h"
#include "control/RemoteCommands.h"
#include "control/RemoteControl.h"
#include "platform/SettingsKeys.h"
#include "preferences/OfficialBotPairing.h"
#include "sleep/KeepAwakeSession.h"
#include "telegram/PairingClient.h"
#include "tests/support/FakeAlertPresenter.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePowerAssertions.h"
#include "tests/support/FakeSettingsStore.h"

#include <QNetworkAccessManager>
#include <gtest/gtest.h>

TEST(PhoneRemoteEndToEnd, PairThenStopFromTheChatEndsThePeriod) {
    TestService service;
    constexpr qint64 kChat = 123456789;
    QNetworkAccessManager network;
    FakeSettingsStore settings;
    PairingClient client(network, service.url(QStringLiteral("/api")));
    OfficialBotPairing pairing(client, settings);
    QObject::connect(&pairing, &OfficialBotPairing::codeArrived, [&](const QString &code) {
        service.tell(kChat, QStringLiteral("/start ") + code);
    });
    pairing.start();
    ASSERT_TRUE(TestHttp::waitUntil(
        [&] { return pairing.state() == OfficialBotPairing::State::Paired; }, 15'000));
    EXPECT_EQ(settings.stringValue(SettingsKeys::tgOfficialChatID), "123456789");
    EXPECT_EQ(settings.stringValue(SettingsKeys::tgOfficialDeviceToken).value_or("").size(), 43);

    FakePowerAssertions assertions;
    FakeClock clock;
    FakeAlertPresenter alerts;
    KeepAwakeSession session(assertions, clock, alerts);
    RemoteCommands commands(session, [] { return std::optional<QString>(); });
    TelegramNotifier notifier(network, service.api.baseUrl(), nullptr);
    RemoteControl remote(
        settings, network, notifier, commands,
        {service.api.baseUrl(), service.url(QStringLiteral("/api")), testBotToken});
    settings.setBool(SettingsKeys::tgRemoteControl, true);
    remote.reconfigure();
    session.start(60);
    ASSERT_TRUE(TestHttp::waitUntil([&] { return service.waitingPolls() == 1; }));

    EXPECT_TRUE(service.tell(kChat, QStringLiteral("/stop")).startsWith(QStringLiteral("📨")));
    ASSERT_TRUE(TestHttp::waitUntil([&] { return !session.isRunning(); }));
    EXPECT_TRUE(assertions.held.isEmpty());
    ASSERT_TRUE(TestHttp::waitUntil(
        [&] { return service.api.messages().last().text == QStringLiteral("😴 已結束防睡眠。"); }));
    EXPECT_EQ(service.api.messages().last().chatId, "123456789");
    EXPECT_EQ(remote.problem(), "");
}
