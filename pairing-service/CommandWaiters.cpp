#include "CommandWaiters.h"

#include <QTcpSocket>

namespace pairing {

CommandWaiters::CommandWaiters(int holdMs, Take take, QObject *parent)
    : QObject(parent)
    , m_holdMs(holdMs)
    , m_take(std::move(take)) {
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CommandWaiters::expire);
}

CommandWaiters::~CommandWaiters() {
    for (auto &[id, waiter] : m_waiters) {
        disconnect(waiter.closed);
        waiter.answer(std::nullopt);
    }
}

QJsonObject CommandWaiters::body(const QJsonArray &commands) {
    return {{QStringLiteral("commands"), commands}};
}

void CommandWaiters::hold(const QString &tokenHash, Answer answer, QTcpSocket *socket) {
    const quint64 id = m_nextId++;
    QMetaObject::Connection closed;
    // A client that goes away takes its poll along; its socket must not be written later.
    if (socket)
        closed = connect(socket, &QTcpSocket::disconnected, this,
                         [this, id] { finish(id, std::nullopt); });
    m_waiters.emplace(id, Waiter{tokenHash, std::move(answer), closed});
    m_byDevice.insert(tokenHash, id);
    m_deadlines.emplace_back(m_clock.elapsed() + m_holdMs, id);
    if (!m_timer.isActive())
        m_timer.start(m_holdMs);
}

void CommandWaiters::wake(const QString &tokenHash) {
    const auto it = m_byDevice.constFind(tokenHash);
    if (it == m_byDevice.cend())
        return;
    const quint64 id = it.value();
    const auto commands = m_take(tokenHash);
    if (commands && !commands->isEmpty())
        finish(id, commands);
}

void CommandWaiters::expire() {
    const qint64 now = m_clock.elapsed();
    while (!m_deadlines.empty() && m_deadlines.front().first <= now) {
        const quint64 id = m_deadlines.front().second;
        m_deadlines.pop_front();
        if (m_waiters.count(id))
            finish(id, QJsonArray());
    }
    if (!m_deadlines.empty())
        m_timer.start(int(m_deadlines.front().first - now));
}

// Answers with `commands`, or ends the poll unanswered when there are none to give.
void CommandWaiters::finish(quint64 id, const std::optional<QJsonArray> &commands) {
    const auto it = m_waiters.find(id);
    if (it == m_waiters.end())
        return;
    Waiter waiter = std::move(it->second);
    m_waiters.erase(it);
    disconnect(waiter.closed);
    m_byDevice.remove(waiter.tokenHash, id);
    waiter.answer(commands);
}

} // namespace pairing
