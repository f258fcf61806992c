// What the service does with too many, too large, too slow and malformed requests.
#include "Clock.h"
#include "GuardedTcpServer.h"
#include "PairingHttpServer.h"
#include "PairingStore.h"
#include "TestService.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace pairing;

namespace {

TestHttp::Headers from(const char *client) {
    return {{"X-Forwarded-For", client}};
}

QByteArray statusLine(const QByteArray &response) {
    return response.left(response.indexOf("\r\n"));
}

// Sends each piece once the service has read the one before, as separate TCP segments arrive.
QByteArray inPieces(quint16 port, const QList<QByteArray> &pieces) {
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
    return received + socket.readAll();
}

} // namespace

TEST(Abuse, CreateIsRateLimitedPerClientWithA429JsonAnswer) {
    TestService service(
        {{"KORVELLA_PAIRING_CREATE_BURST", "3"}, {"KORVELLA_PAIRING_CREATE_RATE", "3"}});
    const QString create = service.url(QStringLiteral("/api/create_pairing.php"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(TestHttp::post(create, {}, from("198.51.100.7")).status, 200);
    const auto refused = TestHttp::post(create, {}, from("198.51.100.7"));
    EXPECT_EQ(refused.status, 429);
    EXPECT_EQ(refused.header("Retry-After"), "20");
    EXPECT_EQ(refused.json(), QJsonObject({{"error", "rate_limited"}, {"retry_after", 20}}));
    EXPECT_EQ(TestHttp::post(create, {}, from("198.51.100.8")).status, 200) << "another client";
    service.clock.advanceSeconds(20);
    EXPECT_EQ(TestHttp::post(create, {}, from("198.51.100.7")).status, 200);
}

TEST(Abuse, StatusIsRateLimitedAndForwardedForIsIgnoredFromUntrustedPeers) {
    TestService service({{"KORVELLA_PAIRING_STATUS_BURST", "2"},
                         {"KORVELLA_PAIRING_STATUS_RATE", "60"},
                         {"KORVELLA_PAIRING_TRUSTED_PROXIES", ""}});
    const QString status = service.url(QStringLiteral("/api/pairing_status.php?code=ABCD2345"));
    EXPECT_EQ(TestHttp::get(status, from("198.51.100.1")).status, 200);
    EXPECT_EQ(TestHttp::get(status, from("198.51.100.2")).status, 200);
    EXPECT_EQ(TestHttp::get(status, from("198.51.100.3")).status, 429)
        << "with no trusted proxy, every request counts for the loopback peer";
    service.clock.advanceSeconds(1);
    EXPECT_EQ(TestHttp::get(status).status, 200);
}

TEST(Abuse, LiveCodesAreBounded) {
    TestService service({{"KORVELLA_PAIRING_MAX_LIVE_CODES", "2"}});
    const QString first = service.createCode();
    service.createCode();
    const auto refused = TestHttp::post(service.url(QStringLiteral("/api/create_pairing.php")));
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.json(), QJsonObject({{"error", "too_many_codes"}}));
    service.tell(1, QStringLiteral("/pair ") + first);
    EXPECT_FALSE(service.createCode().isEmpty()) << "a paired code is no longer live";
    service.clock.advanceSeconds(10 * 60);
    EXPECT_FALSE(service.createCode().isEmpty()) << "nor is an expired one";
}

TEST(Abuse, MalformedRequestsGetPreciseErrors) {
    TestService service;
    const auto check = [&](const TestHttp::Response &response, int status, const char *error) {
        EXPECT_EQ(response.status, status) << response.body.toStdString();
        EXPECT_EQ(response.json().value(QStringLiteral("error")).toString(), QLatin1String(error));
    };
    check(TestHttp::get(service.url(QStringLiteral("/api/pairing_status.php"))), 400,
          "missing_code");
    check(TestHttp::get(service.url(QStringLiteral("/api/pairing_status.php?code="))), 400,
          "missing_code");
    check(TestHttp::get(
              service.url(QStringLiteral("/api/pairing_status.php?code=") + QString(65, 'A'))),
          400, "invalid_code");
    const auto wrongMethod = TestHttp::get(service.url(QStringLiteral("/api/create_pairing.php")));
    check(wrongMethod, 405, "method_not_allowed");
    EXPECT_EQ(wrongMethod.header("Allow"), "POST");
    check(TestHttp::post(service.url(QStringLiteral("/api/pairing_status.php?code=ABCD2345"))), 405,
          "method_not_allowed");
    check(TestHttp::post(service.url(QStringLiteral("/api/health"))), 405, "method_not_allowed");
    for (const char *path :
         {"/", "/api", "/api/", "/create_pairing.php", "/api/create_pairing.php/x",
          "/api/telegram-webhook", "/API/create_pairing.php"})
        check(TestHttp::post(service.url(QLatin1String(path))), 404, "not_found");
}

TEST(Abuse, OversizedAndUnframedRequestsAreRefusedBeforeTheyAreRead) {
    TestService service;
    const quint16 port = service.port();
    EXPECT_EQ(statusLine(TestHttp::raw(port, "POST /api/create_pairing.php HTTP/1.1\r\nHost: x\r\n"
                                             "Content-Length: 10485760\r\n\r\nxxxx")),
              "HTTP/1.1 413 Payload Too Large");
    EXPECT_EQ(statusLine(TestHttp::raw(port, "GET /api/health HTTP/1.1\r\nHost: x\r\nX-Pad: " +
                                                 QByteArray(9000, 'p') + "\r\n\r\n")),
              "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_EQ(statusLine(TestHttp::raw(port, "GET /api/health HTTP/1.1\r\nHost: x\r\nX-Pad: " +
                                                 QByteArray(9000, 'p'))),
              "HTTP/1.1 431 Request Header Fields Too Large")
        << "a head that never ends";
    EXPECT_EQ(statusLine(TestHttp::raw(port, "POST /api/create_pairing.php HTTP/1.1\r\nHost: x\r\n"
                                             "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n")),
              "HTTP/1.1 411 Length Required");
    EXPECT_EQ(statusLine(TestHttp::raw(port, "POST /api/create_pairing.php HTTP/1.1\r\nHost: x\r\n"
                                             "Content-Length: -1\r\n\r\n")),
              "HTTP/1.1 400 Bad Request");
    // However the bytes are split or pipelined.
    const QByteArray pad = "X-Pad: " + QByteArray(3000, 'p') + "\r\n";
    EXPECT_EQ(statusLine(inPieces(port, {"GET /api/health HTTP/1.1\r\n" + pad, pad, pad, pad})),
              "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_EQ(statusLine(inPieces(port, {"GET /api/health HTTP/1.1\r\nHost: x\r\n\r",
                                         "\nPOST /api/create_pairing.php HTTP/1.1\r\nHost: x\r\n"
                                         "Content-Length: 10485760\r\n\r\n"})),
              "HTTP/1.1 413 Payload Too Large");
    EXPECT_EQ(statusLine(TestHttp::raw(port, "POST /api/create_pairing.php HTTP/1.1\r\nHost: x\r\n"
                                             "Content-Length: 2\r\n\r\n{}"
                                             "GET /api/health HTTP/1.1\r\nHost: x\r\n" +
                                                 pad + pad + pad)),
              "HTTP/1.1 431 Request Header Fields Too Large")
        << "a second head pipelined behind a body";
    // Garbage is dropped without an answer, and the service goes on serving.
    EXPECT_TRUE(TestHttp::raw(port, "\x16\x03\x01 not http at all\r\n\r\n").isEmpty());
    EXPECT_EQ(TestHttp::get(service.url(QStringLiteral("/api/health"))).status, 200);
}

