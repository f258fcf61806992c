#include "platform/TrayStatusItem.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

TrayStatusItem::TrayStatusItem(const QDBusConnection &sessionBus, QObject *parent)
    : QObject(parent)
    , m_watcher(sessionBus) {
    connect(&m_watcher, &TrayWatcher::trayAppeared, this, &TrayStatusItem::showInTray);
    connect(&m_watcher, &TrayWatcher::noTrayYet, this, [this] {
        m_waitedForTray = true;
        std::fputs("Korvella：桌面上目前沒有系統匣，圖示會在系統匣出現後自動顯示。\n", stderr);
    });
    m_watcher.start();
}

TrayStatusItem::~TrayStatusItem() = default;

qreal TrayStatusItem::devicePixelRatio() const {
    // The largest ratio of any screen, so the image is sharp wherever the tray is.
    return qApp->devicePixelRatio();
}

void TrayStatusItem::setImage(const QImage &image) {
    // Refreshes come every second; a D-Bus tray re-fetches the icon on each change, so only a
    // new picture is passed on.
    if (!m_icon.isNull() && image == m_image)
        return;
    m_image = image;
    m_icon = QIcon(QPixmap::fromImage(image));
    // The colours carry the state: the desktop must not recolour the image as a mask.
    m_icon.setIsMask(false);
    if (m_trayIcon)
        m_trayIcon->setIcon(m_icon);
    else if (m_watcher.found() != TrayWatcher::Kind::None)
        showInTray(m_watcher.found());
}

// A tray icon shows no text beside its image; the item's title is always empty anyway.
void TrayStatusItem::setTitle(const QString &) {}

void TrayStatusItem::setToolTip(const QString &toolTip) {
    // The tooltips are fixed texts and the status line, none of which contains markup, so
    // hosts that render tooltips as rich text show them unchanged.
    if (toolTip == m_toolTip)
        return;
    m_toolTip = toolTip;
    if (m_trayIcon)
        m_trayIcon->setToolTip(toolTip);
}

void TrayStatusItem::setMenu(const MenuModel &menu) {
    m_menu.apply(menu);
}

void TrayStatusItem::setActionHandler(ActionHandler handler) {
    m_menu.setActionHandler(std::move(handler));
}

void TrayStatusItem::showInTray(TrayWatcher::Kind kind) {
    // Without an image yet the icon would show empty; setImage() comes back here.
    if (m_trayIcon || m_icon.isNull())
        return;
    m_trayIcon = std::make_unique<QSystemTrayIcon>(m_icon);
    m_trayIcon->setToolTip(m_toolTip);
    m_trayIcon->setContextMenu(m_menu.menu());
    if (kind == TrayWatcher::Kind::XEmbed) {
        // An XEmbed tray opens the context menu on a right click only; open it on a left click
        // too, as a status menu does.
        connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this, &TrayStatusItem::onActivated);
    }
    m_trayIcon->show();
    if (m_waitedForTray)
        std::fputs("Korvella：系統匣已出現，圖示已顯示。\n", stderr);
}

void TrayStatusItem::onActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger)
        return;
    // Drop down from the icon, as a status menu does; the menu moves itself onto the screen.
    const QRect icon = m_trayIcon->geometry();
    m_menu.menu()->popup(icon.isValid() ? icon.bottomLeft() + QPoint(0, 1) : QCursor::pos());
}
