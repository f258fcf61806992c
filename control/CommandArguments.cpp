#include "control/CommandArguments.h"

#include <QRegularExpression>

namespace CommandArguments {

std::optional<int> parseDuration(const QString &text) {
    if (text == QLatin1String("unlimited"))
        return 0;
    static const QRegularExpression pattern(QStringLiteral("^(?:(\\d{1,4})h)?(?:(\\d{1,5})m)?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (text.isEmpty() || !match.hasMatch())
        return {};
    const int minutes = match.captured(1).toInt() * 60 + match.captured(2).toInt();
    if (minutes <= 0 || minutes > kMaxMinutes)
        return {};
    return minutes;
}

std::optional<QTime> parseClockTime(const QString &text) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2}):(\\d{2})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    const QTime time(match.captured(1).toInt(), match.captured(2).toInt());
    if (!time.isValid())
        return {};
    return time;
}

QDateTime nextOccurrence(const QTime &time, const QDateTime &now) {
    QDateTime candidate(now.date(), time);
    // A clock time skipped by a daylight-saving jump reads as the moment after the jump.
    if (!candidate.isValid())
        candidate = QDateTime(now.date(), time.addSecs(3600));
    if (candidate <= now)
        candidate = QDateTime(now.date().addDays(1), time);
    return candidate;
}

} // namespace CommandArguments
