#include "platform/TrayStatusItem.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

TrayStatusItem::TrayStatusItem(const QDBusConnection &sessionBus, QObject *parent)
    : QObject(parent)
    , m_watcher(sessionBus) {
    connect(&m_watcher, &TrayWatcher::trayAppeared, this, [this] { showInTray(); });
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

void TrayStatusItem::setImages(const QList<QImage> &images) {
    // Refreshes come every second; a D-Bus tray re-fetches the icon on each change, so only a
    // new picture is passed on. Shared images compare without looking at a pixel.
    if (images.isEmpty() || (!m_icon.isNull() && images == m_images))
        return;
    m_images = images;
    m_icon = iconFor(images);
    if (m_trayIcon)
        m_trayIcon->setIcon(m_icon);
    else if (m_watcher.found() != TrayWatcher::Kind::None)
        showInTray();
}

QIcon TrayStatusItem::iconFor(const QList<QImage> &images) {
    const qint64 key = images.constFirst().cacheKey();
    auto cached = m_iconCache.constFind(key);
    if (cached != m_iconCache.constEnd())
        return *cached;
    QIcon icon;
    for (const QImage &image : images)
        icon.addPixmap(QPixmap::fromImage(image));
    // The colours carry the state: the desktop must not recolour the image as a mask.
    icon.setIsMask(false);
    m_iconCache.insert(key, icon);
    return icon;
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

void TrayStatusItem::showInTray() {
    // Without an image yet the icon would show empty; setImages() comes back here.
    if (m_trayIcon || m_icon.isNull())
        return;
    m_trayIcon = std::make_unique<QSystemTrayIcon>(m_icon);
    m_trayIcon->setToolTip(m_toolTip);
    m_trayIcon->setContextMenu(m_menu.menu());
    // An XEmbed tray opens the context menu on a right click only, and StatusNotifier hosts
    // send a left click as Activate; both open the menu, as a status menu does.
    connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this, &TrayStatusItem::onActivated);
    m_trayIcon->show();
    if (m_waitedForTray)
        std::fputs("Korvella：系統匣已出現，圖示已顯示。\n", stderr);
}

void TrayStatusItem::onActivated(QSystemTrayIcon::ActivationReason reason) {
    // WORKAROUND: a Wayland client may open a popup only from a surface of its own that was just
    // clicked, and the tray icon belongs to the host, so no menu of ours can open here. There the
    // host's own menu (right click) is the way in.
    if (reason != QSystemTrayIcon::Trigger ||
        QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    // Drop down from the icon where the tray tells its place (XEmbed), else at the pointer,
    // which is where the click on the host's icon happened; the menu keeps itself on screen.
    const QRect icon = m_trayIcon->geometry();
    m_menu.menu()->popup(icon.isValid() ? icon.bottomLeft() + QPoint(0, 1) : QCursor::pos());
}
