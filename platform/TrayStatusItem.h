#pragma once

#include "platform/StatusItem.h"
#include "platform/TrayMenu.h"
#include "platform/TrayWatcher.h"

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <memory>

// The status item as a tray icon with one long-lived menu. The icon itself is created only once
// the desktop has a tray; until then image, tooltip and menu are kept and handed over then.
class TrayStatusItem final : public QObject, public StatusItem {
    Q_OBJECT

public:
    explicit TrayStatusItem(const QDBusConnection &sessionBus, QObject *parent = nullptr);
    ~TrayStatusItem() override;

    // Always true: what is set before the tray appears is shown when it does.
    bool hasButton() const override { return true; }
    qreal devicePixelRatio() const override;
    void setImages(const QList<QImage> &images) override;
    void setTitle(const QString &title) override;
    void setToolTip(const QString &toolTip) override;
    void setMenu(const MenuModel &menu) override;
    void setActionHandler(ActionHandler handler) override;

    QMenu *menu() { return m_menu.menu(); }
    // Absent until a tray exists.
    QSystemTrayIcon *trayIcon() const { return m_trayIcon.get(); }

private:
    void showInTray();
    QIcon iconFor(const QList<QImage> &images);
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    TrayMenu m_menu;
    TrayWatcher m_watcher;
    QList<QImage> m_images;
    QIcon m_icon;
    QHash<qint64, QIcon> m_iconCache; // by the first image's cache key
    QString m_toolTip;
    bool m_waitedForTray = false;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
};
