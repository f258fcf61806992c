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
    std::optional<bool> answeredWith(const Reply &reply) {
        server.enqueue(reply);
        return sendAndWait("x", config);
    }

    FakeHttpServer server;
    QNetworkAccessManager network;
    TelegramNotifier notifier{network, server.baseUrl(), nullptr};
    TelegramNotifier::Config config{kToken, "-1001234567890"};
};

// Reserved characters cannot split a field, and a token cannot change the path or add a query; a
// blank token is sent as it is and left to the server to refuse.
TEST_F(TelegramNotifierTest, PostsAnIntactFormToTheTokensSendMessagePath) {
    EXPECT_EQ(sendAndWait("[Korvella] 1+1=2 & 中", {kToken, "-100&text=x"}), true);
    ASSERT_EQ(server.requests().size(), 1);
    const FakeHttpServer::Request &request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, QByteArray("/bot") + kToken + "/sendMessage");
    EXPECT_EQ(request.headers.value("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.body,
              "chat_id=-100%26text%3Dx&text=%5BKorvella%5D%201%2B1%3D2%20%26%20%E4%B8%AD");

    EXPECT_EQ(sendAndWait("x", {"1:a/../../getMe?chat_id=9#f", "5"}), true);
    EXPECT_EQ(server.requests().at(1).target,
              "/bot1:a%2F..%2F..%2FgetMe%3Fchat_id=9%23f/sendMessage");
    server.enqueue(Reply::withStatus(404, R"({"ok":false})"));
    EXPECT_EQ(sendAndWait("x", {"   ", "5"}), false);
    EXPECT_EQ(server.requests().at(2).target, "/bot%20%20%20/sendMessage");
}

TEST_F(TelegramNotifierTest, EmptyCredentialsFailAtOnceWithoutTraffic) {
    TelegramNotifier unusable(network, "not a url", nullptr);
    for (const auto &[sender, credentials] :
         {std::pair{&notifier, TelegramNotifier::Config{"", "5"}},
          std::pair{&notifier, TelegramNotifier::Config{kToken, ""}},
          std::pair{&unusable, config}}) {
        std::optional<bool> result;
        sender->send("x", credentials, [&](bool accepted) { result = accepted; });
        EXPECT_EQ(result, false) << "the completion runs before send() returns";
    }
    notifier.send("x", {"", "5"}); // no completion: nothing to call, nothing sent
    EXPECT_EQ(sendAndWait("y", config), true);
    EXPECT_EQ(server.requestCount(), 1) << "only the usable send went out";
}

// Also: a send outlives its notifier, and no outcome logs the token or the chat id.
TEST_F(TelegramNotifierTest, OnlyStatus200OverAWorkingTransportCountsAndNothingLogsASecret) {
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { messages << text; });
    EXPECT_EQ(awaitOnce<bool>([&](auto done) {
                  TelegramNotifier(network, server.baseUrl(), nullptr).send("x", config, done);
              }),
              true)
        << "the send outlives its notifier";
    EXPECT_EQ(answeredWith(Reply::withStatus(200, "<html>not json")), true);
    EXPECT_EQ(answeredWith(Reply::withStatus(200, QByteArray(10 * 1024 * 1024, 'x'))), true)
        << "an oversized body is cut, not waited for";
    for (const int status : {201, 401, 500})
        EXPECT_EQ(answeredWith(Reply::withStatus(status, R"({"ok":true})")), false) << status;
    EXPECT_EQ(answeredWith(Reply::rawBytes("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n"
                                           "Content-Length: 0\r\nConnection: close\r\n\r\n")),
              false);
    EXPECT_EQ(server.requestCount(), 7) << "the redirect was not followed";
    EXPECT_EQ(answeredWith(Reply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{")),
              false);
    notifier.setTimeoutMs(300);
    EXPECT_EQ(answeredWith(Reply().delayedBy(3000)), false);
    // Qt resends a request whose connection closed before any reply, so drop every attempt.
    server.setDefaultReply(Reply::dropConnection());
    EXPECT_EQ(sendAndWait("dropped", config), false);
    server.stopListening();
    EXPECT_EQ(sendAndWait("refused", config), false);
    qInstallMessageHandler(previous);
    for (const QString &message : messages) {
        EXPECT_FALSE(message.contains(kToken)) << message.toStdString();
        EXPECT_FALSE(message.contains("1001234567890")) << message.toStdString();
    }
}

// A TLS server on 127.0.0.1 whose certificate no client trusts (a throwaway, self-signed one).
class UntrustedTlsServer {
public:
    UntrustedTlsServer() {
        const QString data = QStringLiteral(KORVELLA_TEST_SOURCE_DIR "/telegram/data/");
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate(read(data + "loopback-cert.pem")));
        tls.setPrivateKey(QSslKey(read(data + "loopback-key.pem"), QSsl::Rsa));
        m_server.setSslConfiguration(tls);
        QObject::connect(&m_server, &QSslServer::pendingConnectionAvailable, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                QObject::connect(socket, &QIODevice::readyRead, socket,
                                 [this, socket] { decrypted += socket->readAll(); });
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString baseUrl() const {
        return "https://127.0.0.1:" + QString::number(m_server.serverPort());
    }
    QByteArray decrypted;

private:
    static QByteArray read(const QString &path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        return file.readAll();
    }
    QSslServer m_server;
};

TEST_F(TelegramNotifierTest, UntrustedCertificateIsAFailureNotAWarning) {
    ASSERT_TRUE(QSslSocket::supportsSsl());
    UntrustedTlsServer tlsServer;
    TelegramNotifier tls(network, tlsServer.baseUrl(), nullptr);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(awaitOnce<bool>([&](auto done) { tls.send("x", config, done); }), false);
    EXPECT_LT(elapsed.elapsed(), 5000) << "the handshake failed; nothing waited for a timeout";
    EXPECT_TRUE(tlsServer.decrypted.isEmpty()) << "no request went over the untrusted link";
}

} // namespace
