#include "PairingStore.h"

#include "PairingCode.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

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
    QStringLiteral("CREATE TABLE IF NOT EXISTS devices ("
                   " token_hash CHAR(64) NOT NULL PRIMARY KEY,"
                   " chat_id VARCHAR(32) NOT NULL,"
                   " created_at BIGINT NOT NULL)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS devices_chat_id ON devices (chat_id)"),
    QStringLiteral("CREATE TABLE IF NOT EXISTS device_commands ("
                   " id VARCHAR(40) NOT NULL PRIMARY KEY,"
                   " token_hash CHAR(64) NOT NULL,"
                   " command VARCHAR(16) NOT NULL,"
                   " argument VARCHAR(64) NOT NULL,"
                   " queued_at BIGINT NOT NULL,"
                   " expires_at BIGINT NOT NULL)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS device_commands_token_hash"
                   " ON device_commands (token_hash)"),
};

const QString commandsChannel = QStringLiteral("korvella_commands");
// A command nobody collected in this time is dropped: a stop sent long ago would surprise.
constexpr qint64 commandLifetimeMs = 5 * 60 * 1000;

const QString offsetName = QStringLiteral("update_offset");
const QString offsetAtName = QStringLiteral("update_offset_at");

} // namespace

PairingStore::PairingStore(DatabaseSettings settings, PairingPolicy policy)
    : m_db(std::move(settings))
    , m_policy(policy) {}

bool PairingStore::open(QString *error) {
    if (!m_db.open(schema, error))
        return false;
    m_db.listen(commandsChannel, [this](const QString &tokenHash) {
        if (m_onAnnounced)
            m_onAnnounced(tokenHash);
    });
    return true;
}

std::optional<QSqlQuery> PairingStore::run(const QString &sql, const QVariantMap &bindings) {
    return m_db.run(sql, bindings);
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

PairingStore::Status PairingStore::status(const QString &code, qint64 nowMs, bool withDevice) {
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
    if (!withDevice)
        return {Status::Paired, record->chatId};
    const auto token = addDevice(record->chatId, nowMs);
    if (!token)
        return {Status::DatabaseError, {}};
    return {Status::Paired, record->chatId, *token};
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

bool PairingStore::transaction(const std::function<bool()> &work) {
    return m_db.transaction(work);
}

QString PairingStore::tokenHash(const QString &token) {
    return QString::fromLatin1(
        QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

std::optional<QString> PairingStore::addDevice(const QString &chatId, qint64 nowMs) {
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    const QString token = QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    const auto insert = run(QStringLiteral("INSERT INTO devices (token_hash, chat_id, created_at)"
                                           " VALUES (:hash, :chat, :now)"),
                            {{QStringLiteral(":hash"), tokenHash(token)},
                             {QStringLiteral(":chat"), chatId},
                             {QStringLiteral(":now"), nowMs}});
    if (!insert)
        return std::nullopt;
    return token;
}

std::optional<QString> PairingStore::deviceChat(const QString &hash) {
    auto query = run(QStringLiteral("SELECT chat_id FROM devices WHERE token_hash = :hash"),
                     {{QStringLiteral(":hash"), hash}});
    if (!query)
        return std::nullopt;
    const QString chatId = query->next() ? query->value(0).toString() : QString();
    query->finish();
    return chatId;
}

std::optional<QStringList> PairingStore::queueCommand(const QString &chatId,
                                                      const Command &command) {
    auto devices = run(QStringLiteral("SELECT token_hash FROM devices WHERE chat_id = :chat"),
                       {{QStringLiteral(":chat"), chatId}});
    if (!devices)
        return std::nullopt;
    QStringList hashes;
    while (devices->next())
        hashes.append(devices->value(0).toString());
    devices->finish();
    for (const QString &hash : std::as_const(hashes)) {
        const auto insert =
            run(QStringLiteral("INSERT INTO device_commands"
                               " (id, token_hash, command, argument, queued_at, expires_at)"
                               " VALUES (:id, :hash, :command, :argument, :now, :expires)"),
                // Sorts in the order queued; the random end keeps instances from colliding.
                {{QStringLiteral(":id"),
                  QStringLiteral("%1-%2-%3")
                      .arg(command.queuedAt, 15, 10, QLatin1Char('0'))
                      .arg(m_commandSequence++, 10, 10, QLatin1Char('0'))
                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))},
                 {QStringLiteral(":hash"), hash},
                 {QStringLiteral(":command"), command.name},
                 // Empty, not NULL: the column holds text for every command.
                 {QStringLiteral(":argument"),
                  command.argument.isNull() ? QStringLiteral("") : command.argument},
                 {QStringLiteral(":now"), command.queuedAt},
                 {QStringLiteral(":expires"), command.queuedAt + commandLifetimeMs}});
        if (!insert)
            return std::nullopt;
    }
    return hashes;
}

std::optional<QList<PairingStore::Command>> PairingStore::takeCommands(const QString &hash,
                                                                       qint64 nowMs) {
    // One statement removes and reads, so two polls of one device never both get a command.
    auto query = run(QStringLiteral("DELETE FROM device_commands"
                                    " WHERE token_hash = :hash AND expires_at > :now"
                                    " RETURNING command, argument, queued_at, id"),
                     {{QStringLiteral(":hash"), hash}, {QStringLiteral(":now"), nowMs}});
    if (!query)
        return std::nullopt;
    QList<QPair<QString, Command>> taken;
    while (query->next())
        taken.append({query->value(3).toString(),
                      {query->value(0).toString(), query->value(1).toString(),
                       query->value(2).toLongLong()}});
    query->finish();
    std::sort(taken.begin(), taken.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<Command> commands;
    for (const auto &entry : std::as_const(taken))
        commands.append(entry.second);
    return commands;
}

std::optional<int> PairingStore::forgetChat(const QString &chatId) {
    const QVariantMap chat{{QStringLiteral(":chat"), chatId}};
    const bool ok = run(QStringLiteral("DELETE FROM device_commands WHERE token_hash IN"
                                       " (SELECT token_hash FROM devices WHERE chat_id = :chat)"),
                        chat) &&
                    run(QStringLiteral("DELETE FROM pairing_codes WHERE chat_id = :chat"), chat);
    const auto devices =
        ok ? run(QStringLiteral("DELETE FROM devices WHERE chat_id = :chat"), chat) : std::nullopt;
    if (!devices)
        return std::nullopt;
    return devices->numRowsAffected();
}

void PairingStore::announceCommands(const QStringList &tokenHashes) {
    // Sent at commit, so no instance looks for a command before it is stored.
    for (const QString &hash : tokenHashes)
        m_db.notify(commandsChannel, hash);
}

void PairingStore::onCommandsAnnounced(std::function<void(const QString &)> handler) {
    m_onAnnounced = std::move(handler);
}

int PairingStore::purge(qint64 nowMs) {
    run(QStringLiteral("DELETE FROM device_commands WHERE expires_at <= :now"),
        {{QStringLiteral(":now"), nowMs}});
    const auto query = run(QStringLiteral("DELETE FROM pairing_codes"
                                          " WHERE delivered_at < :collected"
                                          " OR (delivered_at IS NULL AND expires_at < :forgotten)"),
                           {{QStringLiteral(":collected"), nowMs - m_policy.pairedGraceMs},
                            {QStringLiteral(":forgotten"), nowMs - m_policy.expiredVisibleMs}});
    return query ? query->numRowsAffected() : -1;
}

bool PairingStore::isReachable() {
    return m_db.isReachable();
}

} // namespace pairing
