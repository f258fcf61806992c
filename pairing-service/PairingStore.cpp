#include "PairingStore.h"

#include "PairingCode.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QThread>
#include <QUuid>

namespace pairing {

namespace {

const QStringList schema = {
    QStringLiteral("CREATE TABLE IF NOT EXISTS pairing_codes ("
                   " code VARCHAR(16) NOT NULL PRIMARY KEY,"
                   " created_at BIGINT NOT NULL,"
                   " expires_at BIGINT NOT NULL,"
                   " chat_id VARCHAR(32),"
                   " paired_at BIGINT,"
                   " delivered_at BIGINT)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS pairing_codes_expires_at"
                   " ON pairing_codes (expires_at)"),
    QStringLiteral("CREATE TABLE IF NOT EXISTS bot_state ("
                   " name VARCHAR(64) NOT NULL PRIMARY KEY,"
                   " value BIGINT NOT NULL)"),
};

const QString offsetName = QStringLiteral("update_offset");
const QString offsetAtName = QStringLiteral("update_offset_at");

} // namespace

PairingStore::PairingStore(DatabaseSettings settings, PairingPolicy policy)
    : m_settings(std::move(settings))
    , m_policy(policy)
    , m_connectionName(QStringLiteral("korvella-pairing-") +
                       QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

PairingStore::~PairingStore() {
    m_prepared.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool PairingStore::open(QString *error) {
    if (!QSqlDatabase::isDriverAvailable(m_settings.driver)) {
        *error = QStringLiteral("the Qt SQL driver %1 is not installed (Debian: %2)")
                     .arg(m_settings.driver, m_settings.driver == QLatin1String("QPSQL")
                                                 ? QStringLiteral("libqt6sql6-psql")
                                                 : QStringLiteral("libqt6sql6-sqlite"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(m_settings.driver, m_connectionName);
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
    if (m_settings.driver == QLatin1String("QPSQL")) {
        // Otherwise every start prints PostgreSQL's notices that the tables already exist.
        QSqlQuery(db).exec(QStringLiteral("SET client_min_messages TO WARNING"));
    }
    if (m_settings.driver == QLatin1String("QSQLITE")) {
        // WAL lets readers and the writer overlap; NORMAL syncs at checkpoints, which keeps
        // every commit across a crash of this process (only a power cut can lose the last few).
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    return createSchema(error);
}

bool PairingStore::createSchema(QString *error) {
    // Instances starting together on one PostgreSQL database can collide inside
    // CREATE ... IF NOT EXISTS; the loser just tries again.
    for (int attempt = 1;; ++attempt) {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName);
        QSqlQuery query(db);
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

bool PairingStore::reconnect() {
    m_prepared.clear();
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    db.close();
    if (!db.open()) {
        qWarning("database: reconnecting failed: %s", qPrintable(db.lastError().text()));
        return false;
    }
    qInfo("database: reconnected to the %s", qPrintable(m_settings.describe()));
    return true;
}

std::optional<QSqlQuery> PairingStore::runOnce(const QString &sql, const QVariantMap &bindings) {
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
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

std::optional<QSqlQuery> PairingStore::run(const QString &sql, const QVariantMap &bindings) {
    if (auto query = runOnce(sql, bindings))
        return query;
    // A dropped database connection (a restarted PostgreSQL) fails once; a fresh connection and
    // one more try make that invisible to clients. Every statement here is safe to repeat.
    QSqlQuery probe(QSqlDatabase::database(m_connectionName, false));
    if (probe.exec(QStringLiteral("SELECT 1")) || !reconnect())
        return std::nullopt;
    return runOnce(sql, bindings);
}

void PairingStore::logError(const char *what, const QSqlQuery &query) const {
    qWarning("database: %s failed: %s", what, qPrintable(query.lastError().text()));
}

PairingStore::Created PairingStore::createCode(qint64 nowMs, int maxLiveCodes) {
    auto live = run(QStringLiteral("SELECT COUNT(*) FROM pairing_codes"
                                   " WHERE chat_id IS NULL AND expires_at > :now"),
                    {{QStringLiteral(":now"), nowMs}});
    if (!live || !live->next())
        return {Created::DatabaseError, {}};
    const qint64 liveCount = live->value(0).toLongLong();
    live->finish();
    if (liveCount >= maxLiveCodes)
        return {Created::TooManyLiveCodes, {}};

    // A collision among 31^8 codes is rare enough that a few tries always suffice.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QString code = PairingCode::generate();
        const auto insert =
            run(QStringLiteral("INSERT INTO pairing_codes (code, created_at, expires_at)"
                               " VALUES (:code, :now, :expires)"
                               " ON CONFLICT (code) DO NOTHING"),
                {{QStringLiteral(":code"), code},
                 {QStringLiteral(":now"), nowMs},
                 {QStringLiteral(":expires"), nowMs + m_policy.codeLifetimeMs}});
        if (!insert)
            return {Created::DatabaseError, {}};
        if (insert->numRowsAffected() == 1)
            return {Created::Ok, code};
    }
    return {Created::DatabaseError, {}};
}

std::optional<CodeRecord> PairingStore::find(const QString &code, bool *failed) {
    auto query = run(QStringLiteral("SELECT created_at, expires_at, chat_id, delivered_at"
                                    " FROM pairing_codes WHERE code = :code"),
                     {{QStringLiteral(":code"), code}});
    *failed = !query;
    if (!query || !query->next())
        return std::nullopt;
    CodeRecord record;
    record.code = code;
    record.createdAt = query->value(0).toLongLong();
    record.expiresAt = query->value(1).toLongLong();
    record.chatId = query->value(2).toString();
    if (!query->value(3).isNull())
        record.deliveredAt = query->value(3).toLongLong();
    query->finish();
    return record;
}

PairingStore::Status PairingStore::status(const QString &code, qint64 nowMs) {
    bool failed = false;
    const auto record = find(code, &failed);
    if (failed)
        return {Status::DatabaseError, {}};
    if (!record)
        return {Status::NotFound, {}};
    switch (codeStateAt(*record, nowMs, m_policy)) {
    case CodeState::Pending:
        return {Status::Pending, {}};
    case CodeState::Expired:
        return {Status::Expired, {}};
    case CodeState::Gone:
        return {Status::NotFound, {}};
    case CodeState::Paired:
        break;
    }
    if (!record->deliveredAt) {
        // Only the first report starts the window; a concurrent one on another instance
        // finds delivered_at already set and changes nothing.
        const auto mark = run(QStringLiteral("UPDATE pairing_codes SET delivered_at = :now"
                                             " WHERE code = :code AND delivered_at IS NULL"),
                              {{QStringLiteral(":now"), nowMs}, {QStringLiteral(":code"), code}});
        if (!mark)
            return {Status::DatabaseError, {}};
    }
    return {Status::Paired, record->chatId};
}

PairingStore::PairResult PairingStore::pair(const QString &code, const QString &chatId,
                                            qint64 nowMs) {
    // One conditional update decides who wins, across every instance on the database.
    const auto claim =
        run(QStringLiteral("UPDATE pairing_codes SET chat_id = :chat, paired_at = :now"
                           " WHERE code = :code AND chat_id IS NULL"
                           " AND expires_at > :now"),
            {{QStringLiteral(":chat"), chatId},
             {QStringLiteral(":now"), nowMs},
             {QStringLiteral(":code"), code}});
    if (!claim)
        return PairResult::DatabaseError;
    if (claim->numRowsAffected() == 1)
        return PairResult::Paired;

    bool failed = false;
    const auto record = find(code, &failed);
    if (failed)
        return PairResult::DatabaseError;
    if (!record)
        return PairResult::NotFound;
    switch (codeStateAt(*record, nowMs, m_policy)) {
    case CodeState::Gone:
        return PairResult::NotFound;
    case CodeState::Paired:
        return record->chatId == chatId ? PairResult::AlreadyPairedHere
                                        : PairResult::PairedElsewhere;
    case CodeState::Pending: // the claim above found it unpaired and unexpired: cannot happen
    case CodeState::Expired:
        break;
    }
    return PairResult::Expired;
}

std::optional<PairingStore::UpdateOffset> PairingStore::updateOffset() {
    auto query =
        run(QStringLiteral("SELECT name, value FROM bot_state WHERE name IN (:offset, :at)"),
            {{QStringLiteral(":offset"), offsetName}, {QStringLiteral(":at"), offsetAtName}});
    if (!query)
        return std::nullopt;
    UpdateOffset stored;
    while (query->next())
        (query->value(0).toString() == offsetName ? stored.offset : stored.savedAtMs) =
            query->value(1).toLongLong();
    query->finish();
    return stored;
}

bool PairingStore::setUpdateOffset(const UpdateOffset &offset) {
    const QString upsert =
        QStringLiteral("INSERT INTO bot_state (name, value) VALUES (:name, :value)"
                       " ON CONFLICT (name) DO UPDATE SET value = excluded.value");
    // Either write may fail alone; both halves then only make the offset look older or lower,
    // and an old or low offset repeats updates rather than losing any.
    return run(upsert, {{QStringLiteral(":name"), offsetAtName},
                        {QStringLiteral(":value"), offset.savedAtMs}})
               .has_value() &&
           run(upsert,
               {{QStringLiteral(":name"), offsetName}, {QStringLiteral(":value"), offset.offset}})
               .has_value();
}

int PairingStore::purge(qint64 nowMs) {
    const auto query = run(QStringLiteral("DELETE FROM pairing_codes"
                                          " WHERE delivered_at < :collected"
                                          " OR (delivered_at IS NULL AND expires_at < :forgotten)"),
                           {{QStringLiteral(":collected"), nowMs - m_policy.pairedGraceMs},
                            {QStringLiteral(":forgotten"), nowMs - m_policy.expiredVisibleMs}});
    return query ? query->numRowsAffected() : -1;
}

bool PairingStore::isReachable() {
    const auto query = run(QStringLiteral("SELECT 1"), {});
    return query.has_value();
}

} // namespace pairing
