#pragma once
#include "ServiceConfig.h"

#include <QHash>
#include <QObject>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace pairing {

// One Qt SQL connection to SQLite or PostgreSQL: statements prepared once and kept, a dropped
// connection (a restarted PostgreSQL) reopened behind one failed statement, transactions, and
// PostgreSQL's LISTEN/NOTIFY for a channel.
class SqlConnection final {
public:
    explicit SqlConnection(DatabaseSettings settings);
    ~SqlConnection();
    SqlConnection(const SqlConnection &) = delete;
    SqlConnection &operator=(const SqlConnection &) = delete;

    // Connects and runs `schema`, statements that must be safe to repeat.
    bool open(const QStringList &schema, QString *error);
    bool isPostgres() const;

    // Runs a statement; nothing on failure, which is logged.
    std::optional<QSqlQuery> run(const QString &sql, const QVariantMap &bindings);
    // Runs `work` in one database transaction, committed only when it returns true.
    bool transaction(const std::function<bool()> &work);
    bool isReachable();

    // PostgreSQL only: `handler` gets the payload of every notification on `channel`, from any
    // connection, this one included; `notify` sends one at the end of the current transaction.
    void listen(const QString &channel, std::function<void(const QString &payload)> handler);
    void notify(const QString &channel, const QString &payload);

private:
    std::optional<QSqlQuery> runOnce(const QString &sql, const QVariantMap &bindings);
    bool createSchema(const QStringList &schema, QString *error);
    bool reconnect();
    void subscribe();

    DatabaseSettings m_settings;
    QString m_name;
    QHash<QString, QSqlQuery> m_prepared;
    bool m_inTransaction = false;
    QString m_channel;
    std::function<void(const QString &)> m_onNotification;
    QObject m_notificationContext; // ends the driver's notification connection with this object
};

} // namespace pairing
