#pragma once

#include <QString>

// One lock against sleep that some system or desktop service honours. It is held from a
// successful take() until release() or destruction, and the service drops it by itself when
// the process ends.
class InhibitorLock {
public:
    virtual ~InhibitorLock() = default;
    // False when the service is not there, refused, or did not answer in time.
    virtual bool take(const QString &reason) = 0;
    virtual void release() = 0;

    // How Korvella names itself to the services that list their locks.
    static QString applicationName() { return QStringLiteral("Korvella"); }
    // A hung service must not freeze the menu for long.
    static constexpr int kCallTimeoutMs = 3000;
};
