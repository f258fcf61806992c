#include "platform/TrayWatcher.h"
#include "app/IconRenderer.h"
#include "platform/TrayStatusItem.h"
#include "tests/support/DBusMock.h"
#include "tests/support/WaitUntil.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {
const QString kRegistry = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kRegistryPath = QStringLiteral("/StatusNotifierWatcher");

// A registry, then a host, that appear after start are waited for; what the status item was
// given before the tray appeared is handed over; an item that finds the tray before it has an
// image waits for one, as an icon without an image would show empty.
TEST(TrayOnPrivateBus, ATrayThatAppearsLaterGetsWhatWasSetBeforeAndNothingEmpty) {
    DBusMock bus;
    ASSERT_TRUE(bus.isRunning()) << bus.errorString().toStdString();
    TrayWatcher watcher(bus.connection());
    QSignalSpy saidNoTray(&watcher, &TrayWatcher::noTrayYet);
    watcher.start();
    ASSERT_TRUE(waitUntil([&] { return saidNoTray.count() == 1; }));
    EXPECT_EQ(watcher.found(), TrayWatcher::Kind::None) << "no registry on the bus";
    TrayStatusItem item(bus.connection());
    EXPECT_TRUE(item.hasButton()) << "what is set now must not be lost";
    item.setImages(IconRenderer::statusIcons(true, 2.0));
    item.setToolTip(QStringLiteral("Korvella・防睡眠中・無限期"));
    EXPECT_EQ(item.trayIcon(), nullptr);

    ASSERT_TRUE(bus.startTemplate(
        QStringLiteral(KORVELLA_TEST_SOURCE_DIR "/tray/status_notifier_watcher.py"),
        {{QStringLiteral("HostRegistered"), false}}))
        << bus.errorString().toStdString();
    bus.callMock(
        kRegistry, kRegistryPath, QStringLiteral("UpdateProperties"),
        {kRegistry, QVariantMap{{QStringLiteral("IsStatusNotifierHostRegistered"), true}}});
    bus.callMock(
        kRegistry, kRegistryPath, QStringLiteral("EmitSignal"),
        {kRegistry, QStringLiteral("StatusNotifierHostRegistered"), QString(), QVariantList()});
    EXPECT_TRUE(waitUntil([&] { return watcher.found() == TrayWatcher::Kind::StatusNotifier; }));
    EXPECT_EQ(saidNoTray.count(), 1) << "said once";
    ASSERT_TRUE(waitUntil([&] { return item.trayIcon() != nullptr; }));
    QSystemTrayIcon *icon = item.trayIcon();
    EXPECT_EQ(icon->toolTip(), "Korvella・防睡眠中・無限期");
    EXPECT_EQ(icon->contextMenu(), item.menu());
    EXPECT_FALSE(icon->icon().isMask()) << "the colours carry the state";
    EXPECT_TRUE(icon->isVisible());
    item.setToolTip(QStringLiteral("Korvella・防睡眠未啟動"));
    item.setImages(IconRenderer::statusIcons(false, 2.0));
    EXPECT_EQ(icon->toolTip(), "Korvella・防睡眠未啟動");
    EXPECT_EQ(item.trayIcon(), icon) << "one icon for the life of the item";

    TrayStatusItem second(bus.connection());
    // A second watcher's answer comes after the item's, which asked first on the same bus.
    TrayWatcher later(bus.connection());
    QSignalSpy laterSaidNoTray(&later, &TrayWatcher::noTrayYet);
    later.start();
    ASSERT_TRUE(waitUntil([&] { return later.found() != TrayWatcher::Kind::None; }));
    EXPECT_EQ(laterSaidNoTray.count(), 0) << "no false alarm with a tray there";
    EXPECT_EQ(second.trayIcon(), nullptr) << "an icon without an image would show empty";
    second.setImages(IconRenderer::statusIcons(false, 1.0));
    ASSERT_NE(second.trayIcon(), nullptr);
    EXPECT_FALSE(second.trayIcon()->icon().isNull());
}

TEST(TrayWithoutBus, SaysSoOnceWhenNeitherBusNorX11IsThere) {
    TrayWatcher watcher(QDBusConnection(QStringLiteral("not-connected")));
    QSignalSpy saidNoTray(&watcher, &TrayWatcher::noTrayYet);
    watcher.start();
    EXPECT_EQ(saidNoTray.count(), 1);
    EXPECT_EQ(watcher.found(), TrayWatcher::Kind::None);
    EXPECT_FALSE(TrayWatcher::xembedTrayExists()) << "offscreen has no X server";
}
} // namespace