TEST(Abuse, OpenConnectionsAreCapped) {
    TestService service({{"KORVELLA_PAIRING_MAX_CONNECTIONS", "2"}});
    QTcpSocket first, second;
    first.connectToHost(QHostAddress::LocalHost, service.port());
    second.connectToHost(QHostAddress::LocalHost, service.port());
    ASSERT_TRUE(TestHttp::waitUntil([&] {
        return first.state() == QAbstractSocket::ConnectedState &&
               second.state() == QAbstractSocket::ConnectedState;
    }));
    TestHttp::waitUntil([] { return false; }, 100); // let the service accept both
    EXPECT_EQ(statusLine(TestHttp::raw(service.port(), "GET /api/health HTTP/1.1\r\n\r\n")),
              "HTTP/1.1 503 Service Unavailable");
    first.abort();
    TestHttp::waitUntil([] { return false; }, 100);
    EXPECT_EQ(statusLine(TestHttp::raw(service.port(), "GET /api/health HTTP/1.1\r\nHost: x\r\n"
                                                       "Connection: close\r\n\r\n")),
              "HTTP/1.1 200 OK");
}

TEST(Abuse, SlowAndIdleConnectionsAreClosed) {
    QTemporaryDir dir;
    QStringList errors;
    const auto config = Config::build(
        {{"KORVELLA_PAIRING_UPDATES", "off"},
         {"KORVELLA_PAIRING_DATABASE", "sqlite:" + dir.filePath(QStringLiteral("p.sqlite"))}},
        &errors);
    ASSERT_TRUE(config);
    PairingStore store(config->database, config->policy);
    QString error;
    ASSERT_TRUE(store.open(&error)) << error.toStdString();
    SystemClock clock;
    PairingHttpServer http(*config, store, clock, [](const QJsonObject &) { return true; });
    HttpLimits limits;
    limits.requestTimeoutMs = 200;
    limits.idleTimeoutMs = 400;
    auto *listener = new GuardedTcpServer(limits, &http);
    ASSERT_TRUE(listener->listen(QHostAddress::LocalHost, 0));
    http.bind(listener);

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(
        TestHttp::raw(listener->serverPort(), "GET /api/health HTTP/1.1\r\nHost: x\r\n").isEmpty());
    EXPECT_LT(elapsed.restart(), 1500) << "a request that never ends is cut off";
    EXPECT_TRUE(TestHttp::raw(listener->serverPort(), {}).isEmpty());
    EXPECT_GE(elapsed.elapsed(), 350) << "an idle connection may stay a while";
    EXPECT_LT(elapsed.elapsed(), 1500);
    EXPECT_EQ(listener->openConnections(), 0);
}

TEST(Abuse, ConnectionsCloseAfterTheAnswerWhenTheClientAsksSo) {
    TestService service;
    for (const QByteArray &request : {QByteArray("GET /api/health HTTP/1.0\r\n\r\n"),
                                      QByteArray("GET /api/health HTTP/1.1\r\nHost: x\r\n"
                                                 "Connection: close\r\n\r\n")}) {
        QElapsedTimer elapsed;
        elapsed.start();
        const QByteArray response = TestHttp::raw(service.port(), request);
        EXPECT_LT(elapsed.elapsed(), 1000)
            << "the connection stayed open: " << request.toStdString();
        EXPECT_TRUE(response.endsWith("{\"status\":\"ok\"}")) << response.toStdString();
    }
}
