#pragma once
#include "BotTexts.h"
#include "FakeBotApi.h"
#include "ManualClock.h"
#include "PairingService.h"
#include "ServiceConfig.h"
#include "TestHttp.h"

#include <QMap>
#include <QTemporaryDir>

#include <memory>

inline const QString testBotToken =
    QStringLiteral("1234567890:AAtestTOKENnotREAL_abcdefghijklmnopq");

// One of the bot's texts, as the fake Bot API records it.
inline QString said(const char *botText) {
    return QString::fromUtf8(botText);
}

// An error answer: `status` and the JSON body {"error": error}.
void expectError(const TestHttp::Response &response, int status, const char *error);

// The real service on loopback with an SQLite file in a temporary directory, a fake Bot API and a
// manual clock. Settings are the service's own KORVELLA_PAIRING_* values.
class TestService {
public:
    // `overrides` are added to loopback defaults (port 0, temporary SQLite, the fake API).
    explicit TestService(const QMap<QString, QString> &overrides = {});

    FakeBotApi api{testBotToken};
    ManualClock clock;

    // Stops the service and starts it again on the same database, as a restart would.
    void restart();
    QString url(const QString &path) const;
    QString createCode();
    QJsonObject status(const QString &code);
    // Sends `text` to the bot from `chatId` and waits for the bot's answer to that chat.
    QString tell(qint64 chatId, const QString &text);
    // Posts `text` from `chatId` to the webhook, as Telegram would with these headers.
    TestHttp::Response deliver(qint64 chatId, const QString &text,
                               const TestHttp::Headers &headers);
    // Pairs a fresh code with `chatId` and returns the device token its status report carries.
    QString pairDevice(qint64 chatId);
    TestHttp::Response commands(const QString &token);
    quint16 port() const { return m_service->port(); }
    void purge() { m_service->purge(); }
    const QString &databasePath() const { return m_databasePath; }
    qsizetype waitingPolls() const { return m_service->waitingPolls(); }

    static QMap<QString, QString> defaults(const QString &apiBaseUrl, const QString &databasePath);

private:
    void startService();

    QTemporaryDir m_dir;
    QString m_databasePath;
    QMap<QString, QString> m_values;
    std::unique_ptr<pairing::PairingService> m_service;
};
