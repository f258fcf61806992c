#include "sleep/StatusLine.h"

#include <QList>
#include <gtest/gtest.h>

namespace {
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
