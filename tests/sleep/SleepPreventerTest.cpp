#include "sleep/SleepPreventer.h"
#include "sleep/StatusLine.h"
#include "tests/support/FakePowerAssertions.h"

#include <gtest/gtest.h>

namespace {
const QString kReason = QStringLiteral("Korvella防睡眠中");

// Replacing never leaves a gap: the old assertion goes only once the new one holds, and stays
// when the new one is refused.
TEST(SleepPreventer, TheOldAssertionGoesOnlyOnceTheNewOneHolds) {
    FakePowerAssertions assertions;
    SleepPreventer preventer(assertions);
    QList<SleepPreventer::Outcome> outcomes;
    preventer.setListener([&](SleepPreventer::Outcome outcome) { outcomes << outcome; });
    preventer.stop();
    EXPECT_TRUE(assertions.calls.isEmpty());

    ASSERT_TRUE(preventer.start(SleepPreventer::Mode::userIdle, kReason));
    assertions.answerLater = true;
    ASSERT_TRUE(preventer.start(SleepPreventer::Mode::system, kReason));
    EXPECT_EQ(assertions.held.keys(), QList<quint32>{101}) << "kept while the new one is asked";
    assertions.answer(102, true);
    EXPECT_EQ(assertions.held, (QMap<quint32, QString>{{102, "PreventSystemSleep"}}));
    EXPECT_EQ(preventer.assertionID(), 102u);

    ASSERT_TRUE(preventer.start(SleepPreventer::Mode::userIdle, kReason));
    assertions.answer(103, false);
    EXPECT_TRUE(preventer.isActive());
    EXPECT_EQ(assertions.held.keys(), QList<quint32>{102});

    assertions.lose(102);
    EXPECT_FALSE(preventer.isActive());
    using O = SleepPreventer::Outcome;
    EXPECT_EQ(outcomes, QList<O>({O::taken, O::taken, O::refused, O::lost}));
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
