#pragma once
#include "ServiceConfig.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace pairing {

// Follows the byte stream of one connection request by request, counting each head up to its
// blank line and then the body its Content-Length declares, so the limits hold however the
// requests are split into segments or pipelined. It reads nothing itself: it looks at what
// arrived before QHttpServer reads it. A child of its socket.
class ConnectionGuard final : public QObject {
    Q_OBJECT
public:
    ConnectionGuard(QTcpSocket *socket, const HttpLimits &limits);

    // The client asked to close after the answer (HTTP/1.0 or "Connection: close").
    bool closesAfterAnswer() const { return m_closeAfterAnswer; }

    // Answers once with a JSON error and closes.
    static void refuse(QTcpSocket *socket, int status, const char *reason, const char *error);

private:
    void inspect();
    void scan(const QByteArray &bytes);
    void refuseHead(int status, const char *reason, const char *error);
    void received();
    bool checkHead(const QByteArray &head);

    QTcpSocket *m_socket;
    const HttpLimits m_limits;
    QTimer m_deadline;
    bool m_inRequest = false;
    bool m_closeAfterAnswer = false;
    qint64 m_seen = 0;     // unread bytes already scanned
    QByteArray m_head;     // the current request head so far
    qint64 m_bodyLeft = 0; // body bytes of the current request still to come
};

} // namespace pairing
