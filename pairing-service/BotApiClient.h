#pragma once
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QNetworkReply;

namespace pairing {

// Calls the Telegram Bot API as the official bot. The token is part of every request URL and of
// nothing else; no error text that leaves this class contains it.
class BotApiClient final : public QObject {
    Q_OBJECT
public:
    struct Reply {
        bool ok = false;    // the Bot API answered {"ok": true}
        int httpStatus = 0; // 0 when no HTTP answer arrived
        QJsonValue result;
        QString error;             // what went wrong, for a log line
        int retryAfterSeconds = 0; // from a 429 answer
    };
    using Callback = std::function<void(const Reply &)>;

    BotApiClient(const QString &apiBase, const QString &token, QObject *parent = nullptr);

    // Posts `params` as JSON to the method. `callback` runs on this thread, unless this client
    // is destroyed first.
    QNetworkReply *call(const QString &method, const QJsonObject &params, int timeoutMs,
                        Callback callback);
    // Sends a text to a chat; when Telegram asks to slow down, tries once more as it says.
    void sendMessage(const QString &chatId, const QString &text);

private:
    void sendMessage(const QJsonObject &params, int attemptsLeft);
    Reply readReply(QNetworkReply *reply) const;

    QNetworkAccessManager m_network;
    QString m_apiBase;
    QString m_token;
};

} // namespace pairing
