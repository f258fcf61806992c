#include "FakeBotApi.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

FakeBotApi::FakeBotApi(QString token)
    : m_token(std::move(token)) {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_waiting.remove(socket);
                m_buffers.remove(socket);
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

QJsonObject FakeBotApi::textUpdate(qint64 chatId, const QString &text, const QString &chatType) {
    return {{"message", QJsonObject{{"message_id", 1},
                                    {"from", QJsonObject{{"id", chatId}, {"is_bot", false}}},
                                    {"chat", QJsonObject{{"id", chatId}, {"type", chatType}}},
                                    {"text", text}}}};
}

void FakeBotApi::queueUpdate(QJsonObject update) {
    update.insert(QStringLiteral("update_id"), m_nextUpdateId++);
    m_updates.append(update);
    for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it)
        answerUpdates(it.key(), it.value());
    m_waiting.clear();
}

QList<FakeBotApi::Call> FakeBotApi::calls(const QString &method) const {
    QList<Call> matching = m_calls;
    matching.removeIf([&](const Call &call) { return call.method != method; });
    return matching;
}

void FakeBotApi::onReadyRead(QTcpSocket *socket) {
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (qsizetype headEnd; (headEnd = buffer.indexOf("\r\n\r\n")) >= 0;) {
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        qsizetype length = 0;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < headEnd + 4 + length)
            return;
        const QByteArray body = buffer.mid(headEnd + 4, length);
        buffer.remove(0, headEnd + 4 + length);
        handle(socket, lines.first().split(' ').value(1), body);
    }
}

void FakeBotApi::handle(QTcpSocket *socket, const QByteArray &path, const QByteArray &body) {
    const QByteArray prefix = "/bot" + m_token.toUtf8() + '/';
    if (!path.startsWith(prefix))
        return respond(socket, 404, {{"ok", false}, {"error_code", 404}});
    const QString method = QString::fromUtf8(path.mid(prefix.size()));
    const QJsonDocument json = QJsonDocument::fromJson(body);
    QJsonObject params = json.object();
    // Like the real API, a form body is read as well: the desktop app sends those.
    if (!json.isObject()) {
        const QUrlQuery form(QString::fromUtf8(body));
        for (const auto &[name, value] : form.queryItems(QUrl::FullyDecoded))
            params.insert(name, value);
    }
    m_calls.append({method, params});

    auto failure = m_failures.find(method);
    if (failure != m_failures.end() && failure->second-- > 0)
        return respond(socket, failure->first, {{"ok", false}, {"error_code", failure->first}});
    QJsonValue result = true;
    if (method == QLatin1String("getUpdates")) {
        m_lastOffset = params.value(QStringLiteral("offset")).toInteger();
        m_waiting.insert(socket, m_lastOffset);
        // An early empty answer is what a long poll may give too, so a stale timer is harmless.
        QTimer::singleShot(150, socket, [this, socket] {
            if (m_waiting.contains(socket))
                answerUpdates(socket, m_waiting.take(socket));
        });
        for (const QJsonValue &update : std::as_const(m_updates)) {
            if (update.toObject().value(QStringLiteral("update_id")).toInteger() >= m_lastOffset)
                return answerUpdates(socket, m_waiting.take(socket));
        }
        return;
    }
    if (method == QLatin1String("sendMessage")) {
        m_messages.append({params.value(QStringLiteral("chat_id")).toVariant().toString(),
                           params.value(QStringLiteral("text")).toString()});
        result = QJsonObject{{"message_id", m_messages.size()}};
    } else if (method == QLatin1String("setWebhook")) {
        m_webhookUrl = params.value(QStringLiteral("url")).toString();
    } else if (method == QLatin1String("getWebhookInfo")) {
        result = QJsonObject{{"url", m_webhookUrl}};
    }
    respond(socket, 200, {{"ok", true}, {"result", result}});
}

void FakeBotApi::answerUpdates(QTcpSocket *socket, qint64 offset) {
    // Like Telegram: updates below the offset count as confirmed and are forgotten.
    QJsonArray remaining;
    for (const QJsonValue &update : std::as_const(m_updates)) {
        if (update.toObject().value(QStringLiteral("update_id")).toInteger() >= offset)
            remaining.append(update);
    }
    m_updates = remaining;
    respond(socket, 200, {{"ok", true}, {"result", m_updates}});
}

void FakeBotApi::respond(QTcpSocket *socket, int status, const QJsonObject &body) {
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                  " X\r\nContent-Type: application/json\r\nContent-Length: " +
                  QByteArray::number(json.size()) + "\r\n\r\n" + json);
}
