#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// One Korvella per user session: a lock file in the runtime directory, released when the
// process ends (a lock left by a killed process is recognised as stale and taken over).
class SingleInstanceLock final {
public:
    SingleInstanceLock();
    bool tryLock();
    QString path() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
