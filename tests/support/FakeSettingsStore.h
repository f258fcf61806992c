#pragma once

#include "platform/SettingsStore.h"

#include <QHash>
#include <QVariant>

// In-memory settings with the real store's typed reads.
class FakeSettingsStore final : public SettingsStore {
public:
    std::optional<bool> boolValue(const QString &key) const override { return typed<bool>(key); }
    std::optional<qint64> integerValue(const QString &key) const override {
        return typed<qint64>(key);
    }
    std::optional<QString> stringValue(const QString &key) const override {
        return typed<QString>(key);
    }
    void setBool(const QString &key, bool value) override { write(key, value); }
    void setInteger(const QString &key, qint64 value) override { write(key, value); }
    void setString(const QString &key, const QString &value) override { write(key, value); }

    QHash<QString, QVariant> values;
    QStringList writes;

private:
    void write(const QString &key, const QVariant &value) {
        values.insert(key, value);
        writes << key;
    }
    template <typename T> std::optional<T> typed(const QString &key) const {
        const QVariant value = values.value(key);
        if (value.metaType() != QMetaType::fromType<T>())
            return {};
        return value.value<T>();
    }
};
