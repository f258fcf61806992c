#include "platform/TrayWatcher.h"
#include "app/IconRenderer.h"
#include "platform/TrayStatusItem.h"
#include "tests/support/DBusMock.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

namespace {
const QString kRegistry = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kRegistryPath = QStringLiteral("/StatusNotifierWatcher");
const QString kTemplate =
    QStringLiteral(KORVELLA_TEST_SOURCE_DIR "/tray/status_notifier_watcher.py");

class TrayOnPrivateBus : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.isRunning()) << bus.errorString().toStdString(); }
    bool startRegistry(bool hostRegistered) {
        return bus.startTemplate(kTemplate, {{QStringLiteral("HostRegistered"), hostRegistered}});
    }
    void registerHost() {
        bus.callMock(
            kRegistry, kRegistryPath, QStringLiteral("UpdateProperties"),
            {kRegistry, QVariantMap{{QStringLiteral("IsStatusNotifierHostRegistered"), true}}});
        bus.callMock(
            kRegistry, kRegistryPath, QStringLiteral("EmitSignal"),
            {kRegistry, QStringLiteral("StatusNotifierHostRegistered"), QString(), QVariantList()});
    }

    DBusMock bus;
};

TEST_F(TrayOnPrivateBus, ARegistryAndThenAHostThatAppearAfterStartAreWaitedFor) {
    TrayWatcher watcher(bus.connection());
    int saidNoTray = 0;
    QObject::connect(&watcher, &TrayWatcher::noTrayYet, [&] { ++saidNoTray; });
    watcher.start();
    ASSERT_TRUE(waitUntil([&] { return saidNoTray == 1; }));
    EXPECT_EQ(watcher.found(), TrayWatcher::Kind::None) << "no registry on the bus";

    ASSERT_TRUE(startRegistry(false)) << bus.errorString().toStdString();
    registerHost();
    EXPECT_TRUE(waitUntil([&] { return watcher.found() == TrayWatcher::Kind::StatusNotifier; }));
    EXPECT_EQ(saidNoTray, 1) << "said once";
}

TEST_F(TrayOnPrivateBus, TheStatusItemHandsOverWhatWasSetBeforeTheTrayAppeared) {
    TrayStatusItem item(bus.connection());
    EXPECT_TRUE(item.hasButton()) << "what is set now must not be lost";
    item.setImages(IconRenderer::statusIcons(true, 2.0));
    item.setToolTip(QStringLiteral("Korvella・防睡眠中・無限期"));
    EXPECT_EQ(item.trayIcon(), nullptr);

    ASSERT_TRUE(startRegistry(true)) << bus.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return item.trayIcon() != nullptr; }));
    QSystemTrayIcon *icon = item.trayIcon();
    EXPECT_EQ(icon->toolTip(), "Korvella・防睡眠中・無限期");
    EXPECT_EQ(icon->contextMenu(), item.menu());
    EXPECT_GE(icon->icon().availableSizes().size(), 6);
    EXPECT_FALSE(icon->icon().isMask());
    EXPECT_TRUE(icon->isVisible());

    const qint64 running = icon->icon().cacheKey();
    item.setImages(IconRenderer::statusIcons(false, 2.0));
    item.setToolTip(QStringLiteral("Korvella・防睡眠未啟動"));
    EXPECT_EQ(icon->toolTip(), "Korvella・防睡眠未啟動");
    EXPECT_NE(icon->icon().cacheKey(), running);
    item.setImages(IconRenderer::statusIcons(true, 2.0));
    EXPECT_EQ(icon->icon().cacheKey(), running) << "a state's icon is made once";
    EXPECT_EQ(item.trayIcon(), icon) << "one icon for the life of the item";
}

TEST_F(TrayOnPrivateBus, ATrayFoundBeforeAnyImageWaitsForTheImage) {
    ASSERT_TRUE(startRegistry(true)) << bus.errorString().toStdString();
    TrayStatusItem item(bus.connection());
    // A second watcher's answer comes after the item's, which asked first on the same bus.
    TrayWatcher later(bus.connection());
    later.start();
    ASSERT_TRUE(waitUntil([&] { return later.found() != TrayWatcher::Kind::None; }));
    EXPECT_EQ(item.trayIcon(), nullptr) << "an icon without an image would show empty";
    item.setImages(IconRenderer::statusIcons(false, 1.0));
    ASSERT_NE(item.trayIcon(), nullptr);
    EXPECT_FALSE(item.trayIcon()->icon().isNull());
}

TEST(TrayWithoutBus, SaysSoOnceWhenNeitherBusNorX11IsThere) {
    TrayWatcher watcher(QDBusConnection(QStringLiteral("not-connected")));
    int saidNoTray = 0;
    QObject::connect(&watcher, &TrayWatcher::noTrayYet, [&] { ++saidNoTray; });
    watcher.start();
    EXPECT_EQ(saidNoTray, 1);
    EXPECT_EQ(watcher.found(), TrayWatcher::Kind::None);
    EXPECT_FALSE(TrayWatcher::xembedTrayExists()) << "offscreen has no X server";
}
} // namespace
