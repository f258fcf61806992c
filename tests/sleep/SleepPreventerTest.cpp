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

// Whole minutes rounded up (the first of thirty minutes reads 30, the last 1); whole hours
// alone, otherwise hours and minutes; the unplugged warning last.
TEST(StatusLine, CountsDownInWholeMinutesRoundedUpWithTheWarningLast) {
    const QList<QPair<qint64, QString>> timed{{1800, "剩 30 分"},
                                              {1741, "剩 30 分"},
                                              {1740, "剩 29 分"},
                                              {1, "剩 1 分"},
                                              {0, "剩 1 分"},
                                              {7200, "剩 2 小時"},
                                              {7140, "剩 1 小時 59 分"},
                                              {3601, "剩 1 小時 1 分"},
                                              {3600, "剩 1 小時"},
                                              {3541, "剩 1 小時"},
                                              {3540, "剩 59 分"}};
    for (const auto &[seconds, rest] : timed)
        EXPECT_EQ(formatStatusLine(false, seconds, false), "防睡眠中・" + rest) << seconds;
    EXPECT_EQ(formatStatusLine(true, 0, false), "防睡眠中・無限期");
    EXPECT_EQ(formatStatusLine(true, 999, true), "防睡眠中・無限期 ⚠️ 電源已拔除");
    EXPECT_EQ(formatStatusLine(false, 1800, true),
              "防睡眠中・剩 30 分 ⚠️ 電源已拔除");
}
} // namespace
