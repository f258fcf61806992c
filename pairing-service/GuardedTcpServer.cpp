#include "GuardedTcpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace pairing {

namespace {

QByteArray plainResponse(int status, const char *reason, const char *error) {
    const QByteArray body = QByteArrayLiteral("{\"error\":\"") + error + QByteArrayLiteral("\"}");
    return QByteArrayLiteral("HTTP/1.1 ") + QByteArray::number(status) + ' ' + reason +
           QByteArrayLiteral("\r\nContent-Type: application/json\r\nContent-Length: ") +
           QByteArray::number(body.size()) + QByteArrayLiteral("\r\nConnection: close\r\n\r\n") +
           body;
}

// Answers once and closes. What QHttpServer has not read yet is read away here, so it never
// parses the rejected request; reading stops as the socket closes.
void refuse(QTcpSocket *socket, const QByteArray &response) {
    socket->readAll();
    socket->write(response);
    socket->disconnectFromHost();
    QTimer::singleShot(2000, socket, &QTcpSocket::abort);
}

bool startsWithRequestLine(const QByteArray &data) {
    int i = 0;
    while (i < data.size() && i < 16 && data.at(i) >= 'A' && data.at(i) <= 'Z')
        ++i;
    return i >= 3 && i < data.size() && data.at(i) == ' ';
}

class ConnectionGuard final : public QObject {
public:
    ConnectionGuard(QTcpSocket *socket, const HttpLimits &limits)
        : QObject(socket)
        , m_socket(socket)
        , m_limits(limits) {
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
        // Connected before QHttpServer connects its own handler, so this runs first.
        connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::inspect);
        connect(socket, &QTcpSocket::bytesWritten, this, [this] {
            m_inRequest = false;
            m_deadline.start(m_limits.idleTimeoutMs);
            // WORKAROUND: QHttpServer 6.4 keeps every connection open, even when the client
            // asked to close it; a client reading until the end of the stream would hang.
            if (m_closeAfterAnswer && m_socket->bytesToWrite() == 0)
                m_socket->disconnectFromHost();
        });
        m_deadline.start(m_limits.idleTimeoutMs);
    }

private:
    void inspect() {
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            m_socket->readAll();
            return;
        }
        if (!m_inRequest) {
            // The clock runs from the first byte; trickling bytes do not extend it.
            m_inRequest = true;
            m_deadline.start(m_limits.requestTimeoutMs);
        }
        // What QHttpServer has not read yet. When it begins with a request line, this is the
        // head of a new request, and most heads arrive whole.
        const QByteArray view = m_socket->peek(m_limits.maxHeaderBytes + 4);
        if (!startsWithRequestLine(view))
            return;
        const qsizetype end = view.indexOf("\r\n\r\n");
        if (end < 0) {
            if (view.size() > m_limits.maxHeaderBytes)
                refuse(m_socket,
                       plainResponse(431, "Request Header Fields Too Large", "headers_too_large"));
            return;
        }
        checkHead(view.left(end));
    }

    void checkHead(const QByteArray &head) {
        const QList<QByteArray> lines = head.split('\n');
        m_closeAfterAnswer = lines.first().trimmed().endsWith("HTTP/1.0");
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray &line = lines.at(i);
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "connection") {
                const QByteArray options = value.toLower();
                if (options.contains("close"))
                    m_closeAfterAnswer = true;
                else if (options.contains("keep-alive"))
                    m_closeAfterAnswer = false;
            }
            if (name == "transfer-encoding") {
                // Chunked bodies have no size up front; nothing here needs them.
                refuse(m_socket, plainResponse(411, "Length Required", "length_required"));
                return;
            }
            if (name == "content-length") {
                bool ok = false;
                const qlonglong length = value.toLongLong(&ok);
                if (!ok || length < 0) {
                    refuse(m_socket, plainResponse(400, "Bad Request", "bad_request"));
                    return;
                }
                if (length > m_limits.maxBodyBytes) {
                    refuse(m_socket, plainResponse(413, "Payload Too Large", "body_too_large"));
                    return;
                }
            }
        }
    }

    QTcpSocket *m_socket;
    const HttpLimits m_limits;
    QTimer m_deadline;
    bool m_inRequest = false;
    bool m_closeAfterAnswer = false;
};

} // namespace

GuardedTcpServer::GuardedTcpServer(HttpLimits limits, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits) {}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_open >= m_limits.maxConnections) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        refuse(socket, plainResponse(503, "Service Unavailable", "too_many_connections"));
        return;
    }
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    // Room for the largest allowed request and no more: beyond it the socket stops reading,
    // and the request deadline closes the connection.
    socket->setReadBufferSize(m_limits.maxHeaderBytes + m_limits.maxBodyBytes + 4096);
    new ConnectionGuard(socket, m_limits);
    addPendingConnection(socket);
}

} // namespace pairing
