// What the service does with too many, too large, too slow and malformed requests.
#include "GuardedTcpServer.h"
#include "TestService.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

TestHttp::Headers from(const char *client) {
    return {{"X-Forwarded-For", client}};
}

// The status line of what the service answered to `bytes` sent at once.
QByteArray answerTo(quint16 port, const QByteArray &bytes) {
    const QByteArray response = TestHttp::raw(port, bytes);
    return response.left(response.indexOf("\r\n"));
}

// The same, with each piece sent once the service has read the one before, as separate TCP segments
// arrive.
QByteArray answerTo(quint16 port, const QList<QByteArray> &pieces) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { received += socket.readAll(); });
    if (!socket.waitForConnected(3000))
        return {};
    for (const QByteArray &piece : pieces) {
        socket.write(piece);
        socket.flush();
        TestHttp::waitUntil([&] { return socket.state() != QAbstractSocket::ConnectedState; }, 50);
    }
    TestHttp::waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 3000);
    received += socket.readAll();
    return received.left(received.indexOf("\r\n"));
}

} // namespace

TEST(Abuse, CreateAndStatusAreRateLimitedPerClientBelievingOnlyTrustedProxies) {
    TestService service(
        {{"KORVELLA_PAIRING_CREATE_BURST", "3"}, {"KORVELLA_PAIRING_CREATE_RATE", "3"}});
    const QString create = service.url("/api/create_pairing.php");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(TestHttp::post(create, {}, from("198.51.100.7")).status, 200);
    const auto refused = TestHttp::post(create, {}, from("198.51.100.7"));
    EXPECT_EQ(refused.status, 429);
    EXPECT_EQ(refused.header("Retry-After"), "20");
    EXPECT_EQ(refused.json(), QJsonObject({{"error", "rate_limited"}, {"retry_after", 20}}));
    EXPECT_EQ(TestHttp::post(create, {}, from("198.51.100.8")).status, 200) << "another client";
    service.clock.advanceSeconds(20);
    EXPECT_EQ(TestHttp::post(create, {}, from("198.51.100.7")).status, 200);

    TestService untrusting({{"KORVELLA_PAIRING_STATUS_BURST", "2"},
                            {"KORVELLA_PAIRING_STATUS_RATE", "60"},
                            {"KORVELLA_PAIRING_TRUSTED_PROXIES", ""}});
    const QString status = untrusting.url("/api/pairing_status.php?code=ABCD2345");
    EXPECT_EQ(TestHttp::get(status, from("198.51.100.1")).status, 200);
    EXPECT_EQ(TestHttp::get(status, from("198.51.100.2")).status, 200);
    EXPECT_EQ(TestHttp::get(status, from("198.51.100.3")).status, 429)
        << "with no trusted proxy, every request counts for the loopback peer";
    untrusting.clock.advanceSeconds(1);
    EXPECT_EQ(TestHttp::get(status).status, 200);
}

TEST(Abuse, LiveCodesAreBounded) {
    TestService service({{"KORVELLA_PAIRING_MAX_LIVE_CODES", "2"}});
    const QString first = service.createCode();
    service.createCode();
    expectError(TestHttp::post(service.url("/api/create_pairing.php")), 503, "too_many_codes");
    service.tell(1, "/pair " + first);
    EXPECT_FALSE(service.createCode().isEmpty()) << "a paired code is no longer live";
    service.clock.advanceSeconds(10 * 60);
    EXPECT_FALSE(service.createCode().isEmpty()) << "nor is an expired one";
}

TEST(Abuse, MalformedRequestsGetPreciseErrors) {
    TestService service;
    expectError(TestHttp::get(service.url("/api/pairing_status.php")), 400, "missing_code");
    expectError(TestHttp::get(service.url("/api/pairing_status.php?code=")), 400, "missing_code");
    expectError(TestHttp::get(service.url("/api/pairing_status.php?code=" + QString(65, 'A'))), 400,
                "invalid_code");
    const auto wrongMethod = TestHttp::get(service.url("/api/create_pairing.php"));
    expectError(wrongMethod, 405, "method_not_allowed");
    EXPECT_EQ(wrongMethod.header("Allow"), "POST");
    for (const char *path : {"/api/pairing_status.php?code=ABCD2345", "/api/health"})
        expectError(TestHttp::post(service.url(path)), 405, "method_not_allowed");
    for (const char *path :
         {"/", "/api", "/api/", "/create_pairing.php", "/api/create_pairing.php/x",
          "/api/telegram-webhook", "/API/create_pairing.php"})
        expectError(TestHttp::post(service.url(path)), 404, "not_found");
}

