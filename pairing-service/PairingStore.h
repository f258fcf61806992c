#pragma once
#include "PairingPolicy.h"
#include "ServiceConfig.h"

#include <QHash>
#include <QSqlQuery>
#include <QString>
#include <QVariantMap>

#include <optional>

namespace pairing {

// The pairing codes and the bot's update offset, in SQLite or PostgreSQL through Qt SQL, with
// the same statements for both. Every answer is computed from stored timestamps and the
// caller's `now`, so instances sharing one database agree, and purging is only housekeeping.
class PairingStore final {
public:
    PairingStore(DatabaseSettings settings, PairingPolicy policy);
    ~PairingStore();
    PairingStore(const PairingStore &) = delete;
    PairingStore &operator=(const PairingStore &) = delete;

    // Connects and creates the schema when it is missing.
    bool open(QString *error);

    struct Created {
        enum Kind { Ok, TooManyLiveCodes, DatabaseError } kind;
        QString code;
    };
    Created createCode(qint64 nowMs, int maxLiveCodes);

    struct Status {
        enum Kind { Pending, Paired, Expired, NotFound, DatabaseError } kind;
        QString chatId;
    };
    // Reading "paired" starts the short window after which the code is used up.
    Status status(const QString &code, qint64 nowMs);

    enum class PairResult {
        Paired,
        AlreadyPairedHere,
        PairedElsewhere,
        Expired,
        NotFound,
        DatabaseError
    };
    PairResult pair(const QString &code, const QString &chatId, qint64 nowMs);

    // Where getUpdates goes on: the next update id wanted, and when that was last stored.
    struct UpdateOffset {
        qint64 offset = 0;
        qint64 savedAtMs = 0;
    };
    std::optional<UpdateOffset> updateOffset();
    bool setUpdateOffset(const UpdateOffset &offset);

    // Deletes rows that can only read as unknown any more; returns how many, or -1.
    int purge(qint64 nowMs);
    bool isReachable();

private:
    std::optional<QSqlQuery> run(const QString &sql, const QVariantMap &bindings);
    std::optional<QSqlQuery> runOnce(const QString &sql, const QVariantMap &bindings);
    std::optional<CodeRecord> find(const QString &code, bool *failed);
    bool createSchema(QString *error);
    bool reconnect();
    void logError(const char *what, const QSqlQuery &query) const;

    DatabaseSettings m_settings;
    PairingPolicy m_policy;
    QString m_connectionName;
    QHash<QString, QSqlQuery> m_prepared;
};

} // namespace pairing
