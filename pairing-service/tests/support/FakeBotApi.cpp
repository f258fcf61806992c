#include "FakeBotApi.h"

#include <QJsonDocument>
#include <QTcpSocket>

namespace {
constexpr int longPollHoldMs = 150;
}

FakeBotApi::FakeBotApi(QString token, QObject *parent)
    : QObject(parent)
    , m_token(std::move(token)) {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                m_waiting.removeIf(
                    [&](const Pending &pending) { return pending.socket == socket; });
                socket->deleteLater();
            });
        }
    });
}

FakeBotApi::~FakeBotApi() {
    // Sockets closing during destruction must not reach the members already gone.
    for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
        socket->disconnect(this);
}

QString FakeBotApi::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

qint64 FakeBotApi::queueText(qint64 chatId, const QString &text, const QString &chatType) {
    const qint64 id = m_nextUpdateId;
    queueUpdate(QJsonObject{
        {QStringLiteral("message"),
         QJsonObject{{QStringLiteral("message_id"), 1},
                     {QStringLiteral("from"), QJsonObject{{QStringLiteral("id"), chatId},
                                                          {QStringLiteral("is_bot"), false}}},
                     {QStringLiteral("chat"), QJsonObject{{QStringLiteral("id"), chatId},
                                                          {QStringLiteral("type"), chatType}}},
                     {QStringLiteral("text"), text}}}});
    return id;
}

void FakeBotApi::queueUpdate(QJsonObject update) {
    update.insert(QStringLiteral("update_id"), m_nextUpdateId++);
    m_updates.append(update);
    flushWaiting();
}

void FakeBotApi::failNext(const QString &method, int httpStatus, int count) {
    m_failures.insert(method, {httpStatus, count});
}

QList<FakeBotApi::Call> FakeBotApi::calls(const QString &method) const {
    QList<Call> matching;
    for (const Call &call : m_calls) {
        if (call.method == method)
            matching.append(call);
    }
    return matching;
}

void FakeBotApi::onReadyRead(QTcpSocket *socket) {
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        qsizetype length = 0;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < headEnd + 4 + length)
            return;
        const QByteArray path = lines.first().split(' ').value(1);
        const QByteArray body = buffer.mid(headEnd + 4, length);
        buffer.remove(0, headEnd + 4 + length);
        handle(socket, path, body);
    }
}

void FakeBotApi::handle(QTcpSocket *socket, const QByteArray &path, const QByteArray &body) {
    const QByteArray prefix = "/bot" + m_token.toUtf8() + '/';
    if (!path.startsWith(prefix)) {
        respond(socket, 404,
                {{QStringLiteral("ok"), false},
                 {QStringLiteral("error_code"), 404},
                 {QStringLiteral("description"), QStringLiteral("Not Found")}});
        return;
    }
    const QString method = QString::fromUtf8(path.mid(prefix.size()));
    const QJsonObject params = QJsonDocument::fromJson(body).object();
    m_calls.append({method, params});

    auto failure = m_failures.find(method);
    if (failure != m_failures.end() && failure->second > 0) {
        const int status = failure->first;
        if (--failure->second == 0)
            m_failures.erase(failure);
        respond(socket, status,
                {{QStringLiteral("ok"), false},
                 {QStringLiteral("error_code"), status},
                 {QStringLiteral("description"), QStringLiteral("scripted failure")}});
        return;
    }
    if (method == QLatin1String("getUpdates")) {
        const qint64 offset = params.value(QStringLiteral("offset")).toInteger();
        m_lastOffset = offset;
        if (hasUpdatesFrom(offset)) {
            answerUpdates(socket, offset);
            return;
        }
        auto *timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, socket, timer, offset] {
            m_waiting.removeIf([&](const Pending &pending) { return pending.socket == socket; });
            timer->deleteLater();
            answerUpdates(socket, offset);
        });
        timer->start(longPollHoldMs);
        m_waiting.append({socket, timer, offset});
        return;
    }
    QJsonValue result = true;
    if (method == QLatin1String("sendMessage")) {
        m_messages.append({params.value(QStringLiteral("chat_id")).toVariant().toString(),
                           params.value(QStringLiteral("text")).toString()});
        result = QJsonObject{{QStringLiteral("message_id"), m_messages.size()}};
    } else if (method == QLatin1String("setWebhook")) {
        m_webhookUrl = params.value(QStringLiteral("url")).toString();
    } else if (method == QLatin1String("getWebhookInfo")) {
        result = QJsonObject{{QStringLiteral("url"), m_webhookUrl}};
    }
    respond(socket, 200, {{QStringLiteral("ok"), true}, {QStringLiteral("result"), result}});
}

bool FakeBotApi::hasUpdatesFrom(qint64 offset) const {
    return std::any_of(m_updates.cbegin(), m_updates.cend(), [&](const QJsonValue &update) {
        return update.toObject().value(QStringLiteral("update_id")).toInteger() >= offset;
    });
}

void FakeBotApi::answerUpdates(QTcpSocket *socket, qint64 offset) {
    // Like Telegram: updates below the offset count as confirmed and are forgotten.
    QJsonArray remaining;
    for (const QJsonValue &update : std::as_const(m_updates)) {
        if (update.toObject().value(QStringLiteral("update_id")).toInteger() >= offset)
            remaining.append(update);
    }
    m_updates = remaining;
    respond(socket, 200, {{QStringLiteral("ok"), true}, {QStringLiteral("result"), m_updates}});
}

void FakeBotApi::flushWaiting() {
    const QList<Pending> waiting = std::exchange(m_waiting, {});
    for (const Pending &pending : waiting) {
        pending.timer->stop();
        pending.timer->deleteLater();
        answerUpdates(pending.socket, pending.offset);
    }
}

void FakeBotApi::respond(QTcpSocket *socket, int status, const QJsonObject &body) {
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                  " X\r\nContent-Type: application/json\r\n"
                  "Content-Length: " +
                  QByteArray::number(json.size()) + "\r\n\r\n" + json);
}
