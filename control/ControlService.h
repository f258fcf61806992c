#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "control/HoldRegistry.h"
#include "control/UntilPeriod.h"

class KeepAwakeSession;
class PowerAssertions;
class SettingsStore;

// The running application's remote control on the session bus: the period the menu shows,
// the holds of other processes, and the state as properties. It also owns what only remote
// callers and the until-entry add to the period: the holds and the end time.
class ControlService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.korvella.Korvella1")
    Q_PROPERTY(bool Running READ running)
    Q_PROPERTY(bool Unlimited READ unlimited)
    Q_PROPERTY(qlonglong RemainingSeconds READ remainingSeconds)
    Q_PROPERTY(QString Until READ until)
    Q_PROPERTY(QString StatusLine READ statusLine)
    Q_PROPERTY(QStringList Holds READ holds)
    Q_PROPERTY(bool LidMode READ lidMode)
    Q_PROPERTY(QStringList Locks READ locks)
    Q_PROPERTY(QVariantMap Rules READ rules)

public:
    ControlService(KeepAwakeSession &session, PowerAssertions &assertions, SettingsStore &settings,
                   QObject *parent = nullptr);
    // Exports the object and takes the bus name; false (with a warning if the bus refused).
    bool registerOn(QDBusConnection bus);

    bool running() const;
    bool unlimited() const;
    qlonglong remainingSeconds() const;
    QString until() const;
    QString statusLine() const;
    QStringList holds() const;
    bool lidMode() const;
    // The locks the desktop's services confirm, for the period and the holds together.
    QStringList locks() const;
    // The protective rules in force (ProtectiveRules::inForce).
    QVariantMap rules() const;

    // The menu's first line: the period (with its end time), the holds, or both; empty when
    // nothing keeps the machine awake.
    QString headline() const;
    // A period until the next time the clock shows `time`, as the menu's until-entry starts it.
    bool startUntil(const QTime &time);
    bool isUntilActive() const { return m_until.isActive(); }

Q_SIGNALS:
    // The holds or the end time changed; the session announces its own changes.
    void changed();
    // The last hold ended because its command or process finished, and no period runs.
    void holdsFinished(const QString &why);

public Q_SLOTS:
    void Start(uint minutes);
    void StartUntil(const QString &clockTime);
    void Stop();
    void Toggle();
    // kind: "command" (a command runs) or "process" (a process is waited for).
    uint AddHold(const QString &kind, const QString &name);
    void RemoveHold(uint id);

private:
    bool refuse(const QString &message);
    void reportStartFailure();
    // Sends PropertiesChanged for whatever differs from what was last announced.
    void announceChanges();
    QVariantMap snapshot() const;

    KeepAwakeSession &m_session;
    HoldRegistry m_holds;
    UntilPeriod m_until;
    SettingsStore &m_settings;
    QDBusConnection m_bus;
    QVariantMap m_announced;
};
