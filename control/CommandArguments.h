#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

// Parsing of what users type after a subcommand; nothing here touches the bus or a period.
namespace CommandArguments {
// The longest period a command may ask for.
constexpr int kMaxMinutes = 24 * 60;

// "30m", "1h", "1h30m", "90m", "2h" or "unlimited" (0). Nothing for 0, more than a day, or
// anything else.
std::optional<int> parseDuration(const QString &text);
// "HH:MM" on a 24-hour clock.
std::optional<QTime> parseClockTime(const QString &text);
// The next moment after `now` at which the local clock shows `time`: today, else tomorrow.
QDateTime nextOccurrence(const QTime &time, const QDateTime &now);
} // namespace CommandArguments
