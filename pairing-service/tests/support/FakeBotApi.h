#pragma once
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QTcpServer>

class QTcpSocket;

// A Telegram Bot API on loopback: serves getUpdates from a queue (holding the request a short
// while when the queue is empty, like long polling does), records every call, and answers 404
// to any token but its own.
class FakeBotApi final : public QObject {
    Q_OBJECT
public:
    explicit FakeBotApi(QString token);
    ~FakeBotApi() override;
    QString baseUrl() const;

    struct Call {
        QString method;
        QJsonObject params;
    };
    struct Message {
        QString chatId;
        QString text;
    };

    // A text message from `chatId` as Telegram sends it, without its update_id.
    static QJsonObject textUpdate(qint64 chatId, const QString &text,
                                  const QString &chatType = QStringLiteral("private"));
    void queueText(qint64 chatId, const QString &text,
                   const QString &chatType = QStringLiteral("private")) {
        queueUpdate(textUpdate(chatId, text, chatType));
    }
    void queueUpdate(QJsonObject update);
    qsizetype queuedUpdates() const { return m_updates.size(); } // for the load run's report
    // Telegram numbers updates on, except after a week without any: then it starts anywhere.
    void setNextUpdateId(qint64 id) { m_nextUpdateId = id; }
    // The next `count` calls of `method` fail with this HTTP status.
    void failNext(const QString &method, int httpStatus, int count = 1) {
        m_failures.insert(method, {httpStatus, count});
    }

    const QList<Message> &messages() const { return m_messages; }
    QList<Call> calls(const QString &method) const;
    QString webhookUrl() const { return m_webhookUrl; }
    void setWebhookUrl(const QString &url) { m_webhookUrl = url; }
    qint64 lastOffset() const { return m_lastOffset; }

private:
    void onReadyRead(QTcpSocket *socket);
    void handle(QTcpSocket *socket, const QByteArray &path, const QByteArray &body);
    void answerUpdates(QTcpSocket *socket, qint64 offset);
    static void respond(QTcpSocket *socket, int status, const QJsonObject &body);

    QString m_token;
    QTcpServer m_server;
    QJsonArray m_updates;
    qint64 m_nextUpdateId = 1000;
    qint64 m_lastOffset = 0;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QTcpSocket *, qint64> m_waiting; // held getUpdates -> its offset
    QList<Call> m_calls;
    QList<Message> m_messages;
    QHash<QString, QPair<int, int>> m_failures; // method -> (status, count)
    QString m_webhookUrl;
};
