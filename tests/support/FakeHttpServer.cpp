#include "tests/support/FakeHttpServer.h"

#include "tests/support/WaitUntil.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <optional>

namespace {
constexpr char kBufferProperty[] = "fakeHttpBuffer";

// Takes one complete request off the front of `buffer`, or nothing while it is incomplete.
std::optional<FakeHttpServer::Request> takeRequest(QByteArray &buffer) {
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return {};
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() < 2)
        return {};
    FakeHttpServer::Request request;
    request.method = requestLine.at(0);
    request.target = requestLine.at(1);
    const qsizetype question = request.target.indexOf('?');
    request.path = request.target.left(question < 0 ? request.target.size() : question);
    request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
    for (const QByteArray &line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.insert(line.left(colon).trimmed().toLower(),
                                   line.mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() < headerEnd + 4 + length)
        return {};
    request.body = buffer.mid(headerEnd + 4, length);
    buffer.remove(0, headerEnd + 4 + length);
    return request;
}
} // namespace

FakeHttpServer::FakeHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this)) {
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString FakeHttpServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort());
}

bool FakeHttpServer::waitForRequests(int count, int timeoutMs) {
    return waitUntil([&] { return m_requests.size() >= count; }, timeoutMs);
}

void FakeHttpServer::readFrom(QTcpSocket *socket) {
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    std::optional<Request> request = takeRequest(buffer);
    socket->setProperty(kBufferProperty, buffer);
    if (!request)
        return;
    if (m_recording)
        m_requests.append(*request);
    const Reply reply = m_queue.isEmpty() ? m_defaultReply : m_queue.dequeue();
    if (reply.delayMs <= 0)
        return answer(socket, reply);
    QTimer::singleShot(reply.delayMs, socket, [this, socket, reply] { answer(socket, reply); });
}

void FakeHttpServer::answer(QTcpSocket *socket, const Reply &reply) {
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (reply.action == Action::DropConnection)
        return socket->abort();
    if (reply.action == Action::SendRaw)
        socket->write(reply.body);
    else // clients go by the status code alone; the reason phrase is a fixed word
        socket->write("HTTP/1.1 " + QByteArray::number(reply.status) +
                      " Status\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n" +
                      reply.body);
    socket->disconnectFromHost();
}
