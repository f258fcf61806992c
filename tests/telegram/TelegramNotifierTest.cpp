#include "telegram/TelegramNotifier.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/WaitUntil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QUrlQuery>
#include <gtest/gtest.h>
#include <optional>

namespace {

using Reply = FakeHttpServer::Reply;

constexpr char kToken[] = "1234567890:AAbbCCddEEffGGhhIIjjKKllMMnnOOppQQr";

class TelegramNotifierTest : public ::testing::Test {
protected:
    std::optional<bool> sendAndWait(const QString &text, const TelegramNotifier::Config &config) {
        return awaitOnce<bool>([&](auto done) { notifier.send(text, config, done); });
    }

    QString field(int index, const QString &name) const {
        const QUrlQuery form(QString::fromLatin1(server.requests().at(index).body));
        return form.queryItemValue(name, QUrl::FullyDecoded);
    }

    FakeHttpServer server;
    QNetworkAccessManager network;
    TelegramNotifier notifier{network, server.baseUrl(), nullptr};
    TelegramNotifier::Config config{kToken, "-1001234567890"};
};

TEST_F(TelegramNotifierTest, PostsTheFormToTheTokensSendMessagePath) {
    EXPECT_EQ(sendAndWait("[Korvella] 目前狀態：😴 睡著了（未啟動）", config), true);
    ASSERT_EQ(server.requests().size(), 1);
    const FakeHttpServer::Request &request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, QByteArray("/bot") + kToken + "/sendMessage");
    EXPECT_EQ(request.headers.value("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(field(0, "chat_id"), "-1001234567890");
    EXPECT_EQ(field(0, "text"), "[Korvella] 目前狀態：😴 睡著了（未啟動）");
    EXPECT_TRUE(request.body.startsWith("chat_id=-1001234567890&text=%5BKorvella%5D%20%E7%9B%AE"))
        << request.body.constData();
}

// Reserved characters cannot split a field, and a token cannot change the path or add a query;
// a blank token is sent as it is and left to the server to refuse.
TEST_F(TelegramNotifierTest, OddTextsAndCredentialsArriveIntact) {
    EXPECT_EQ(sendAndWait("1+1=2 & a+b [x]", {kToken, "123&text=x"}), true);
    EXPECT_EQ(QUrlQuery(QString::fromLatin1(server.requests().at(0).body)).queryItems().size(), 2);
    EXPECT_EQ(field(0, "chat_id"), "123&text=x");
    EXPECT_EQ(field(0, "text"), "1+1=2 & a+b [x]");

    EXPECT_EQ(sendAndWait("x", {"1:a/../../getMe?chat_id=9#f", "5"}), true);
    EXPECT_EQ(server.requests().at(1).target, "/bot1:a%2F..%2F..%2FgetMe%3Fchat_id=9%23f/"
                                              "sendMessage");
    EXPECT_TRUE(server.requests().at(1).query.isEmpty());

    server.enqueue(Reply::withStatus(404, R"({"ok":false})"));
    EXPECT_EQ(sendAndWait("x", {"   ", "5"}), false);
    EXPECT_EQ(server.requests().at(2).target, "/bot%20%20%20/sendMessage");
    EXPECT_EQ(server.requestCount(), 3);
}

TEST_F(TelegramNotifierTest, EmptyCredentialsFailAtOnceWithoutTraffic) {
    for (const TelegramNotifier::Config &empty :
         {TelegramNotifier::Config{"", "5"}, TelegramNotifier::Config{kToken, ""},
          TelegramNotifier::Config{"", ""}}) {
        std::optional<bool> result;
        notifier.send("x", empty, [&](bool accepted) { result = accepted; });
        EXPECT_EQ(result, false) << "the completion runs before send() returns";
    }
    TelegramNotifier unusable(network, "not a url", nullptr);
    std::optional<bool> result;
    unusable.send("x", config, [&](bool accepted) { result = accepted; });
    EXPECT_EQ(result, false);
    notifier.send("x", {"", "5"}); // no completion: nothing to call, nothing sent
    EXPECT_EQ(sendAndWait("y", config), true);
    EXPECT_EQ(server.requestCount(), 1) << "only the usable send went out";
}

TEST_F(TelegramNotifierTest, OnlyStatus200OverAWorkingTransportCounts) {
    server.enqueue(Reply::withStatus(200, "<html>not json"));
    EXPECT_EQ(sendAndWait("x", config), true);
    server.enqueue(Reply::withStatus(200, QByteArray(10 * 1024 * 1024, 'x')));
    EXPECT_EQ(sendAndWait("x", config), true) << "an oversized body is cut, not waited for";
    server.enqueue(Reply::withStatus(401, R"({"ok":false,"error_code":401})"));
    EXPECT_EQ(sendAndWait("x", config), false);
    server.enqueue(Reply::withStatus(500, R"({"ok":true})"));
    EXPECT_EQ(sendAndWait("x", config), false);
    server.enqueue(
        Reply::rawBytes("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n"
                        "Connection: close\r\n\r\n"));
    EXPECT_EQ(sendAndWait("x", config), false);
    EXPECT_EQ(server.requestCount(), 5) << "the redirect was not followed";

    // Qt's HTTP layer itself resends a request whose connection closed before any reply, so
    // the server drops every attempt.
    server.setDefaultReply(Reply::dropConnection());
    EXPECT_EQ(sendAndWait("dropped", config), false);
    EXPECT_LE(server.requestCount(), 5 + 3);
    server.setDefaultReply(Reply());
    server.enqueue(Reply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"ok\":"));
    EXPECT_EQ(sendAndWait("cut short", config), false);
    server.enqueue(Reply().delayedBy(3000));
    notifier.setTimeoutMs(300);
    EXPECT_EQ(sendAndWait("timed out", config), false);
    server.stopListening();
    EXPECT_EQ(sendAndWait("refused", config), false);
}

// A TLS server on 127.0.0.1 whose certificate no client trusts (a throwaway, self-signed one).
class UntrustedTlsServer {
public:
    UntrustedTlsServer() {
        const QString data = QStringLiteral(KORVELLA_TEST_SOURCE_DIR "/telegram/data/");
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(readPem<QSslCertificate>(data + "loopback-cert.pem"));
        tls.setPrivateKey(readPem<QSslKey>(data + "loopback-key.pem"));
        m_server.setSslConfiguration(tls);
        QObject::connect(&m_server, &QSslServer::pendingConnectionAvailable, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                QObject::connect(socket, &QIODevice::readyRead, socket,
                                 [this, socket] { m_decrypted += socket->readAll(); });
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString baseUrl() const {
        return QStringLiteral("https://127.0.0.1:%1").arg(m_server.serverPort());
    }
    const QByteArray &decrypted() const { return m_decrypted; }

private:
    template <typename T> static T readPem(const QString &path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        if constexpr (std::is_same_v<T, QSslKey>)
            return QSslKey(file.readAll(), QSsl::Rsa);
        else
            return QSslCertificate(file.readAll());
    }

    QSslServer m_server;
    QByteArray m_decrypted;
};

TEST_F(TelegramNotifierTest, UntrustedCertificateIsAFailureNotAWarning) {
    ASSERT_TRUE(QSslSocket::supportsSsl());
    UntrustedTlsServer tlsServer;
    TelegramNotifier tls(network, tlsServer.baseUrl(), nullptr);
    std::optional<bool> result;
    QElapsedTimer elapsed;
    elapsed.start();
    tls.send("x", config, [&](bool accepted) { result = accepted; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 10'000));
    EXPECT_EQ(result, false);
    EXPECT_LT(elapsed.elapsed(), 5000) << "the handshake failed; nothing waited for a timeout";
    EXPECT_TRUE(tlsServer.decrypted().isEmpty()) << "no request went over the untrusted link";
}

TEST_F(TelegramNotifierTest, ASendOutlivesItsNotifier) {
    std::optional<bool> result;
    {
        TelegramNotifier shortLived(network, server.baseUrl(), nullptr);
        shortLived.send("x", config, [&](bool accepted) { result = accepted; });
    }
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result, true);
}

TEST_F(TelegramNotifierTest, NeitherTokenNorChatIdReachesTheLog) {
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { messages << text; });
    server.enqueue(Reply::withStatus(401, "{}"));
    sendAndWait("x", config);
    server.enqueue(Reply::dropConnection());
    sendAndWait("x", config);
    server.stopListening();
    sendAndWait("x", config);
    qInstallMessageHandler(previous);
    for (const QString &message : messages) {
        EXPECT_FALSE(message.contains(kToken)) << message.toStdString();
        EXPECT_FALSE(message.contains("1001234567890")) << message.toStdString();
    }
}

} // namespace
