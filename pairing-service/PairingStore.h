#pragma once
#include "PairingPolicy.h"
#include "ServiceConfig.h"
#include "SqlConnection.h"

#include <QSqlQuery>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace pairing {

// The pairing codes, the paired devices with their queued commands, and the bot's update offset, in
// SQLite or PostgreSQL through Qt SQL, with the same statements for both. Every answer is computed
// from stored timestamps and the caller's `now`, so instances sharing one database agree, and
// purging is only housekeeping.
class PairingStore final {
public:
    PairingStore(DatabaseSettings settings, PairingPolicy policy);

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
        QString deviceToken = {};
    };
    // Reading "paired" starts the short window after which the code is used up, and each such
    // reading pairs a new device: a reply lost on the way still leaves the next poll a token.
    Status status(const QString &code, qint64 nowMs, bool withDevice = true);

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

    // Runs `work` in one database transaction, committed only when it returns true, so an
    // update's effects and the offset that marks it handled are stored together or not at all.
    bool transaction(const std::function<bool()> &work);

    // A device paired with `chatId`: returns its new token, of which only a hash is kept.
    std::optional<QString> addDevice(const QString &chatId, qint64 nowMs);
    static QString tokenHash(const QString &token);
    // The chat a device token hash belongs to: empty for an unknown or revoked one.
    std::optional<QString> deviceChat(const QString &tokenHash);

    struct Command {
        QString name;
        QString argument;
        qint64 queuedAt = 0;
    };
    // Queues a command for every device of the chat; returns their token hashes.
    std::optional<QStringList> queueCommand(const QString &chatId, const Command &command);
    // Removes and returns the device's unexpired commands, oldest first: each is handed out once,
    // whichever instance asks.
    std::optional<QList<Command>> takeCommands(const QString &tokenHash, qint64 nowMs);
    // Revokes the chat's devices and forgets everything stored about the chat; returns how many
    // devices it had.
    std::optional<int> forgetChat(const QString &chatId);
    // PostgreSQL only: tells every instance (this one included) that a device has commands.
    void announceCommands(const QStringList &tokenHashes);
    void onCommandsAnnounced(std::function<void(const QString &tokenHash)> handler);

    // Deletes rows that can only read as unknown any more; returns how many, or -1.
    int purge(qint64 nowMs);
    bool isReachable();

private:
    std::optional<QSqlQuery> run(const QString &sql, const QVariantMap &bindings);
    std::optional<CodeRecord> find(const QString &code, bool *failed);

    SqlConnection m_db;
    PairingPolicy m_policy;
    quint64 m_commandSequence = 0;
    std::function<void(const QString &)> m_onAnnounced;
};

} // namespace pairing
