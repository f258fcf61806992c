#include "telegram/PairingClient.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

namespace {

using Reply = FakeHttpServer::Reply;
using CreateResult = PairingClient::CreateResult;

// What the replies mean is PairingRepliesTest's, and how the transport fails (redirects, drops,
// time-outs) the notifier's tests show for the exchange both share; here: the requests, the
// body limit, and that a failed exchange still completes.
class PairingClientTest : public ::testing::Test {
protected:
    std::optional<CreateResult> create(PairingClient &target) {
        return awaitOnce<CreateResult>([&](auto done) { target.create(done); });
    }
    std::optional<PairingStatus> status(const QString &code, PairingClient *target = nullptr) {
        PairingClient &used = target ? *target : client;
        return awaitOnce<PairingStatus>([&](auto done) { used.checkStatus(code, done); });
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

    server.stopListening();
    const std::optional<CreateResult> refused = create(client);
    ASSERT_TRUE(refused && std::holds_alternative<PairingError>(*refused));
    EXPECT_TRUE(std::get<PairingError>(*refused).isTransport());
}

// The status request's shape the pairing flow's test checks with an awkward code.
TEST_F(PairingClientTest, StatusIsDecidedByTheBodyAndEveryFailureIsPending) {
    server.enqueue(Reply::withStatus(404, R"({"status":"expired"})"));
    EXPECT_EQ(status("A"), PairingStatus::expired()) << "the body decides";
    EXPECT_EQ(server.requests().first().method, "GET");

    server.enqueue(Reply::json(QByteArray(10 * 1024 * 1024, ' ') + R"({"status":"expired"})"));
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
