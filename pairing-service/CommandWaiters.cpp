#include "CommandWaiters.h"

#include <QJsonDocument>
#include <QJsonObject>
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
    for (auto &[id, waiter] : m_waiters)
        disconnect(waiter.closed);
}

void CommandWaiters::write(QHttpServerResponder &responder, const QJsonArray &commands) {
    const QJsonObject body{{QStringLiteral("commands"), commands}};
    responder.write(QJsonDocument(body).toJson(QJsonDocument::Compact),
                    {{"Content-Type", "application/json"}, {"Cache-Control", "no-store"}},
                    QHttpServerResponder::StatusCode::Ok);
}

void CommandWaiters::hold(const QString &tokenHash, QHttpServerResponder &&responder,
                          QTcpSocket *socket) {
    const quint64 id = m_nextId++;
    // A client that goes away takes its poll along; its socket must not be written later.
    const auto closed =
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { finish(id, std::nullopt); });
    m_waiters.emplace(id, Waiter{tokenHash, std::move(responder), closed});
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

// Answers with `commands`, or drops the poll silently when there are none to give.
void CommandWaiters::finish(quint64 id, const std::optional<QJsonArray> &commands) {
    const auto it = m_waiters.find(id);
    if (it == m_waiters.end())
        return;
    Waiter waiter = std::move(it->second);
    m_waiters.erase(it);
    disconnect(waiter.closed);
    m_byDevice.remove(waiter.tokenHash, id);
    if (commands)
        write(waiter.responder, *commands);
}

} // namespace pairing
