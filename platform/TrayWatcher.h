#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

class OrgKdeStatusNotifierWatcherInterface;
class QDBusServiceWatcher;

// Tells when the desktop has a system tray, without asking Qt: Qt 6.4 decides once per process,
// at the first tray icon or availability query, whether to use the D-Bus tray, so the first
// icon must wait until a tray really exists. Watches for a StatusNotifier host on the session
// bus and, on X11, for an XEmbed tray manager.
class TrayWatcher final : public QObject {
    Q_OBJECT

public:
    enum class Kind { None, StatusNotifier, XEmbed };

    explicit TrayWatcher(const QDBusConnection &sessionBus, QObject *parent = nullptr);
    ~TrayWatcher() override;

    // Begins looking; trayAppeared() follows once, possibly before start() returns to the loop.
    void start();
    Kind found() const { return m_found; }

    // Whether an X11 tray manager owns the tray selection of the default screen.
    static bool xembedTrayExists();

Q_SIGNALS:
    void trayAppeared(TrayWatcher::Kind kind);
    // Once, when the first look found no tray; trayAppeared() may still follow.
    void noTrayYet();

private:
    void checkStatusNotifierHost();
    void startXEmbedPolling();
    void checkXEmbed();
    void report(Kind kind);
    void noTrayFound();

    QDBusConnection m_bus;
    QDBusServiceWatcher *m_serviceWatcher = nullptr;
    OrgKdeStatusNotifierWatcherInterface *m_watcher = nullptr;
    QTimer m_xembedPoll;
    Kind m_found = Kind::None;
    bool m_saidNoTray = false;
};
