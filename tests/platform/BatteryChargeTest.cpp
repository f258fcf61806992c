#include "platform/SysfsPowerSourceInfo.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Without UPower: the machine's own batteries only, not a mouse's, nor an empty slot.
TEST(SysfsBatteryCharge, IsTheMeanCapacityOfTheMachinesOwnBatteries) {
    QTemporaryDir root;
    const auto write = [&](const QString &file, const QByteArray &value) {
        QDir(root.path()).mkpath(QFileInfo(file).path());
        QFile out(root.filePath(file));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(value) > 0);
    };
    write("AC/type", "Mains");
    EXPECT_EQ(SysfsPowerSourceInfo(root.path()).batteryPercentage(), std::nullopt);
    for (const char *battery : {"BAT0", "BAT1", "BAT2", "mouse"})
        write(QString(battery) + "/type", "Battery\n");
    write("BAT0/capacity", "50\n"), write("BAT1/capacity", "71"), write("BAT2/capacity", "3");
    write("BAT2/present", "0"), write("mouse/capacity", "5"), write("mouse/scope", "Device");
    EXPECT_EQ(SysfsPowerSourceInfo(root.path()).batteryPercentage(), 60.5);
}
