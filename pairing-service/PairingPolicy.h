#pragma once
#include <QString>
#include <QtGlobal>

#include <optional>

namespace pairing {

// How long codes live and what each one reads as over time.
struct PairingPolicy {
    qint64 codeLifetimeMs = 10 * 60 * 1000;
    // A code keeps answering "paired" this long after a status reply first reported it, so a
    // poll already in flight gets the same answer; afterwards it reads as unknown.
    qint64 pairedGraceMs = 60 * 1000;
    // A code that ran out (or was paired and never collected) reads "expired" this long, so a
    // late "/pair" gets a precise answer; afterwards it reads as unknown and is purged.
    qint64 expiredVisibleMs = 60 * 60 * 1000;
};

// One row of the codes table.
struct CodeRecord {
    QString code;
    qint64 createdAt = 0;
    qint64 expiresAt = 0;
    QString chatId;                    // empty until paired
    std::optional<qint64> deliveredAt; // first time a status reply reported "paired"
};

enum class CodeState { Pending, Paired, Expired, Gone };

CodeState codeStateAt(const CodeRecord &record, qint64 nowMs, const PairingPolicy &policy);

} // namespace pairing
