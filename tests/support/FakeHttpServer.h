#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// A loopback HTTP/1.1 server: records every request and answers it with the next queued reply,
// or the default reply (200, "{}") once the queue is empty. Every reply closes its connection,
// so no client keeps one to the server of an earlier test. Bodies are read by Content-Length.
class FakeHttpServer final : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray target;                    // the request line's target, exactly as sent
        QByteArray path;                      // before '?', still percent-encoded
        QByteArray query;                     // after '?', still percent-encoded
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    enum class Action { Respond, DropConnection, SendRaw };

    struct Reply {
        int status = 200;
        QByteArray body = "{}"; // SendRaw writes it verbatim, as the whole answer
        Action action = Action::Respond;
        int delayMs = 0; // wait this long after the request before acting

        static Reply withStatus(int code, const QByteArray &body) { return {code, body}; }
        static Reply json(const QByteArray &body) { return {.body = body}; }
        static Reply dropConnection() { return {.body = {}, .action = Action::DropConnection}; }
        static Reply rawBytes(const QByteArray &bytes) { return {0, bytes, Action::SendRaw}; }
        Reply delayedBy(int ms) const { return {status, body, action, ms}; }
    };

    explicit FakeHttpServer(QObject *parent = nullptr);

    QString baseUrl() const; // "http://127.0.0.1:<port>", no trailing slash
    void enqueue(const Reply &reply) { m_queue.enqueue(reply); }
    void setDefaultReply(const Reply &reply) { m_defaultReply = reply; }

    // Requests received so far, oldest first. Long runs (the soak benchmark) switch it off.
    const QList<Request> &requests() const { return m_requests; }
    void setRecording(bool recording) { m_recording = recording; }
    int requestCount() const { return int(m_requests.size()); }
    // Runs the event loop until `count` requests have arrived in total, or the time is up.
    bool waitForRequests(int count, int timeoutMs = 5000);
    // Later connections are refused.
    void stopListening() { m_server->close(); }

private:
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Reply &reply);

    QTcpServer *m_server = nullptr;
    QQueue<Reply> m_queue;
    Reply m_defaultReply;
    QList<Request> m_requests;
    bool m_recording = true;
};
