#pragma once

#include "telegram/HttpExchange.h"

#include <QObject>
#include <QString>
#include <functional>

// Sends one text message to one chat through the Telegram Bot API's sendMessage. It keeps
// nothing between sends; a send in flight runs to its end even if the notifier goes away, on the
// network access manager its owner hands in.
class TelegramNotifier final : public QObject {
    Q_OBJECT

public:
    struct Config {
        QString botToken;
        QString chatID;
    };
    // True only when the API answered with HTTP status 200; the reply body is not examined.
    using Completion = std::function<void(bool accepted)>;

    explicit TelegramNotifier(QNetworkAccessManager &network, QObject *parent = nullptr);
    TelegramNotifier(QNetworkAccessManager &network, const QString &apiBase, QObject *parent);

    // An empty token or chat id, or a token that cannot form a URL, completes with false before
    // send() returns and sends nothing. Every other outcome arrives later on the main thread.
    void send(const QString &text, const Config &config, Completion completion = {});

    const QString &apiBase() const { return m_apiBase; }
    void setApiBase(const QString &apiBase) { m_apiBase = apiBase; }
    void setTimeoutMs(int timeoutMs) { m_timeoutMs = timeoutMs; }

private:
    QNetworkAccessManager &m_network;
    QString m_apiBase;
    int m_timeoutMs = HttpExchange::defaultTimeoutMs;
};
