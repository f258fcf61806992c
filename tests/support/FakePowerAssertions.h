#pragma once

#include "platform/PowerAssertions.h"

#include <QMap>
#include <QStringList>

// Hands out increasing identifiers and tracks which assertions are held.
class FakePowerAssertions final : public PowerAssertions {
public:
    std::optional<quint32> create(const QString &type, int level, const QString &name) override {
        calls << QStringLiteral("create %1 %2 %3").arg(type).arg(level).arg(name);
        if (failCreate)
            return {};
        held.insert(++lastID, type);
        return lastID;
    }
    void release(quint32 id) override {
        calls << QStringLiteral("release %1").arg(id);
        held.remove(id);
    }

    bool failCreate = false;
    quint32 lastID = 100;
    QMap<quint32, QString> held; // id -> type
    QStringList calls;
};
