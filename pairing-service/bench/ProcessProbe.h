#pragma once
#include <QtGlobal>

// What the load test reads of the service's process from /proc.
namespace ProcessProbe {
// A size field of /proc/PID/status ("VmRSS:", "VmHWM:") in kB; 0 when unreadable.
qint64 rssKb(qint64 pid, const char *field);
// Waits until the resident memory stops growing, then returns it.
qint64 settledRssKb(qint64 pid);
// Descriptors the process has open.
int openFiles(qint64 pid);
// User and system time the process has used so far.
double cpuSeconds(qint64 pid);
} // namespace ProcessProbe
