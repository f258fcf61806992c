#pragma once

#include "platform/PowerAssertions.h"

#include <QMap>
#include <QStringList>

// Hands out increasing identifiers and tracks which assertions are held. Answers at once unless
// `answerLater` is set; answer() then settles an assertion as a slow service would.
class FakePowerAssertions final : public PowerAssertions {
public:
    std::optional<quint32> create(const QString &type, int level, const QString &name) override {
        calls << QStringLiteral("create %1 %2 %3").arg(type).arg(level).arg(name);
        ++lastID;
        if (answerLater)
            pending.insert(lastID, type);
        else if (!failCreate)
            held.insert(lastID, type);
        return lastID;
    }
    void release(quint32 id) override {
        calls << QStringLiteral("release %1").arg(id);
        held.remove(id);
        pending.remove(id);
    }
    State state(quint32 id) const override {
        return held.contains(id)      ? State::held
               : pending.contains(id) ? State::pending
                                      : State::failed;
    }
    bool holdsLidClosed(quint32 id) const override {
        return held.value(id) == QLatin1String("PreventSystemSleep");
    }
    QString heldLocks() const override {
        return held.isEmpty() ? QString() : QStringLiteral("fake");
    }

    void answer(quint32 id, bool grant) {
        const QString type = pending.take(id);
        if (grant)
            held.insert(id, type);
        notify(id);
    }
    // As when a service forgets the lock and it cannot be taken again.
    void lose(quint32 id) {
        held.remove(id);
        notify(id);
    }

    bool failCreate = false;
    bool answerLater = false;
    quint32 lastID = 100;
    QMap<quint32, QString> held;    // id -> type
    QMap<quint32, QString> pending; // id -> type
    QStringList calls;
};
