#pragma once
#include "PairingPolicy.h"

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace pairing {

// Bounds on what one HTTP connection may cost.
struct HttpLimits {
    int maxHeaderBytes = 8 * 1024;
    int maxBodyBytes = 64 * 1024;
    int requestTimeoutMs = 10 * 1000; // from a request's first byte to its answer
    int idleTimeoutMs = 60 * 1000;    // an open connection with no request
    int maxConnections = 512;
};

// Where the codes live: a Qt SQL driver name and its connection parameters.
struct DatabaseSettings {
    QString driver;       // "QSQLITE" or "QPSQL"
    QString databaseName; // file path for SQLite
    QString host;         // host name or socket directory; empty for SQLite
    int port = -1;
    QString user;
    QString password;
    QString connectOptions;

    // For log lines: everything but the password.
    QString describe() const;
};

// Token bucket: `burst` requests at once, refilled at `perMinute`. perMinute 0 means no limit.
struct RateLimit {
    int burst = 0;
    int perMinute = 0;
};

enum class UpdateMode { Polling, Webhook, Off };

struct ServiceConfig {
    QHostAddress listenAddress{QHostAddress::LocalHost};
    quint16 port = 8787;
    QString basePath = QStringLiteral("/api");
    DatabaseSettings database;
    QString botToken;
    QString botUsername;
    QString telegramApiBase = QStringLiteral("https://api.telegram.org");
    UpdateMode updates = UpdateMode::Polling;
    int pollTimeoutSeconds = 50;
    QString webhookPath;
    QString webhookSecret;
    QString webhookUrl;
    RateLimit createLimit{10, 3};
    RateLimit statusLimit{60, 120};
    RateLimit chatLimit{10, 6};
    int maxLiveCodes = 100000;
    HttpLimits http;
    bool remoteControl = true;
    int commandHoldMs = 25 * 1000; // how long a device's command poll waits for a command
    QList<QPair<QHostAddress, int>> trustedProxies;
    PairingPolicy policy;
};

namespace Config {
// Every KORVELLA_PAIRING_* variable of the process environment.
QMap<QString, QString> fromEnvironment();
// KEY=VALUE lines as systemd's EnvironmentFile= reads them: '#' comments, optional quotes.
std::optional<QMap<QString, QString>> fromFile(const QString &path, QString *error);
// Builds and checks the configuration; on failure returns nothing and explains in `errors`.
// Secrets never appear in the explanations.
std::optional<ServiceConfig> build(const QMap<QString, QString> &values, QStringList *errors);
// The usage text listing every key with its default.
QString keysHelp();
} // namespace Config

} // namespace pairing
