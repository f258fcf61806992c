#include "platform/LinuxPowerSourceInfo.h"
#include "platform/SysfsPowerSourceInfo.h"
#include "platform/UPowerPowerSourceInfo.h"
#include "sleep/PowerSourceMonitor.h"
#include "tests/support/DBusMock.h"
#include "tests/support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <map>

using namespace std::chrono_literals;

namespace {
const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kUPowerPath = QStringLiteral("/org/freedesktop/UPower");

void settle(int ms = 300) {
    waitUntil([] { return false; }, ms);
}

// A fake /sys/class/power_supply: "supply/attribute" -> content.
using Tree = std::map<std::string, std::string>;

void writeTree(const QString &root, const Tree &tree) {
    for (const auto &[file, content] : tree) {
        const QString path = root + QLatin1Char('/') + QString::fromStdString(file);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(QByteArray::fromStdString(content + "\n"));
    }
}

struct SysfsCase {
    const char *name;
    Tree tree;
    std::optional<QString> expected;
};

const QString ac = QStringLiteral("AC Power");
const QString battery = QStringLiteral("Battery Power");

const Tree kDischarging = {{"BAT0/type", "Battery"}, {"BAT0/status", "Discharging"}};

Tree with(Tree tree, const Tree &more) {
    tree.insert(more.begin(), more.end());
    return tree;
}

const std::vector<SysfsCase> kSysfsCases = {
    {"mains online", with(kDischarging, {{"AC/type", "Mains"}, {"AC/online", "1"}}), ac},
    {"battery only", with(kDischarging, {{"AC/type", "Mains"}, {"AC/online", "0"}}), battery},
    {"nothing at all", {}, std::nullopt},
    {"full battery, nothing online", {{"BAT0/type", "Battery"}, {"BAT0/status", "Full"}}, ac},
    {"a mouse's battery on a desktop",
     with(kDischarging, {{"BAT0/scope", "Device"}, {"AC/type", "Mains"}, {"AC/online", "0"}}), ac},
    {"absent battery", with(kDischarging, {{"BAT0/present", "0"}}), ac},
    {"battery without status", {{"BAT0/type", "Battery"}}, battery},
    {"USB-C charger", with(kDischarging, {{"ucsi/type", "USB"}, {"ucsi/online", "1"}}), ac},
    {"USB-C port powering a phone",
     with(kDischarging, {{"ucsi/type", "USB"},
                         {"ucsi/online", "1"},
                         {"ucsi/device/typec/port0/power_role", "[source] sink"}}),
     battery},
    {"USB-C port taking power",
     with(kDischarging, {{"ucsi/type", "USB"},
                         {"ucsi/online", "1"},
                         {"ucsi/device/typec/port0/power_role", "[source] sink"},
                         {"ucsi/device/typec/port1/power_role", "source [sink]"}}),
     ac},
    {"supply without a type", {{"odd/online", "1"}}, std::nullopt},
};

TEST(SysfsPowerSource, DecidesLikeSystemdOnACPower) {
    for (const SysfsCase &c : kSysfsCases) {
        QTemporaryDir root;
        writeTree(root.path(), c.tree);
        EXPECT_EQ(SysfsPowerSourceInfo(root.path()).providingPowerSourceType(), c.expected)
            << c.name;
    }
    EXPECT_EQ(SysfsPowerSourceInfo(QStringLiteral("/nonexistent")).providingPowerSourceType(),
              std::nullopt);
}

TEST(SysfsPowerSource, PollingReportsOnlyChanges) {
    QTemporaryDir root;
    writeTree(root.path(), with(kDischarging, {{"AC/type", "Mains"}, {"AC/online", "1"}}));
    SysfsPowerSourceInfo info(root.path(), 20ms);
    int changes = 0;
    ASSERT_TRUE(info.startNotifications([&] { ++changes; }));
    settle(150);
    EXPECT_EQ(changes, 0); // polls that find the same state say nothing

    writeTree(root.path(), {{"AC/online", "0"}});
    ASSERT_TRUE(waitUntil([&] { return changes == 1; }));
    EXPECT_EQ(info.providingPowerSourceType(), battery);
    settle(150);
    EXPECT_EQ(changes, 1);

    info.stopNotifications();
    writeTree(root.path(), {{"AC/online", "1"}});
    settle(150);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(SysfsPowerSourceInfo(QStringLiteral("/nonexistent")).startNotifications([] {}));
}

class UPowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_bus.isRunning()) << m_bus.errorString().toStdString();
        ASSERT_TRUE(m_bus.startTemplate(QStringLiteral("upower"), {{"OnBattery", false}}))
            << m_bus.errorString().toStdString();
    }

    void setOnBattery(bool onBattery) {
        ASSERT_TRUE(m_bus.setProperty(kUPower, kUPowerPath, kUPower, "OnBattery", onBattery))
            << m_bus.errorString().toStdString();
    }

    DBusMock m_bus;
};

