#pragma once

#include <QList>
#include <QString>

// One choice of period length in the status menu; 0 minutes means without limit.
struct DurationOption {
    QString title;
    int minutes;
};

inline const QList<DurationOption> &durationOptions() {
    static const QList<DurationOption> options{{QStringLiteral("30 分鐘"), 30},
                                               {QStringLiteral("1 小時"), 60},
                                               {QStringLiteral("2 小時"), 120},
                                               {QStringLiteral("4 小時"), 240},
                                               {QStringLiteral("無限期"), 0}};
    return options;
}
