#include "telegram/PairingClient.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/WaitUntil.h"

#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

using Reply = FakeHttpServer::Reply;
using CreateResult = PairingClient::CreateResult;

// What the replies mean is PairingRepliesTest's; here: the requests, the transport and limits.
class PairingClientTest : public ::testing::Test {
protected:
    std::optional<CreateResult> create(PairingClient &target) {
        return awaitOnce<CreateResult>([&](auto done) { target.create(done); });
    }
    std::optional<PairingStatus> status(const QString &code, PairingClient *target = nullptr) {
        PairingClient &used = target ? *target : client;
        return awaitOnce<PairingStatus>([&](auto done) { used.checkStatus(code, done); });
    }
    // The transport error a create ended with, or -1.
    int transportCode() {
        const std::optional<CreateResult> result = create(client);
        const auto *error = result ? std::get_if<PairingError>(&*result) : nullptr;
        return error && error->isTransport() ? error->code : -1;
    }

    FakeHttpServer server;
    PairingClient client{server.baseUrl() + "/api", nullptr};
};

TEST_F(PairingClientTest, CreateIsABarePostWhoseBodyDecidesAndTransportErrorsAreCarried) {
    server.enqueue(Reply::withStatus(500, R"({"code":"K7Q2MX"})"));
    EXPECT_EQ(create(client), CreateResult("K7Q2MX"));
    ASSERT_EQ(server.requests().size(), 1);
    const FakeHttpServer::Request &request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/create_pairing.php");
    EXPECT_TRUE(request.body.isEmpty());
    EXPECT_FALSE(request.headers.contains("content-type"));
    server.enqueue(Reply::json(QByteArray(10 * 1024 * 1024, ' ') + R"({"code":"A"})"));
    EXPECT_EQ(create(client), CreateResult(PairingError::pairing())) << "a 10 MiB reply is refused";

    server.setDefaultReply(Reply::dropConnection()); // every attempt: Qt resends once by itself
    EXPECT_EQ(transportCode(), QNetworkReply::RemoteHostClosedError);
    server.setDefaultReply(Reply());
    server.enqueue(Reply::json(R"({"code":"LATE"})").delayedBy(3000));
    client.setTimeoutMs(300);
    EXPECT_EQ(transportCode(), QNetworkReply::OperationCanceledError);
    server.stopListening();
    EXPECT_EQ(transportCode(), QNetworkReply::ConnectionRefusedError);
}

TEST_F(PairingClientTest, StatusIsAGetWithTheCodeAsOneQueryValueAndEveryFailureIsPending) {
    server.enqueue(Reply::withStatus(404, R"({"status":"expired"})"));
    EXPECT_EQ(status("a&b=c#d e+f/配"), PairingStatus::expired()) << "the body decides";
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().method, "GET");
    EXPECT_EQ(server.requests().first().path, "/api/pairing_status.php");
    const QUrlQuery query(QString::fromLatin1(server.requests().first().query));
    EXPECT_EQ(query.queryItems().size(), 1);
    EXPECT_EQ(query.queryItemValue("code", QUrl::FullyDecoded), "a&b=c#d e+f/配");

    server.enqueue(Reply::json(QByteArray(10 * 1024 * 1024, ' ') + R"({"status":"expired"})"));
    EXPECT_EQ(status("A"), PairingStatus::pending());
    server.enqueue(
        Reply::rawBytes("HTTP/1.1 302 Found\r\nLocation: /api/elsewhere\r\nContent-Length: 0\r\n"
                        "Connection: close\r\n\r\n"));
    EXPECT_EQ(status("A"), PairingStatus::pending());
    EXPECT_EQ(server.requestCount(), 3) << "the redirect was not followed";
    server.setDefaultReply(Reply::dropConnection());
    EXPECT_EQ(status("A"), PairingStatus::pending());
    server.stopListening();
    EXPECT_EQ(status("A"), PairingStatus::pending());
}

TEST_F(PairingClientTest, AnUnusableBaseStillCompletesWithoutTraffic) {
    PairingClient broken("http://pair.example.org/api", nullptr); // plain http off loopback
    EXPECT_EQ(create(broken), CreateResult(PairingError::pairing()));
    EXPECT_EQ(status("A", &broken), PairingStatus::pending());
    EXPECT_EQ(server.requestCount(), 0);
}

} // namespace
