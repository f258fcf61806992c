#include "SqlConnection.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>
#include <QUuid>

namespace pairing {

namespace {

void logError(const char *what, const QSqlQuery &query) {
    qWarning("database: %s failed: %s", what, qPrintable(query.lastError().text()));
}

} // namespace

SqlConnection::SqlConnection(DatabaseSettings settings)
    : m_settings(std::move(settings))
    , m_name(QStringLiteral("korvella-pairing-") +
             QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

SqlConnection::~SqlConnection() {
    m_prepared.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

bool SqlConnection::isPostgres() const {
    return m_settings.driver == QLatin1String("QPSQL");
}

bool SqlConnection::open(const QStringList &schema, QString *error) {
    if (!QSqlDatabase::isDriverAvailable(m_settings.driver)) {
        *error = QStringLiteral("the Qt SQL driver %1 is not installed (Debian: %2)")
                     .arg(m_settings.driver, isPostgres() ? QStringLiteral("libqt6sql6-psql")
                                                          : QStringLiteral("libqt6sql6-sqlite"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(m_settings.driver, m_name);
    db.setDatabaseName(m_settings.databaseName);
    db.setHostName(m_settings.host);
    db.setPort(m_settings.port);
    db.setUserName(m_settings.user);
    db.setPassword(m_settings.password);
    db.setConnectOptions(m_settings.connectOptions);
    if (!db.open()) {
        *error = QStringLiteral("cannot open the %1: %2")
                     .arg(m_settings.describe(), db.lastError().text());
        return false;
    }
    if (isPostgres()) {
        // Otherwise every start prints PostgreSQL's notices that the tables already exist.
        QSqlQuery(db).exec(QStringLiteral("SET client_min_messages TO WARNING"));
    } else {
        // WAL lets readers and the writer overlap; NORMAL syncs at checkpoints, which keeps
        // every commit across a crash of this process (only a power cut can lose the last few).
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    return createSchema(schema, error);
}

bool SqlConnection::createSchema(const QStringList &schema, QString *error) {
    // Instances starting together on one PostgreSQL database can collide inside
    // CREATE ... IF NOT EXISTS; the loser just tries again.
    for (int attempt = 1;; ++attempt) {
        QSqlQuery query(QSqlDatabase::database(m_name));
        const auto failed = std::find_if(schema.cbegin(), schema.cend(),
                                         [&](const QString &sql) { return !query.exec(sql); });
        if (failed == schema.cend())
            return true;
        if (attempt == 3) {
            *error = QStringLiteral("cannot create the schema in the %1: %2")
                         .arg(m_settings.describe(), query.lastError().text());
            return false;
        }
        QThread::msleep(100 * attempt);
    }
}

void SqlConnection::listen(const QString &channel,
                           std::function<void(const QString &payload)> handler) {
    m_channel = channel;
    m_onNotification = std::move(handler);
    subscribe();
}

// A reopened connection has lost its subscription; this renews it.
void SqlConnection::subscribe() {
    if (!isPostgres() || m_channel.isEmpty())
        return;
    QSqlDriver *driver = QSqlDatabase::database(m_name, false).driver();
    if (!driver->subscribedToNotifications().contains(m_channel) &&
        !driver->subscribeToNotification(m_channel))
        qWarning("database: cannot listen on %s", qPrintable(m_channel));
    QObject::disconnect(driver, nullptr, &m_notificationContext, nullptr);
    QObject::connect(
        driver,
        qOverload<const QString &, QSqlDriver::NotificationSource, const QVariant &>(
            &QSqlDriver::notification),
        &m_notificationContext,
        [this](const QString &name, QSqlDriver::NotificationSource, const QVariant &payload) {
            if (name == m_channel && m_onNotification)
                m_onNotification(payload.toString());
        });
}

void SqlConnection::notify(const QString &channel, const QString &payload) {
    if (isPostgres())
        run(QStringLiteral("SELECT pg_notify(:channel, :payload)"),
            {{QStringLiteral(":channel"), channel}, {QStringLiteral(":payload"), payload}});
}

bool SqlConnection::reconnect() {
    m_prepared.clear();
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    db.close();
    if (!db.open()) {
        qWarning("database: reconnecting failed: %s", qPrintable(db.lastError().text()));
        return false;
    }
    qInfo("database: reconnected to the %s", qPrintable(m_settings.describe()));
    subscribe();
    return true;
}

std::optional<QSqlQuery> SqlConnection::runOnce(const QString &sql, const QVariantMap &bindings) {
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        if (!query.prepare(sql)) {
            logError("prepare", query);
            return std::nullopt;
        }
        it = m_prepared.insert(sql, query);
    }
    for (auto binding = bindings.cbegin(); binding != bindings.cend(); ++binding)
        it->bindValue(binding.key(), binding.value());
    if (!it->exec()) {
        logError("query", *it);
        m_prepared.erase(it);
        return std::nullopt;
    }
    return *it;
}

std::optional<QSqlQuery> SqlConnection::run(const QString &sql, const QVariantMap &bindings) {
    if (auto query = runOnce(sql, bindings))
        return query;
    // Inside a transaction a fresh connection would silently drop what came before.
    if (m_inTransaction)
        return std::nullopt;
    // A dropped database connection (a restarted PostgreSQL) fails once; a fresh connection and
    // one more try make that invisible to clients. Every statement here is safe to repeat.
    QSqlQuery probe(QSqlDatabase::database(m_name, false));
    if (probe.exec(QStringLiteral("SELECT 1")) || !reconnect())
        return std::nullopt;
    return runOnce(sql, bindings);
}

bool SqlConnection::transaction(const std::function<bool()> &work) {
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (!db.transaction()) {
        // A dropped connection fails here first; reconnecting makes the next try work.
        if (!isReachable() || !db.transaction())
            return false;
    }
    m_inTransaction = true;
    const bool done = work() && db.commit();
    m_inTransaction = false;
    if (!done) {
        db.rollback();
        qWarning("database: a transaction failed and was rolled back");
    }
    return done;
}

bool SqlConnection::isReachable() {
    return run(QStringLiteral("SELECT 1"), {}).has_value();
}

} // namespace pairing
