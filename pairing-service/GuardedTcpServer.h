#pragma once
#include "ServiceConfig.h"

#include <QTcpServer>

namespace pairing {

// The listening socket in front of QHttpServer, which in Qt 6.4 buffers any request whole and
// has no timeouts. Each connection gets a read buffer just large enough for the largest
// allowed request (so nothing bigger is ever held in memory), a deadline for each request and
// for idling, an early 413/431/411 answer when a request head already shows it is too big,
// the connection closed after the answer when the client asked for that (HTTP/1.0 or
// "Connection: close"), and the number of open connections capped.
class GuardedTcpServer final : public QTcpServer {
    Q_OBJECT
public:
    explicit GuardedTcpServer(HttpLimits limits, QObject *parent = nullptr);
    int openConnections() const { return m_open; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    HttpLimits m_limits;
    int m_open = 0;
};

} // namespace pairing
