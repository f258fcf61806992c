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

// A clock made of polls: a probe on its own tree sees each flip of it at its next poll, so two
// flips seen prove that a whole poll interval has passed since the first flip was written.
struct PollProbe {
    PollProbe() {
        writeTree(root.path(), with(kDischarging, {{"AC/type", "Mains"}, {"AC/online", "1"}}));
        info.startNotifications([this] { ++polls; });
    }
    void waitForAFullInterval() {
        for (int i = 0; i < 2; ++i) {
            const int before = polls;
            writeTree(root.path(), {{"AC/online", before % 2 ? "1" : "0"}});
            ASSERT_TRUE(waitUntil([&] { return polls > before; }));
        }
    }
    QTemporaryDir root;
    SysfsPowerSourceInfo info{root.path(), 20ms};
    int polls = 0;
};

TEST(SysfsPowerSource, PollingReportsOnlyChangesUntilStopped) {
    QTemporaryDir root;
    writeTree(root.path(), with(kDischarging, {{"AC/type", "Mains"}, {"AC/online", "1"}}));
    SysfsPowerSourceInfo info(root.path(), 20ms);
    PollProbe probe;
    QList<std::optional<QString>> seen;
    ASSERT_TRUE(info.startNotifications([&] { seen << info.providingPowerSourceType(); }));
    probe.waitForAFullInterval();
    writeTree(root.path(), {{"AC/online", "0"}});
    ASSERT_TRUE(waitUntil([&] { return !seen.isEmpty(); }));
    probe.waitForAFullInterval();
    writeTree(root.path(), {{"AC/online", "1"}});
    ASSERT_TRUE(waitUntil([&] { return seen.size() >= 2; }));
    probe.waitForAFullInterval();
    EXPECT_EQ(seen, (QList<std::optional<QString>>{battery, ac}))
        << "polls with no change say nothing";

    info.stopNotifications();
    writeTree(root.path(), {{"AC/online", "0"}});
    probe.waitForAFullInterval();
    EXPECT_EQ(seen.size(), 2);
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

// UPower's PropertiesChanged reaches every subscriber in one dispatch, so once one subscriber
// has seen a change, a duplicate delivery or a stopped subscription would have shown too.
TEST_F(UPowerTest, ChangesReachTheMonitorOnceEachOnTheMainThreadUntilStopped) {
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
    int probeCalls = 0;
    UPowerPowerSourceInfo probe(m_bus.connection());
    ASSERT_TRUE(probe.startNotifications([&] { ++probeCalls; }));
    ASSERT_TRUE(probe.startNotifications([&] { ++probeCalls; }));

    EXPECT_EQ(info.providingPowerSourceType(), ac);
    setOnBattery(true);
    ASSERT_TRUE(waitUntil([&] { return !received.empty(); }));
    EXPECT_EQ(info.providingPowerSourceType(), battery);
    setOnBattery(false);
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 2; }));
    EXPECT_EQ(received, (std::vector<bool>{false, true}));
    EXPECT_EQ(probeCalls, 2) << "starting twice subscribes once";
    EXPECT_TRUE(onMainThread);

    monitor.stop();
    setOnBattery(true);
    ASSERT_TRUE(waitUntil([&] { return probeCalls >= 3; }));
    EXPECT_EQ(received.size(), 2u);
    ASSERT_TRUE(m_bus.stopService(kUPower));
    EXPECT_EQ(info.providingPowerSourceType(), std::nullopt);
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
