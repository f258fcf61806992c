#include "sleep/SleepPreventer.h"
#include "sleep/StatusLine.h"
#include "tests/support/FakePowerAssertions.h"

#include <gtest/gtest.h>

namespace {
const QString kReason = QStringLiteral("Korvella防睡眠中");

TEST(SleepPreventer, TakingAgainReleasesTheHeldAssertionFirst) {
    FakePowerAssertions assertions;
    SleepPreventer preventer(assertions);

    ASSERT_TRUE(preventer.start(SleepPreventer::Mode::userIdle, kReason));
    const quint32 first = preventer.assertionID();
    ASSERT_TRUE(preventer.start(SleepPreventer::Mode::system, kReason));

    EXPECT_NE(preventer.assertionID(), first);
    EXPECT_EQ(assertions.calls,
              QStringList({"create PreventUserIdleSystemSleep 255 Korvella防睡眠中",
                           QStringLiteral("release %1").arg(first),
                           "create PreventSystemSleep 255 Korvella防睡眠中"}));
    ASSERT_EQ(assertions.held.size(), 1);
    EXPECT_EQ(assertions.held.first(), "PreventSystemSleep");
}

TEST(SleepPreventer, StopWhenReleasedOrAfterAFailedStartMakesNoCall) {
    FakePowerAssertions assertions;
    SleepPreventer preventer(assertions);
    preventer.stop();
    EXPECT_TRUE(assertions.calls.isEmpty());

    ASSERT_TRUE(preventer.start(SleepPreventer::Mode::userIdle, kReason));
    assertions.failCreate = true;
    EXPECT_FALSE(preventer.start(SleepPreventer::Mode::userIdle, kReason));
    EXPECT_FALSE(preventer.isActive());
    EXPECT_TRUE(assertions.held.isEmpty()) << "a failed re-take must not leave the old one held";

    const qsizetype callsBefore = assertions.calls.size();
    preventer.stop();
    EXPECT_EQ(assertions.calls.size(), callsBefore);
}

TEST(StatusLine, CountsDownInWholeMinutesRoundedUp) {
    const auto line = [](qint64 seconds) { return formatStatusLine(false, seconds, false); };
    // Thirty minutes: the first minute reads 30, the last reads 1.
    EXPECT_EQ(line(1800), "防睡眠中・剩 30 分");
    EXPECT_EQ(line(1741), "防睡眠中・剩 30 分");
    EXPECT_EQ(line(1740), "防睡眠中・剩 29 分");
    EXPECT_EQ(line(60), "防睡眠中・剩 1 分");
    EXPECT_EQ(line(1), "防睡眠中・剩 1 分");
    EXPECT_EQ(line(0), "防睡眠中・剩 1 分");
    // Hours: whole hours alone, otherwise hours and minutes.
    EXPECT_EQ(line(7200), "防睡眠中・剩 2 小時");
    EXPECT_EQ(line(7140), "防睡眠中・剩 1 小時 59 分");
    EXPECT_EQ(line(3600), "防睡眠中・剩 1 小時");
    EXPECT_EQ(line(3541), "防睡眠中・剩 1 小時");
    EXPECT_EQ(line(3540), "防睡眠中・剩 59 分");
    EXPECT_EQ(line(14400), "防睡眠中・剩 4 小時");
    EXPECT_EQ(line(14340), "防睡眠中・剩 3 小時 59 分");
    EXPECT_EQ(line(3601), "防睡眠中・剩 1 小時 1 分");
}

TEST(StatusLine, UnlimitedPeriodAndTheUnpluggedWarning) {
    EXPECT_EQ(formatStatusLine(true, 0, false), "防睡眠中・無限期");
    EXPECT_EQ(formatStatusLine(true, 999, true), "防睡眠中・無限期 ⚠️ 電源已拔除");
    EXPECT_EQ(formatStatusLine(false, 1800, true),
              "防睡眠中・剩 30 分 ⚠️ 電源已拔除");
}
} // namespace
