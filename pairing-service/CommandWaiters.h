#pragma once
#include <QElapsedTimer>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QMultiHash>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>
#include <unordered_map>

class QTcpSocket;

namespace pairing {

// The long polls of devices waiting for commands. Every poll is held for the same time, so
// deadlines expire in arrival order and one timer serves them all, however many wait.
class CommandWaiters final : public QObject {
    Q_OBJECT
public:
    // Removes and returns the device's queued commands; nothing on a database error.
    using Take = std::function<std::optional<QJsonArray>(const QString &tokenHash)>;

    CommandWaiters(int holdMs, Take take, QObject *parent = nullptr);
    ~CommandWaiters() override;

    // Answers through `responder` when commands for the device arrive, or empty at the deadline.
    void hold(const QString &tokenHash, QHttpServerResponder &&responder, QTcpSocket *socket);
    // Commands were queued for the device: a waiting poll takes them.
    void wake(const QString &tokenHash);
    qsizetype waiting() const { return qsizetype(m_waiters.size()); }

    static void write(QHttpServerResponder &responder, const QJsonArray &commands);

private:
    struct Waiter {
        QString tokenHash;
        QHttpServerResponder responder;
        QMetaObject::Connection closed;
    };
    void expire();
    void finish(quint64 id, const std::optional<QJsonArray> &commands);

    int m_holdMs;
    Take m_take;
    std::unordered_map<quint64, Waiter> m_waiters;
    QMultiHash<QString, quint64> m_byDevice;
    std::deque<std::pair<qint64, quint64>> m_deadlines; // (deadline, waiter), oldest first
    QElapsedTimer m_clock;
    QTimer m_timer;
    quint64 m_nextId = 0;
};

} // namespace pairing
