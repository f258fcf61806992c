#pragma once

#include <QString>
#include <QtGlobal>

// The one-line description of a running keep-awake period, e.g. "防睡眠中・剩 1 小時 59 分".
// lidLockMissing: lid-closed mode is on, but the lid may still put the machine to sleep.
QString formatStatusLine(bool isInfinite, qint64 remainingSeconds, bool lidWakeAtRisk,
                         bool lidLockMissing = false);
