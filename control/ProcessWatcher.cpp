#include "control/ProcessWatcher.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Only where the kernel offers no process descriptor.
constexpr int kPollIntervalMs = 500;
} // namespace

ProcessWatcher::ProcessWatcher(pid_t pid, QObject *parent)
    : QObject(parent)
    , m_pid(pid) {
    // A process descriptor becomes readable when the process ends: no polling, no pid reuse.
    m_pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (m_pidfd >= 0) {
        m_notifier = new QSocketNotifier(m_pidfd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            m_notifier->setEnabled(false);
            Q_EMIT ended();
        });
        return;
    }
    m_poll = new QTimer(this);
    connect(m_poll, &QTimer::timeout, this, &ProcessWatcher::check);
    m_poll->start(kPollIntervalMs);
}

ProcessWatcher::~ProcessWatcher() {
    if (m_pidfd >= 0)
        ::close(m_pidfd);
}

bool ProcessWatcher::exists(pid_t pid) {
    // EPERM: it exists, it just belongs to someone else.
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

QString ProcessWatcher::nameOf(pid_t pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly)
                             ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                             : QString();
    return name.isEmpty() ? QString::number(pid) : name;
}

void ProcessWatcher::check() {
    if (exists(m_pid))
        return;
    m_poll->stop();
    Q_EMIT ended();
}
