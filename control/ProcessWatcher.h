#pragma once

#include <QObject>
#include <sys/types.h>

class QSocketNotifier;
class QTimer;

// Tells when a process that is not our child ends.
class ProcessWatcher final : public QObject {
    Q_OBJECT

public:
    explicit ProcessWatcher(pid_t pid, QObject *parent = nullptr);
    ~ProcessWatcher() override;

    static bool exists(pid_t pid);
    // The process's short name as the kernel reports it, or its number.
    static QString nameOf(pid_t pid);

Q_SIGNALS:
    void ended();

private:
    void check();

    pid_t m_pid;
    int m_pidfd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_poll = nullptr;
};
