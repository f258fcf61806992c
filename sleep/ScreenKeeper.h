#pragma once

#include <QObject>
#include <QtGlobal>
#include <optional>

class KeepAwakeSession;
class PowerAssertions;
class SettingsStore;

// Keeps the screen from blanking and locking during a period, when the user asked for it: one
// more assertion, taken when a period begins and released when it ends. Failing to take it
// leaves the period as it is, keeping only the system awake.
class ScreenKeeper final : public QObject {
    Q_OBJECT

public:
    ScreenKeeper(KeepAwakeSession &session, PowerAssertions &assertions, SettingsStore &settings,
                 QObject *parent = nullptr);
    ~ScreenKeeper() override;

    // The setting changed: a running period takes or gives back the screen lock at once.
    void settingsChanged();

private:
    void sessionChanged();
    void apply();
    void release();

    KeepAwakeSession &m_session;
    PowerAssertions &m_assertions;
    SettingsStore &m_settings;
    bool m_periodRunning = false;
    std::optional<quint32> m_id;
};
