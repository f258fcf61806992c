#include "ConnectionGuard.h"

#include "HttpResponse.h"

#include <QTcpSocket>

namespace pairing {

namespace {

bool startsWithRequestLine(const QByteArray &data) {
    int i = 0;
    while (i < data.size() && i < 16 && data.at(i) >= 'A' && data.at(i) <= 'Z')
        ++i;
    return i >= 3 && i < data.size() && data.at(i) == ' ';
}

} // namespace

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, const HttpLimits &limits)
    : QObject(socket)
    , m_socket(socket)
    , m_limits(limits) {
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
    // Connected before QHttpServer connects its own handler, so this runs first.
    connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::inspect);
    // Emitted after every readyRead handler ran: what is still unread was seen already.
    connect(socket, &QTcpSocket::channelReadyRead, this,
            [this] { m_seen = m_socket->bytesAvailable(); });
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

// What QHttpServer has not read yet is read away here, so it never parses the rejected
// request; reading stops as the socket closes.
void ConnectionGuard::refuse(QTcpSocket *socket, int status, const char *reason,
                             const char *error) {
    socket->readAll();
    socket->write(
        jsonResponse(status, reason, QByteArrayLiteral("{\"error\":\"") + error + "\"}", true));
    socket->disconnectFromHost();
    QTimer::singleShot(2000, socket, &QTcpSocket::abort);
}

void ConnectionGuard::inspect() {
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        m_socket->readAll();
        return;
    }
    const qint64 available = m_socket->bytesAvailable();
    if (available <= m_seen) {
        m_seen = available;
        return;
    }
    if (!m_inRequest) {
        // The clock runs from the first byte; trickling bytes do not extend it.
        m_inRequest = true;
        m_deadline.start(m_limits.requestTimeoutMs);
    }
    const QByteArray fresh = m_socket->peek(available).mid(m_seen);
    m_seen = available;
    scan(fresh);
}

void ConnectionGuard::scan(const QByteArray &bytes) {
    for (qsizetype i = 0; i < bytes.size();) {
        if (m_bodyLeft > 0) {
            const qint64 take = std::min<qint64>(m_bodyLeft, bytes.size() - i);
            m_bodyLeft -= take;
            i += take;
            if (m_bodyLeft == 0)
                received();
            continue;
        }
        if (m_head.isEmpty() && (bytes.at(i) == '\r' || bytes.at(i) == '\n')) {
            ++i; // blank lines between requests are allowed
            continue;
        }
        const qsizetype before = m_head.size();
        m_head += bytes.mid(i, m_limits.maxHeaderBytes + 4 - before);
        const qsizetype end = m_head.indexOf("\r\n\r\n", std::max<qsizetype>(0, before - 3));
        if (end < 0) {
            i += m_head.size() - before;
            if (m_head.size() > m_limits.maxHeaderBytes)
                return refuseHead(431, "Request Header Fields Too Large", "headers_too_large");
            continue;
        }
        i += end + 4 - before;
        const QByteArray head = m_head.left(end);
        m_head.clear();
        if (!checkHead(head))
            return;
        if (m_bodyLeft == 0)
            received();
    }
}

// Not HTTP at all (a TLS hello, say) is dropped without an answer.
void ConnectionGuard::refuseHead(int status, const char *reason, const char *error) {
    if (startsWithRequestLine(m_head))
        refuse(m_socket, status, reason, error);
    else
        m_socket->abort();
}

// The request is in; its answer may be held back (a long poll), so the idle allowance
// applies until it is written.
void ConnectionGuard::received() {
    m_deadline.start(m_limits.idleTimeoutMs);
}

bool ConnectionGuard::checkHead(const QByteArray &head) {
    if (!startsWithRequestLine(head)) {
        m_socket->abort();
        return false;
    }
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
            refuse(m_socket, 411, "Length Required", "length_required");
            return false;
        }
        if (name == "content-length") {
            bool ok = false;
            const qlonglong length = value.toLongLong(&ok);
            if (!ok || length < 0) {
                refuse(m_socket, 400, "Bad Request", "bad_request");
                return false;
            }
            if (length > m_limits.maxBodyBytes) {
                refuse(m_socket, 413, "Payload Too Large", "body_too_large");
                return false;
            }
            m_bodyLeft = length;
        }
    }
    return true;
}

} // namespace pairing
