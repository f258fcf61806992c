// Remote control: device tokens handed out with a pairing, and commands from the paired chat
// relayed to the device's long poll.
#include "BotTexts.h"
#include "PairingStore.h"
#include "TestService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
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
    for (const QJsonValue &command : response.json().value("commands").toArray()) {
        QJsonObject object = command.toObject();
        EXPECT_GT(object.take("queued_at").toInteger(), 0);
        list.append(object);
    }
    return list;
}

QString queued(const char *command) {
    return said(BotTexts::commandQueued).arg(QLatin1String(command));
}

} // namespace

TEST(RemoteControl, EveryPairedReportCarriesItsOwnTokenStoredHashedAndRevokedByUnpair) {
    TestService service;
    const QString code = service.createCode();
    service.tell(5, "/pair " + code);
    const QJsonObject first = service.status(code);
    const QString token = first.value("device_token").toString();
    EXPECT_EQ(first.value("chat_id"), "5");
    EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]{43}$").match(token).hasMatch())
        << token.toStdString();
    const QString second = service.status(code).value("device_token").toString();
    EXPECT_NE(second, token) << "a poll whose answer was lost gets a token of its own";
    EXPECT_EQ(received(service.commands(second)), QJsonArray()) << "both tokens work";

    QByteArray stored;
    for (const QString &suffix : QStringList{"", "-wal"}) {
        QFile file(service.databasePath() + suffix);
        if (file.open(QIODevice::ReadOnly))
            stored += file.readAll();
    }
    EXPECT_TRUE(stored.contains(PairingStore::tokenHash(token).toLatin1()));
    EXPECT_FALSE(stored.contains(token.toLatin1()));

    for (const QByteArray &authorization :
         {QByteArray(), QByteArray("Bearer "), QByteArray("Bearer not-a-token"),
          "Basic " + token.toLatin1()})
        expectError(TestHttp::get(service.url("/api/commands"), {{"Authorization", authorization}}),
                    401, "unauthorized");
    EXPECT_EQ(service.tell(5, "/unpair"), said(BotTexts::unpaired));
    expectError(service.commands(token), 401, "unauthorized");
    EXPECT_EQ(service.tell(5, "/stop"), said(BotTexts::notPairedForRemote));
}

TEST(RemoteControl, CommandsFromThePairedChatReachItsDeviceOnceAndExpire) {
    TestService service({{"TEST_COMMAND_HOLD_MS", "4000"}});
    const QString mine = service.pairDevice(7);
    const QString other = service.pairDevice(8);

    // The command arrives while the device's poll is held, and ends the hold at once.
    QTimer::singleShot(0, [&] {
        TestHttp::waitUntil([&] { return service.waitingPolls() == 1; });
        service.api.queueText(7, "/stop");
    });
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(received(service.commands(mine)), commands({{"stop", ""}}));
    EXPECT_LT(elapsed.elapsed(), 2000);
    EXPECT_TRUE(
        TestHttp::waitUntil([&] { return service.api.messages().last().text == queued("/stop"); }));

    EXPECT_EQ(service.tell(7, "/extend 30m"), queued("/extend 30m"));
    EXPECT_EQ(received(service.commands(mine)), commands({{"extend", "30m"}}))
        << "/stop went twice";
    EXPECT_EQ(service.tell(7, "/status"), queued("/status"));
    service.clock.advanceSeconds(5 * 60);
    EXPECT_EQ(service.tell(7, "/start 1H"), queued("/start 1h"));
    EXPECT_EQ(service.tell(7, "/extend 30m"), queued("/extend 30m"));
    EXPECT_EQ(received(service.commands(mine)), commands({{"start", "1h"}, {"extend", "30m"}}))
        << "the /stop went once and the /status expired";

    // Nothing for the other chat's device: its poll ends empty when the hold runs out.
    EXPECT_EQ(received(service.commands(other)), QJsonArray());
    EXPECT_EQ(service.tell(8, "/extend"), said(BotTexts::missingDuration));
    EXPECT_EQ(service.tell(8, "/extend soon"), said(BotTexts::badDuration));
    EXPECT_EQ(service.tell(9, "/stop"), said(BotTexts::notPairedForRemote));
}

// A keep-alive poll's connection is set aside while it waits, then carries its answer and
// the client's next requests; a client that closes after the answer is held as it is.
TEST(RemoteControl, AWaitingPollsConnectionCarriesItsAnswerAndTheNextRequests) {
    TestService service({{"TEST_COMMAND_HOLD_MS", "300"}});
    const QByteArray poll = "GET /api/commands HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " +
                            service.pairDevice(7).toLatin1() + "\r\n\r\n";
    QTcpSocket device;
    QByteArray got;
    QObject::connect(&device, &QTcpSocket::readyRead, [&] { got += device.readAll(); });
    device.connectToHost(QHostAddress::LocalHost, service.port());
    const auto answer = [&](const QByteArray &request, const std::function<void()> &meanwhile) {
        got.clear();
        device.write(request);
        meanwhile();
        TestHttp::waitUntil([&] { return got.contains("\r\n\r\n{") && got.endsWith('}'); });
        return got.mid(got.indexOf("\r\n\r\n") + 4);
    };
    EXPECT_EQ(answer(poll, [] {}), R"({"commands":[]})");
    const QByteArray withStop = answer(poll, [&] {
        TestHttp::waitUntil([&] { return service.waitingPolls() == 1; });
        service.api.queueText(7, "/stop");
    });
    EXPECT_TRUE(withStop.contains(R"("command":"stop")")) << withStop.data();
    EXPECT_EQ(answer("GET /api/health HTTP/1.1\r\nHost: x\r\n\r\n", [] {}), R"({"status":"ok"})");
    EXPECT_EQ(device.state(), QAbstractSocket::ConnectedState);

    const QByteArray closing =
        TestHttp::raw(service.port(), QByteArray(poll).replace("HTTP/1.1", "HTTP/1.0"));
    EXPECT_TRUE(closing.startsWith("HTTP/1.1 200") && closing.endsWith(R"({"commands":[]})"))
        << closing.data();
}

TEST(RemoteControl, TurnedOffThePairingAnswersAsBeforeAndTheBotTakesNoCommands) {
    TestService service({{"KORVELLA_PAIRING_REMOTE_CONTROL", "off"}});
    const QString code = service.createCode();
    service.tell(4, "/pair " + code);
    EXPECT_EQ(service.status(code), QJsonObject({{"status", "paired"}, {"chat_id", "4"}}));
    EXPECT_EQ(service.commands("any").status, 404);
    EXPECT_EQ(service.tell(4, "/stop"), said(BotTexts::help));
}
