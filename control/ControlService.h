#pragma once

#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class HoldRegistry;
class KeepAwakeSession;
class SettingsStore;

// The running application's remote control on the session bus: the period the menu shows,
// the holds of other processes, and the state as properties.
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
    Q_PROPERTY(uint Locks READ locks)

public:
    static const QString serviceName;
    static const QString objectPath;
    static const QString interfaceName;

    ControlService(KeepAwakeSession &session, HoldRegistry &holds, SettingsStore &settings,
                   QObject *parent = nullptr);
    // Exports the object and takes the bus name; false (and a warning) when the bus refuses.
    bool registerOn(QDBusConnection bus);

    bool running() const;
    bool unlimited() const;
    qlonglong remainingSeconds() const;
    QString until() const;
    QString statusLine() const;
    QStringList holds() const;
    bool lidMode() const;
    uint locks() const;

    // The menu's first line: the period, the holds, or both; empty when nothing keeps awake.
    QString headline() const;

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
    // Sends PropertiesChanged for whatever differs from what was last announced.
    void announceChanges();
    QVariantMap snapshot() const;

    KeepAwakeSession &m_session;
    HoldRegistry &m_holds;
    SettingsStore &m_settings;
    QDBusConnection m_bus;
    QVariantMap m_announced;
};
