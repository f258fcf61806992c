#pragma once

#include <QList>
#include <QString>

// One choice of the push interval pop-up; the list order is the pop-up's item order.
struct IntervalOption {
    QString title;
    qint64 minutes;
};

inline const QList<IntervalOption> &intervalOptions() {
    static const QList<IntervalOption> options{{QStringLiteral("15 分鐘"), 15},
                                               {QStringLiteral("30 分鐘"), 30},
                                               {QStringLiteral("1 小時"), 60},
                                               {QStringLiteral("2 小時"), 120}};
    return options;
}

// The entry a stored interval selects: the first with equal minutes, else "30 分鐘".
inline int intervalIndexFor(qint64 storedMinutes) {
    const QList<IntervalOption> &options = intervalOptions();
    for (int i = 0; i < options.size(); ++i) {
        if (options.at(i).minutes == storedMinutes)
            return i;
    }
    return 1;
}
