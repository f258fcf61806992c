#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Keep-awake assertions as the power manager offers them: one is created with a type
// ("PreventUserIdleSystemSleep" or "PreventSystemSleep"), a level and a name, and lasts until
// it is released or the process ends.
class PowerAssertions {
public:
    virtual ~PowerAssertions() = default;
    // The new assertion's identifier, or nothing when it could not be taken.
    virtual std::optional<quint32> create(const QString &type, int level, const QString &name) = 0;
    virtual void release(quint32 id) = 0;
};
