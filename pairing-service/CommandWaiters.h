#pragma once
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
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
    // Sends the answer of a held poll: the commands, or nothing when the poll ends unanswered
    // (its client went away, or the service stops).
    using Answer = std::function<void(const std::optional<QJsonArray> &commands)>;

    CommandWaiters(int holdMs, Take take, QObject *parent = nullptr);
    ~CommandWaiters() override;

    // Answers when commands for the device arrive, or with none at the deadline. A poll on
    // `socket` ends unanswered when the socket disconnects; without one it waits regardless.
    void hold(const QString &tokenHash, Answer answer, QTcpSocket *socket = nullptr);
    // Commands were queued for the device: a waiting poll takes them.
    void wake(const QString &tokenHash);
    qsizetype waiting() const { return qsizetype(m_waiters.size()); }

    // What a poll answers: {"commands":[…]}.
    static QJsonObject body(const QJsonArray &commands);

private:
    struct Waiter {
        QString tokenHash;
        Answer answer;
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