TEST(Abuse, OversizedAndUnframedRequestsAreRefusedBeforeTheyAreRead) {
    TestService service;
    const quint16 port = service.port();
    const QByteArray create = "POST /api/create_pairing.php HTTP/1.1\r\nHost: x\r\n";
    const QByteArray health = "GET /api/health HTTP/1.1\r\nHost: x\r\n";
    const QByteArray pad = "X-Pad: " + QByteArray(3000, 'p') + "\r\n";
    const QByteArray tooLarge = "HTTP/1.1 413 Payload Too Large";
    const QByteArray headTooLarge = "HTTP/1.1 431 Request Header Fields Too Large";
    EXPECT_EQ(answerTo(port, create + "Content-Length: 10485760\r\n\r\nxxxx"), tooLarge);
    EXPECT_EQ(answerTo(port, health + pad + pad + pad + "\r\n"), headTooLarge);
    EXPECT_EQ(answerTo(port, health + pad + pad + pad), headTooLarge) << "a head that never ends";
    EXPECT_EQ(answerTo(port, create + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n"),
              "HTTP/1.1 411 Length Required");
    EXPECT_EQ(answerTo(port, create + "Content-Length: -1\r\n\r\n"), "HTTP/1.1 400 Bad Request");
    // However the bytes are split or pipelined.
    EXPECT_EQ(answerTo(port, QList<QByteArray>{health + pad, pad, pad, pad}), headTooLarge);
    EXPECT_EQ(answerTo(port, QList<QByteArray>{health + "\r",
                                               "\n" + create + "Content-Length: 10485760\r\n\r\n"}),
              tooLarge);
    EXPECT_EQ(answerTo(port, create + "Content-Length: 2\r\n\r\n{}" + health + pad + pad + pad),
              headTooLarge)
        << "a second head pipelined behind a body";
    // Garbage is dropped without an answer, and the service goes on serving.
    EXPECT_TRUE(TestHttp::raw(port, "\x16\x03\x01 not http at all\r\n\r\n").isEmpty());
    EXPECT_EQ(TestHttp::get(service.url("/api/health")).status, 200);
}

TEST(Abuse, OpenConnectionsAreCappedAndClosedAfterTheAnswerWhenTheClientAsksSo) {
    TestService service({{"KORVELLA_PAIRING_MAX_CONNECTIONS", "2"}});
    QTcpSocket first, second;
    first.connectToHost(QHostAddress::LocalHost, service.port());
    second.connectToHost(QHostAddress::LocalHost, service.port());
    ASSERT_TRUE(TestHttp::waitUntil([&] {
        return first.state() == QAbstractSocket::ConnectedState &&
               second.state() == QAbstractSocket::ConnectedState;
    }));
    TestHttp::waitUntil([] { return false; }, 100); // let the service accept both
    EXPECT_EQ(answerTo(service.port(), "GET /api/health HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 503 Service Unavailable");
    first.abort();
    second.abort();
    TestHttp::waitUntil([] { return false; }, 100);
    for (const QByteArray &request :
         {QByteArray("GET /api/health HTTP/1.0\r\n\r\n"),
          QByteArray("GET /api/health HTTP/1.1\r\nHost: x\r\nConnection: "
                     "close\r\n\r\n")}) {
        QElapsedTimer elapsed;
        elapsed.start();
        const QByteArray response = TestHttp::raw(service.port(), request);
        EXPECT_LT(elapsed.elapsed(), 1000) << "the connection stayed open: " << request.data();
        EXPECT_TRUE(response.startsWith("HTTP/1.1 200 OK")) << response.data();
        EXPECT_TRUE(response.endsWith("{\"status\":\"ok\"}")) << response.data();
    }
}

// A connection set aside while its answer waits keeps its place under the cap, and its answer
// reaches the client when it is served again.
TEST(Abuse, AParkedConnectionKeepsItsPlaceUnderTheCap) {
    pairing::HttpLimits limits;
    limits.maxConnections = 1;
    pairing::GuardedTcpServer server(limits);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTcpSocket device;
    device.connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(TestHttp::waitUntil([&] { return server.hasPendingConnections(); }));
    const auto parked = server.park(server.nextPendingConnection());
    ASSERT_TRUE(parked);
    EXPECT_EQ(answerTo(server.serverPort(), "GET / HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 503 Service Unavailable");
    server.resume(*parked, "HTTP/1.1 204 No Content\r\n\r\n");
    EXPECT_TRUE(TestHttp::waitUntil([&] { return device.bytesAvailable() > 0; }));
    EXPECT_EQ(device.readAll(), "HTTP/1.1 204 No Content\r\n\r\n");
    EXPECT_EQ(device.state(), QAbstractSocket::ConnectedState);
}

TEST(Abuse, SlowAndIdleConnectionsAreClosed) {
    TestService service({{"TEST_REQUEST_TIMEOUT_MS", "200"}, {"TEST_IDLE_TIMEOUT_MS", "400"}});
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(TestHttp::raw(service.port(), "GET /api/health HTTP/1.1\r\n").isEmpty());
    EXPECT_LT(elapsed.restart(), 2000) << "a request that never ends is cut off";
    EXPECT_TRUE(TestHttp::raw(service.port(), {}).isEmpty());
    EXPECT_GE(elapsed.elapsed(), 350) << "an idle connection may stay a while";
    EXPECT_LT(elapsed.elapsed(), 2000);
}
