#include "platform/LinuxPowerSourceInfo.h"
#include "platform/SysfsPowerSourceInfo.h"
#include "platform/UPowerPowerSourceInfo.h"
#include "sleep/PowerSourceMonitor.h"
#include "tests/support/DBusMock.h"
#include "tests/support/WaitUntil.h"

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

const QString ac = QStringLiteral("AC Power");
const QString battery = QStringLiteral("Battery Power");

const Tree kDischarging = {{"BAT0/type", "Battery"}, {"BAT0/status", "Discharging"}};

Tree with(Tree tree, const Tree &more) {
    tree.insert(more.begin(), more.end());
    return tree;
}
const Tree kMainsOnline = with(kDischarging, {{"AC/type", "Mains"}, {"AC/online", "1"}});
const Tree kUsbC = with(kDischarging, {{"ucsi/type", "USB"}, {"ucsi/online", "1"}});
const Tree kPortGiving = {{"ucsi/device/typec/port0/power_role", "[source] sink"}};

const std::vector<std::tuple<const char *, Tree, std::optional<QString>>> kSysfsCases = {
    {"mains online", kMainsOnline, ac},
    {"battery only", with(kDischarging, {{"AC/type", "Mains"}, {"AC/online", "0"}}), battery},
    {"nothing at all", {}, std::nullopt},
    {"full battery, nothing online", {{"BAT0/type", "Battery"}, {"BAT0/status", "Full"}}, ac},
    {"a mouse's battery on a desktop",
     with(kDischarging, {{"BAT0/scope", "Device"}, {"AC/type", "Mains"}, {"AC/online", "0"}}), ac},
    {"absent battery", with(kDischarging, {{"BAT0/present", "0"}}), ac},
    {"battery without status", {{"BAT0/type", "Battery"}}, battery},
    {"USB-C charger", kUsbC, ac},
    {"USB-C port powering a phone", with(kUsbC, kPortGiving), battery},
    {"USB-C port taking power",
     with(with(kUsbC, kPortGiving), {{"ucsi/device/typec/port1/power_role", "source [sink]"}}), ac},
    {"supply without a type", {{"odd/online", "1"}}, std::nullopt},
};

TEST(SysfsPowerSource, DecidesLikeSystemdOnACPower) {
    for (const auto &[name, tree, expected] : kSysfsCases) {
        QTemporaryDir root;
        writeTree(root.path(), tree);
        EXPECT_EQ(SysfsPowerSourceInfo(root.path()).providingPowerSourceType(), expected) << name;
    }
    EXPECT_EQ(SysfsPowerSourceInfo(QStringLiteral("/nonexistent")).providingPowerSourceType(),
              std::nullopt);
}

// Without UPower the charge is the mean of the machine's own batteries: not a mouse's, nor an
// empty slot's.
TEST(SysfsPowerSource, ChargeIsTheMeanCapacityOfTheMachinesOwnBatteries) {
    QTemporaryDir root;
    writeTree(root.path(), {{"AC/type", "Mains"}});
    EXPECT_EQ(SysfsPowerSourceInfo(root.path()).batteryPercentage(), std::nullopt);
    writeTree(root.path(), {{"BAT0/type", "Battery"},
                            {"BAT0/capacity", "50"},
                            {"BAT1/type", "Battery"},
                            {"BAT1/capacity", "71"},
                            {"BAT2/type", "Battery"},
                            {"BAT2/capacity", "3"},
                            {"BAT2/present", "0"},
                            {"mouse/type", "Battery"},
                            {"mouse/capacity", "5"},
                            {"mouse/scope", "Device"}});
    EXPECT_EQ(SysfsPowerSourceInfo(root.path()).batteryPercentage(), 60.5);
}

// A clock made of polls: a probe on its own tree sees each flip of it at its
// next poll, so two flips seen prove that a whole poll interval has passed
// since the first flip was written.
struct PollProbe {
    PollProbe() {
        writeTree(root.path(), kMainsOnline);
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

// UPower's PropertiesChanged reaches every subscriber in one dispatch, so once the probe has
// seen a change, a duplicate delivery or a stopped subscription would have shown too. Without
// UPower the kernel's supplies are polled, and only a poll that sees a change reports.
TEST(UPowerPowerSource, ChangesArriveOnceEachUntilStoppedThenTheKernelAnswers) {
    DBusMock bus;
    ASSERT_TRUE(bus.startTemplate(QStringLiteral("upower"), {{"OnBattery", false}}))
        << bus.errorString().toStdString();
    UPowerPowerSourceInfo info(bus.connection());
    UPowerPowerSourceInfo probe(bus.connection());
    QList<std::optional<QString>> received;
    bool onMainThread = true;
    const auto note = [&] {
        received << info.providingPowerSourceType();
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    };
    ASSERT_TRUE(info.startNotifications(note));
    ASSERT_TRUE(info.startNotifications(note)) << "starting twice subscribes once";
    int probeCalls = 0;
    ASSERT_TRUE(probe.startNotifications([&] { ++probeCalls; }));
    const auto setOnBattery = [&](bool onBattery) {
        const int before = probeCalls;
        ASSERT_TRUE(bus.setProperty(kUPower, kUPowerPath, kUPower, "OnBattery", onBattery));
        ASSERT_TRUE(waitUntil([&] { return probeCalls > before; }));
    };

    EXPECT_EQ(info.providingPowerSourceType(), ac);
    setOnBattery(true);
    setOnBattery(false);
    EXPECT_EQ(received, (QList<std::optional<QString>>{battery, ac}));
    EXPECT_TRUE(onMainThread);
    info.stopNotifications();
    setOnBattery(true);
    EXPECT_EQ(received.size(), 2);

    QTemporaryDir root;
    writeTree(root.path(), kMainsOnline);
    LinuxPowerSourceInfo combined(bus.connection(), root.path(), 20ms);
    EXPECT_EQ(combined.providingPowerSourceType(), battery) << "UPower first";
    ASSERT_TRUE(bus.stopService(kUPower));
    EXPECT_EQ(info.providingPowerSourceType(), std::nullopt);
    EXPECT_EQ(combined.providingPowerSourceType(), ac);
    PollProbe poll;
    QList<std::optional<QString>> seen;
    ASSERT_TRUE(combined.startNotifications([&] { seen << combined.providingPowerSourceType(); }));
    for (const char *online : {"0", "1"}) {
        poll.waitForAFullInterval();
        const qsizetype before = seen.size();
        writeTree(root.path(), {{"AC/online", online}});
        ASSERT_TRUE(waitUntil([&] { return seen.size() > before; }));
    }
    poll.waitForAFullInterval();
    EXPECT_EQ(seen, (QList<std::optional<QString>>{battery, ac})) << "unchanged polls say nothing";
    combined.stopNotifications();
    writeTree(root.path(), {{"AC/online", "0"}});
    poll.waitForAFullInterval();
    EXPECT_EQ(seen.size(), 2);

    QTemporaryDir empty;
    EXPECT_FALSE(SysfsPowerSourceInfo(QStringLiteral("/nonexistent")).startNotifications([] {}));
    LinuxPowerSourceInfo nothing(bus.connection(), empty.path());
    EXPECT_EQ(nothing.providingPowerSourceType(), std::nullopt);
    EXPECT_TRUE(PowerSourceMonitor(nothing).isOnACPower());
}
} // namespace
