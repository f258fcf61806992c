#include "GuardedTcpServer.h"

#include "ConnectionGuard.h"

#include <QTcpSocket>

#include <fcntl.h>
#include <unistd.h>

namespace pairing {

GuardedTcpServer::GuardedTcpServer(HttpLimits limits, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits) {}

// Closing deletes the connections nobody took yet, whose count this object keeps: it must
// happen while this object is whole, not later in the base class's destructor.
GuardedTcpServer::~GuardedTcpServer() {
    close();
}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    if (QTcpSocket *socket = accept(descriptor))
        addPendingConnection(socket);
}

QTcpSocket *GuardedTcpServer::accept(qintptr descriptor) {
    QTcpSocket *socket = adopt(descriptor);
    if (!socket)
        return nullptr;
    if (openConnections() >= m_limits.maxConnections) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        ConnectionGuard::refuse(socket, 503, "Service Unavailable", "too_many_connections");
        return nullptr;
    }
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    // Room for the largest allowed request and no more: beyond it the socket stops reading,
    // and the request deadline closes the connection.
    socket->setReadBufferSize(m_limits.maxHeaderBytes + m_limits.maxBodyBytes + 4096);
    new ConnectionGuard(socket, m_limits);
    return socket;
}

QTcpSocket *GuardedTcpServer::adopt(qintptr descriptor) {
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(int(descriptor));
        return nullptr;
    }
    return socket;
}

std::optional<qintptr> GuardedTcpServer::park(QTcpSocket *socket) {
    const auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly);
    if (!guard || guard->closesAfterAnswer() || socket->bytesAvailable() > 0 ||
        socket->bytesToWrite() > 0 || socket->state() != QAbstractSocket::ConnectedState)
        return std::nullopt;
    const int copy = ::fcntl(int(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return std::nullopt;
    // From here the connection counts as parked, not as a socket of its own.
    disconnect(socket, &QObject::destroyed, this, nullptr);
    --m_open;
    ++m_parked;
    // Closes Qt's descriptor only: the copy keeps the connection open. QHttpServer deletes
    // the socket once the request handler returns.
    socket->abort();
    return copy;
}

void GuardedTcpServer::resume(qintptr descriptor, const QByteArray &response) {
    --m_parked;
    if (QTcpSocket *socket = accept(descriptor)) {
        socket->write(response);
        // QHttpServer takes it as a new connection; its next request is served as usual.
        addPendingConnection(socket);
        Q_EMIT newConnection();
    }
}

void GuardedTcpServer::drop(qintptr descriptor) {
    --m_parked;
    ::close(int(descriptor));
}

} // namespace pairing