TEST_F(UPowerTest, OnBatteryMapsToTheProvidingType) {
    UPowerPowerSourceInfo info(m_bus.connection());
    EXPECT_EQ(info.providingPowerSourceType(), ac);
    setOnBattery(true);
    EXPECT_EQ(info.providingPowerSourceType(), battery);
    ASSERT_TRUE(m_bus.stopService(kUPower));
    EXPECT_EQ(info.providingPowerSourceType(), std::nullopt);
}

TEST_F(UPowerTest, ChangesReachTheMonitorOnceEachOnTheMainThread) {
    UPowerPowerSourceInfo info(m_bus.connection());
    PowerSourceMonitor monitor(info);
    std::vector<bool> received;
    bool onMainThread = true;
    monitor.setOnChange([&](bool isOnAC) {
        received.push_back(isOnAC);
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    });
    monitor.start();
    monitor.start();
    ASSERT_TRUE(monitor.isStarted());

    setOnBattery(true);
    ASSERT_TRUE(waitUntil([&] { return received.size() == 1; }));
    setOnBattery(false);
    ASSERT_TRUE(waitUntil([&] { return received.size() == 2; }));
    settle();
    EXPECT_EQ(received, (std::vector<bool>{false, true}));
    EXPECT_TRUE(onMainThread);

    monitor.stop();
    setOnBattery(true);
    settle();
    EXPECT_EQ(received.size(), 2u);
}

TEST_F(UPowerTest, StartingTwiceSubscribesOnce) {
    UPowerPowerSourceInfo info(m_bus.connection());
    int calls = 0;
    ASSERT_TRUE(info.startNotifications([&] { ++calls; }));
    ASSERT_TRUE(info.startNotifications([&] { ++calls; }));
    setOnBattery(true);
    ASSERT_TRUE(waitUntil([&] { return calls >= 1; }));
    settle();
    EXPECT_EQ(calls, 1);
}

TEST_F(UPowerTest, WithoutUPowerTheKernelsPowerSuppliesAnswer) {
    QTemporaryDir root;
    writeTree(root.path(), with(kDischarging, {{"AC/type", "Mains"}, {"AC/online", "1"}}));
    LinuxPowerSourceInfo info(m_bus.connection(), root.path(), 20ms);
    setOnBattery(true);
    EXPECT_EQ(info.providingPowerSourceType(), battery); // UPower first

    ASSERT_TRUE(m_bus.stopService(kUPower));
    EXPECT_EQ(info.providingPowerSourceType(), ac);
    int changes = 0;
    ASSERT_TRUE(info.startNotifications([&] { ++changes; }));
    writeTree(root.path(), {{"AC/online", "0"}});
    ASSERT_TRUE(waitUntil([&] { return changes == 1; }));
    EXPECT_EQ(info.providingPowerSourceType(), battery);
    info.stopNotifications();

    QTemporaryDir empty;
    LinuxPowerSourceInfo nothing(m_bus.connection(), empty.path());
    EXPECT_EQ(nothing.providingPowerSourceType(), std::nullopt);
    EXPECT_TRUE(PowerSourceMonitor(nothing).isOnACPower());
}
} // namespace
