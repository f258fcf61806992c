// Remote control: device tokens handed out with a pairing, and commands from the paired chat
// relayed to the device's long poll.
#include "BotTexts.h"
#include "PairingStore.h"
#include "TestService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

using namespace pairing;

namespace {

QJsonArray commands(std::initializer_list<std::pair<const char *, const char *>> expected) {
    QJsonArray list;
    for (const auto &[name, argument] : expected)
        list.append(QJsonObject{{"command", name}, {"argument", argument}});
    return list;
}

// What a poll answered, without the queue times.
QJsonArray received(const TestHttp::Response &response) {
    EXPECT_EQ(response.status, 200) << response.body.toStdString();
    QJsonArray list;
    for (const QJsonValue &command : response.json().value(QStringLiteral("commands")).toArray()) {
        QJsonObject object = command.toObject();
        EXPECT_GT(object.take(QStringLiteral("queued_at")).toInteger(), 0);
        list.append(object);
    }
    return list;
}

QString queued(const char *command) {
    return QString::fromUtf8(BotTexts::commandQueued).arg(QLatin1String(command));
}

} // namespace

TEST(RemoteControl, EveryPairedReportCarriesItsOwnTokenAndOnlyItsHashIsStored) {
    TestService service;
    const QString code = service.createCode();
    service.tell(5, QStringLiteral("/pair ") + code);
    const QJsonObject first = service.status(code);
    const QString token = first.value(QStringLiteral("device_token")).toString();
    EXPECT_EQ(first.value(QStringLiteral("chat_id")), "5");
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{43}$")).match(token).hasMatch())
        << token.toStdString();
    const QString second = service.status(code).value(QStringLiteral("device_token")).toString();
    EXPECT_NE(second, token) << "a poll whose answer was lost gets a token of its own";
    EXPECT_EQ(received(service.commands(second)), QJsonArray()) << "both tokens work";

    QByteArray stored;
    for (const QString &suffix : {QString(), QStringLiteral("-wal")}) {
        QFile file(service.databasePath() + suffix);
        if (file.open(QIODevice::ReadOnly))
            stored += file.readAll();
    }
    EXPECT_TRUE(stored.contains(PairingStore::tokenHash(token).toLatin1()));
    EXPECT_FALSE(stored.contains(token.toLatin1()));
}

TEST(RemoteControl, CommandsFromThePairedChatReachItsDeviceOnceAndExpire) {
    TestService service({{"TEST_COMMAND_HOLD_MS", "4000"}});
    const QString mine = service.pairDevice(7);
    const QString other = service.pairDevice(8);

    // The command arrives while the device's poll is held, and ends the hold at once.
    QTimer::singleShot(0, [&] {
        TestHttp::waitUntil([&] { return service.waitingPolls() == 1; });
        service.api.queueText(7, QStringLiteral("/stop"));
    });
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(received(service.commands(mine)), commands({{"stop", ""}}));
    EXPECT_LT(elapsed.elapsed(), 2000);
    EXPECT_TRUE(
        TestHttp::waitUntil([&] { return service.api.messages().last().text == queued("/stop"); }));

    EXPECT_EQ(service.tell(7, QStringLiteral("/extend 30m")), queued("/extend 30m"));
    EXPECT_EQ(received(service.commands(mine)), commands({{"extend", "30m"}}))
        << "/stop went twice";
    EXPECT_EQ(service.tell(7, QStringLiteral("/status")), queued("/status"));
    service.clock.advanceSeconds(5 * 60);
    EXPECT_EQ(service.tell(7, QStringLiteral("/start 1H")), queued("/start 1h"));
    EXPECT_EQ(service.tell(7, QStringLiteral("/extend 30m")), queued("/extend 30m"));
    EXPECT_EQ(received(service.commands(mine)), commands({{"start", "1h"}, {"extend", "30m"}}))
        << "the /stop went once and the /status expired";

    // Nothing for the other chat's device: its poll ends empty when the hold runs out.
    EXPECT_EQ(received(service.commands(other)), QJsonArray());
    EXPECT_EQ(service.tell(8, QStringLiteral("/extend")),
              QString::fromUtf8(BotTexts::missingDuration));
    EXPECT_EQ(service.tell(8, QStringLiteral("/extend soon")),
              QString::fromUtf8(BotTexts::badDuration));
    EXPECT_EQ(service.tell(9, QStringLiteral("/stop")),
              QString::fromUtf8(BotTexts::notPairedForRemote));
}

TEST(RemoteControl, UnknownAndRevokedTokensGet401) {
    TestService service;
    const QString token = service.pairDevice(3);
    for (const TestHttp::Headers &headers :
         {TestHttp::Headers{}, TestHttp::Headers{{"Authorization", "Bearer "}},
          TestHttp::Headers{{"Authorization", "Bearer not-a-token"}},
          TestHttp::Headers{{"Authorization", "Basic " + token.toLatin1()}}}) {
        const auto refused = TestHttp::get(service.url(QStringLiteral("/api/commands")), headers);
        EXPECT_EQ(refused.status, 401);
        EXPECT_EQ(refused.json(), QJsonObject({{"error", "unauthorized"}}));
    }
    EXPECT_EQ(service.tell(3, QStringLiteral("/unpair")), QString::fromUtf8(BotTexts::unpaired));
    EXPECT_EQ(service.commands(token).status, 401);
    EXPECT_EQ(service.tell(3, QStringLiteral("/stop")),
              QString::fromUtf8(BotTexts::notPairedForRemote));
}

TEST(RemoteControl, TurnedOffThePairingAnswersAsBeforeAndTheBotTakesNoCommands) {
    TestService service({{"KORVELLA_PAIRING_REMOTE_CONTROL", "off"}});
    const QString code = service.createCode();
    service.tell(4, QStringLiteral("/pair ") + code);
    EXPECT_EQ(service.status(code), QJsonObject({{"status", "paired"}, {"chat_id", "4"}}));
    EXPECT_EQ(service.commands(QStringLiteral("any")).status, 404);
    EXPECT_EQ(service.tell(4, QStringLiteral("/stop")), QString::fromUtf8(BotTexts::help));
}
