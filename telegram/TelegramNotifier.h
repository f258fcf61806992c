#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QNetworkAccessManager;

// Sends one text message to one chat through the Telegram Bot API's sendMessage.
class TelegramNotifier final : public QObject {
    Q_OBJECT

public:
    struct Config {
        QString botToken;
        QString chatID;
    };
    using Completion = std::function<void(bool accepted)>;

    explicit TelegramNotifier(QObject *parent = nullptr);
    TelegramNotifier(const QString &apiBase, QObject *parent);

    void send(const QString &text, const Config &config, Completion completion = {});

private:
    QString m_apiBase;
    QNetworkAccessManager *m_network = nullptr;
};
