#include "platform/LinuxPlatform.h"

#include "platform/BootClock.h"
#include "platform/DesktopUrlOpener.h"
#include "platform/MessageBoxAlertPresenter.h"
#include "platform/PowerAssertions.h"
#include "platform/PowerSourceInfo.h"
#include "platform/QtApplication.h"
#include "platform/SettingsStore.h"

#include <QHash>
#include <QVariant>

namespace {
// Interim backends until the real ones are wired in.
class NoPowerAssertions final : public PowerAssertions {
public:
    std::optional<quint32> create(const QString &, int, const QString &) override { return {}; }
    void release(quint32) override {}
};

class NoPowerSourceInfo final : public PowerSourceInfo {
public:
    std::optional<QString> providingPowerSourceType() const override { return {}; }
    bool startNotifications(std::function<void()>) override { return false; }
    void stopNotifications() override {}
};

class MemorySettingsStore final : public SettingsStore {
public:
    std::optional<bool> boolValue(const QString &key) const override { return typed<bool>(key); }
    std::optional<qint64> integerValue(const QString &key) const override {
        return typed<qint64>(key);
    }
    std::optional<QString> stringValue(const QString &key) const override {
        return typed<QString>(key);
    }
    void setBool(const QString &key, bool value) override { m_values.insert(key, value); }
    void setInteger(const QString &key, qint64 value) override { m_values.insert(key, value); }
    void setString(const QString &key, const QString &value) override {
        m_values.insert(key, value);
    }

private:
    template <typename T> std::optional<T> typed(const QString &key) const {
        const QVariant value = m_values.value(key);
        if (value.metaType() != QMetaType::fromType<T>())
            return {};
        return value.value<T>();
    }
    QHash<QString, QVariant> m_values;
};
} // namespace

LinuxPlatform::LinuxPlatform()
    : m_application(std::make_unique<QtApplication>())
    , m_alerts(std::make_unique<MessageBoxAlertPresenter>())
    , m_urlOpener(std::make_unique<DesktopUrlOpener>())
    , m_powerAssertions(std::make_unique<NoPowerAssertions>())
    , m_powerSource(std::make_unique<NoPowerSourceInfo>())
    , m_settings(std::make_unique<MemorySettingsStore>())
    , m_clock(std::make_unique<BootClock>()) {
    m_platform.application = m_application.get();
    m_platform.alerts = m_alerts.get();
    m_platform.urlOpener = m_urlOpener.get();
    m_platform.powerAssertions = m_powerAssertions.get();
    m_platform.powerSource = m_powerSource.get();
    m_platform.settings = m_settings.get();
    m_platform.clock = m_clock.get();
}

LinuxPlatform::~LinuxPlatform() = default;
