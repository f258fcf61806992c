#pragma once
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpSocket>

#include <functional>

// One keep-alive connection that carries one request at a time.
class Connection final : public QObject {
public:
    using Done = std::function<void(Connection *, int status, const QByteArray &body, qint64 us)>;
    Connection(quint16 port, Done done)
        : m_done(std::move(done)) {
        connect(&m_socket, &QTcpSocket::readyRead, this, &Connection::read);
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(5000);
    }
    void send(const QByteArray &bytes) {
        m_timer.start();
        m_socket.write(bytes);
    }

private:
    void read() {
        m_buffer += m_socket.readAll();
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QByteArray head = m_buffer.left(headEnd).toLower();
        const qsizetype at = head.indexOf("content-length:");
        const qsizetype length =
            at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
        if (m_buffer.size() < headEnd + 4 + length)
            return;
        const int status = m_buffer.mid(9, 3).toInt();
        const QByteArray body = m_buffer.mid(headEnd + 4, length);
        m_buffer.remove(0, headEnd + 4 + length);
        m_done(this, status, body, m_timer.nsecsElapsed() / 1000);
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    QElapsedTimer m_timer;
    Done m_done;
};
