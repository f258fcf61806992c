#include "telegram/PairingClient.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/WaitUntil.h"

#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

using Reply = FakeHttpServer::Reply;

class PairingClientTest : public ::testing::Test {
protected:
    std::optional<PairingClient::CreateResult> create(PairingClient &target) {
        return awaitOnce<PairingClient::CreateResult>([&](auto done) { target.create(done); });
    }
    std::optional<PairingClient::CreateResult> create() { return create(client); }
    std::optional<PairingStatus> status(const QString &code, PairingClient *target = nullptr) {
        PairingClient &used = target ? *target : client;
        return awaitOnce<PairingStatus>([&](auto done) { used.checkStatus(code, done); });
    }

    FakeHttpServer server;
    PairingClient client{server.baseUrl() + "/api", nullptr};
};

PairingError errorOf(const std::optional<PairingClient::CreateResult> &result) {
    EXPECT_TRUE(result && std::holds_alternative<PairingError>(*result));
    return result && std::holds_alternative<PairingError>(*result) ? std::get<PairingError>(*result)
                                                                   : PairingError{};
}

TEST_F(PairingClientTest, CreateIsABarePostAndTheBodyDecides) {
    server.enqueue(Reply::withStatus(500, R"({"code":"K7Q2MX"})"));
    EXPECT_EQ(create(), PairingClient::CreateResult("K7Q2MX"));
    ASSERT_EQ(server.requests().size(), 1);
    const FakeHttpServer::Request &request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/create_pairing.php");
    EXPECT_TRUE(request.body.isEmpty());
    EXPECT_FALSE(request.headers.contains("content-type"));

    server.enqueue(Reply::json(QByteArray(10 * 1024 * 1024, ' ') + R"({"code":"A"})"));
    EXPECT_EQ(errorOf(create()), PairingError::pairing()) << "a 10 MiB reply is refused";
}

TEST_F(PairingClientTest, CreateCarriesTransportErrors) {
    server.setDefaultReply(Reply::dropConnection()); // every attempt: Qt resends once by itself
    const PairingError dropped = errorOf(create());
    EXPECT_TRUE(dropped.isTransport());
    EXPECT_EQ(dropped.code, QNetworkReply::RemoteHostClosedError);

    server.enqueue(Reply::json(R"({"code":"LATE"})").delayedBy(3000));
    client.setTimeoutMs(300);
    const PairingError timedOut = errorOf(create());
    EXPECT_TRUE(timedOut.isTransport());
    EXPECT_EQ(timedOut.code, QNetworkReply::OperationCanceledError);

    server.stopListening();
    const PairingError refused = errorOf(create());
    EXPECT_TRUE(refused.isTransport());
    EXPECT_EQ(refused.code, QNetworkReply::ConnectionRefusedError);
    EXPECT_NE(refused.domain, "Pairing");
}

TEST_F(PairingClientTest, StatusIsAGetWithTheCodeAsOneQueryValue) {
    server.enqueue(Reply::json(R"({"status":"paired","chat_id":"-1009876"})"));
    EXPECT_EQ(status("AB12cd"), PairingStatus::paired("-1009876"));
    server.enqueue(Reply::json(R"({"status":"expired"})"));
    EXPECT_EQ(status("a&b=c#d e+f/配"), PairingStatus::expired());
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests().at(0).method, "GET");
    EXPECT_EQ(server.requests().at(0).target, "/api/pairing_status.php?code=AB12cd");
    const QUrlQuery query(QString::fromLatin1(server.requests().at(1).query));
    EXPECT_EQ(query.queryItems().size(), 1);
    EXPECT_EQ(query.queryItemValue("code", QUrl::FullyDecoded), "a&b=c#d e+f/配");
}

TEST_F(PairingClientTest, EveryStatusFailureIsPending) {
    server.enqueue(Reply::withStatus(404, R"({"status":"not_found"})"));
    EXPECT_EQ(status("A"), PairingStatus::notFound()) << "the HTTP status is not examined";
    server.enqueue(Reply::json(QByteArray(10 * 1024 * 1024, ' ') + R"({"status":"expired"})"));
    EXPECT_EQ(status("A"), PairingStatus::pending());
    server.setDefaultReply(Reply::dropConnection());
    EXPECT_EQ(status("A"), PairingStatus::pending());
    server.setDefaultReply(Reply());
    const int beforeRedirect = server.requestCount();
    server.enqueue(
        Reply::rawBytes("HTTP/1.1 302 Found\r\nLocation: /api/elsewhere\r\nContent-Length: 0\r\n"
                        "Connection: close\r\n\r\n"));
    EXPECT_EQ(status("A"), PairingStatus::pending());
    EXPECT_EQ(server.requestCount(), beforeRedirect + 1) << "the redirect was not followed";
    server.stopListening();
    EXPECT_EQ(status("A"), PairingStatus::pending());
}

TEST_F(PairingClientTest, AnUnusableBaseStillCompletesLater) {
    PairingClient broken("http://pair.example.org/api", nullptr); // plain http off loopback
    EXPECT_EQ(errorOf(create(broken)), PairingError::pairing());
    EXPECT_EQ(status("A", &broken), PairingStatus::pending());
    EXPECT_EQ(server.requestCount(), 0);
}

} // namespace
