// The desktop app against the real service: pair with the official bot, read the service's other
// answers as the app's client does, then a /stop typed in the paired chat ends the app's period
// and is answered there.
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

namespace {
PairingStatus statusOf(PairingClient &client, const QString &code) {
    std::optional<PairingStatus> status;
    client.checkStatus(code, [&](const PairingStatus &result) { status = result; });
    EXPECT_TRUE(TestHttp::waitUntil([&] { return status.has_value(); }));
    return status.value_or(PairingStatus::pending());
}
} // namespace

TEST(PhoneRemoteEndToEnd, PairThenStopFromTheChatEndsThePeriod) {
    TestService service;
    constexpr qint64 kChat = 123456789;
    QNetworkAccessManager network;
    FakeSettingsStore settings;
    PairingClient client(network, service.url(QStringLiteral("/api")));
    OfficialBotPairing pairing(client, settings);
    QString code;
    QObject::connect(&pairing, &OfficialBotPairing::codeArrived, [&](const QString &arrived) {
        code = arrived;
        service.tell(kChat, QStringLiteral("/start ") + code);
    });
    pairing.start();
    ASSERT_TRUE(TestHttp::waitUntil(
        [&] { return pairing.state() == OfficialBotPairing::State::Paired; }, 15'000));
    EXPECT_EQ(settings.stringValue(SettingsKeys::tgOfficialChatID), "123456789");
    EXPECT_EQ(settings.stringValue(SettingsKeys::tgOfficialDeviceToken).value_or("").size(), 43);
    std::optional<PairingClient::CreateResult> created;
    client.create([&](const PairingClient::CreateResult &result) { created = result; });
    ASSERT_TRUE(TestHttp::waitUntil([&] { return created.has_value(); }));
    const QString unused = std::get<QString>(*created);
    EXPECT_EQ(unused.size(), 8);
    EXPECT_EQ(statusOf(client, unused), PairingStatus::pending());
    service.clock.advanceSeconds(60);
    EXPECT_EQ(statusOf(client, code), PairingStatus::notFound()) << "a code is used once";
    service.clock.advanceSeconds(9 * 60);
    EXPECT_EQ(statusOf(client, unused), PairingStatus::expired());

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
