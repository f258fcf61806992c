#include "sleep/SleepPreventer.h"
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
} // namespace
