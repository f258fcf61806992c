#pragma once

#include "sleep/SleepPreventer.h"

#include <QList>
#include <QObject>
#include <QString>

class QDBusConnection;
class QDBusServiceWatcher;

// Keep-awake holds that other processes ask for (a command that runs, a process waited for).
// Each hold belongs to the caller's bus connection and goes when that connection does, so a
// killed caller never leaves the machine awake. One assertion covers all holds together.
class HoldRegistry final : public QObject {
    Q_OBJECT

public:
    enum class Kind { Command, Process };
    struct Hold {
        quint32 id = 0;
        Kind kind = Kind::Command;
        QString name;
        QString owner; // the caller's unique bus name
    };

    explicit HoldRegistry(PowerAssertions &assertions, QObject *parent = nullptr);
    // The bus whose callers own the holds.
    void watchOn(const QDBusConnection &bus);

    // The new hold's id, or nothing when no lock could be taken.
    std::optional<quint32> add(Kind kind, const QString &name, const QString &owner);
    // Only the owner may take its hold back; false when it has no such hold.
    bool remove(quint32 id, const QString &owner);

    const QList<Hold> &holds() const { return m_holds; }
    bool isHoldingLock() const { return m_preventer.isActive(); }
    // What the holds keep awake, e.g. "「make」執行中"; empty without holds.
    QString summary() const;
    // The menu's first line: the period's status line, the holds, or both; empty when
    // nothing keeps the machine awake.
    QString headline(bool periodRunning, const QString &periodLine) const;

Q_SIGNALS:
    void changed();

private:
    void removeOwner(const QString &owner);
    void releaseIfUnused();

    SleepPreventer m_preventer;
    QDBusServiceWatcher *m_watcher;
    QList<Hold> m_holds;
    quint32 m_lastID = 0;
};
