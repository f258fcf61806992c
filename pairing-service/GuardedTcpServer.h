#pragma once
#include "ServiceConfig.h"

#include <QTcpServer>

#include <optional>

namespace pairing {

// The listening socket in front of QHttpServer, which in Qt 6.4 buffers any request whole and
// has no timeouts. Each connection gets a read buffer just large enough for the largest
// allowed request (so nothing bigger is ever held in memory), a ConnectionGuard for the limits
// and deadlines, and the number of open connections is capped.
//
// A connection whose answer is held back for long (a device waiting for commands) can be
// parked: only a copy of its descriptor is kept until the answer is ready. A Qt socket costs
// some 20 kB and is looked at in every event loop iteration; thousands of waiting devices
// would otherwise slow every other request.
class GuardedTcpServer final : public QTcpServer {
    Q_OBJECT
public:
    explicit GuardedTcpServer(HttpLimits limits, QObject *parent = nullptr);
    ~GuardedTcpServer() override;
    int openConnections() const { return m_open + m_parked; }

    // Takes the connection of a request that waits for its answer out of the event loop and
    // returns its descriptor. Nothing when it cannot be parked: bytes still unread or unsent,
    // or the client closes after the answer.
    std::optional<qintptr> park(QTcpSocket *socket);
    // Serves a parked connection again, starting with `response` to the request it made.
    void resume(qintptr descriptor, const QByteArray &response);
    // Closes a parked connection without an answer.
    void drop(qintptr descriptor);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    // A socket for the descriptor with its guard, or nothing when refused or closed.
    QTcpSocket *accept(qintptr descriptor);
    QTcpSocket *adopt(qintptr descriptor);

    HttpLimits m_limits;
    int m_open = 0;
    int m_parked = 0;
};

} // namespace pairing
