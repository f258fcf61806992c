#include "control/CommandArguments.h"

#include <gtest/gtest.h>

TEST(CommandArguments, UntilMeansTheNextTimeTheClockShowsIt) {
    using CommandArguments::nextOccurrence;
    const QDate today(2026, 12, 7);
    const QDateTime now(today, QTime(14, 30, 20));
    EXPECT_EQ(nextOccurrence(QTime(14, 32), now), QDateTime(today, QTime(14, 32)));
    // The minute shown now has begun already: the next time it shows is tomorrow.
    EXPECT_EQ(nextOccurrence(QTime(14, 30), now), QDateTime(today.addDays(1), QTime(14, 30)));
    EXPECT_EQ(nextOccurrence(QTime(9, 0), now), QDateTime(today.addDays(1), QTime(9, 0)));
    EXPECT_EQ(nextOccurrence(QTime(0, 0), QDateTime(today, QTime(23, 59, 59))),
              QDateTime(today.addDays(1), QTime(0, 0)));
}
