#pragma once

#include <QObject>
#include <QString>

class DesktopNotifier;
class KeepAwakeSession;
class SettingsStore;

// Tells the user on the desktop when keeping awake ended by itself (time up, a rule, a command
// that finished), and why, when they asked for such notices.
class EndNotice final : public QObject {
    Q_OBJECT

public:
    // Without a notifier no notice is ever shown.
    EndNotice(KeepAwakeSession &session, SettingsStore &settings, DesktopNotifier *notifier,
              QObject *parent = nullptr);

    // Keeping awake ended by itself for `why`, e.g. "時間到".
    void show(const QString &why);

private:
    SettingsStore &m_settings;
    DesktopNotifier *m_notifier;
};
