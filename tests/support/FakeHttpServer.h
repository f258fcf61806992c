#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// A loopback HTTP/1.1 server for tests. It listens on 127.0.0.1 on a free port from
// construction on, records every request and answers each with the next queued reply, or with
// the default reply (200, "{}") once the queue is empty.
//
//   FakeHttpServer server;
//   server.enqueue(FakeHttpServer::Reply::withStatus(500, R"({"code":"AB12"})"));
//   client.create(...);                       // pointed at server.baseUrl() + "/api"
//   ASSERT_TRUE(server.waitForRequests(1));
//   EXPECT_EQ(server.requests().first().path, "/api/create_pairing.php");
//
// Every reply carries "Connection: close" and the connection is closed after it, so no client
// keeps a connection to a server of an earlier test. Request bodies are read by Content-Length
// (chunked request bodies are not supported).
class FakeHttpServer final : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray target; // the request line's target, exactly as sent
        QByteArray path;   // the target before '?', still percent-encoded
        QByteArray query;  // the target after '?', still percent-encoded; empty when none
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    enum class Action {
        Respond,        // answer with status, headers and body
        DropConnection, // close the connection without answering
        SendRaw,        // write `raw` verbatim, then close
    };

    struct Reply {
        int status = 200;
        QByteArray body = "{}";
        QByteArray contentType = "application/json";
        int delayMs = 0; // wait this long after the request before acting
        Action action = Action::Respond;
        QByteArray raw;

        static Reply withStatus(int code, const QByteArray &body,
                                const QByteArray &contentType = "application/json") {
            Reply reply;
            reply.status = code;
            reply.body = body;
            reply.contentType = contentType;
            return reply;
        }
        static Reply json(const QByteArray &body) { return withStatus(200, body); }
        static Reply dropConnection() {
            Reply reply;
            reply.action = Action::DropConnection;
            return reply;
        }
        static Reply rawBytes(const QByteArray &bytes) {
            Reply reply;
            reply.action = Action::SendRaw;
            reply.raw = bytes;
            return reply;
        }
        Reply delayedBy(int ms) const {
            Reply reply = *this;
            reply.delayMs = ms;
            return reply;
        }
    };

    explicit FakeHttpServer(QObject *parent = nullptr);
    ~FakeHttpServer() override;

    quint16 port() const { return m_server->serverPort(); }
    QString baseUrl() const; // "http://127.0.0.1:<port>", no trailing slash

    void enqueue(const Reply &reply) { m_queue.enqueue(reply); }
    void setDefaultReply(const Reply &reply) { m_defaultReply = reply; }

    // Requests received so far, oldest first. Recording can be switched off for long runs.
    const QList<Request> &requests() const { return m_requests; }
    int requestCount() const { return m_requestCount; }
    void clearRequests() { m_requests.clear(); }
    void setRecording(bool recording) { m_recording = recording; }

    // Runs the event loop until `count` requests have arrived in total, or the time is up.
    bool waitForRequests(int count, int timeoutMs = 5000);

    // Stops listening; later connections are refused.
    void stopListening() { m_server->close(); }

private:
    void acceptConnections();
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Reply &reply);

    QTcpServer *m_server = nullptr;
    QQueue<Reply> m_queue;
    Reply m_defaultReply;
    QList<Request> m_requests;
    int m_requestCount = 0;
    bool m_recording = true;
};
