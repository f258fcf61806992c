#include "platform/SingleInstanceLock.h"

#include <QDir>
#include <QStandardPaths>

SingleInstanceLock::SingleInstanceLock() {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    m_path = dir + QStringLiteral("/korvella.lock");
    m_lock = std::make_unique<QLockFile>(m_path);
    // Never stale by age: only a lock whose process is gone may be taken over.
    m_lock->setStaleLockTime(0);
}

bool SingleInstanceLock::tryLock() {
    return m_lock->tryLock(0);
}
