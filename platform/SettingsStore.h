#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// The per-user settings store. Reads tell an absent key (or a value of the wrong type) from a
// stored value; writes persist at once.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<bool> boolValue(const QString &key) const = 0;
    virtual std::optional<qint64> integerValue(const QString &key) const = 0;
    virtual std::optional<QString> stringValue(const QString &key) const = 0;
    virtual void setBool(const QString &key, bool value) = 0;
    virtual void setInteger(const QString &key, qint64 value) = 0;
    virtual void setString(const QString &key, const QString &value) = 0;

    // Typed reads with the values an absent key reads as.
    bool boolForKey(const QString &key) const { return boolValue(key).value_or(false); }
    qint64 integerForKey(const QString &key) const { return integerValue(key).value_or(0); }
};
