#include "platform/UPowerPowerSourceInfo.h"

#include "DBusPropertiesProxy.h"

namespace {
const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kPath = QStringLiteral("/org/freedesktop/UPower");
const QString kInterface = QStringLiteral("org.freedesktop.UPower");
const QString kOnBattery = QStringLiteral("OnBattery");
// Asked on the main thread: a daemon that hangs must not freeze the menu for long.
constexpr int kCallTimeoutMs = 1000;
} // namespace

UPowerPowerSourceInfo::UPowerPowerSourceInfo(const QDBusConnection &systemBus)
    : m_properties(
          std::make_unique<OrgFreedesktopDBusPropertiesInterface>(kService, kPath, systemBus)) {
    m_properties->setTimeout(kCallTimeoutMs);
}

UPowerPowerSourceInfo::~UPowerPowerSourceInfo() = default;

std::optional<QString> UPowerPowerSourceInfo::providingPowerSourceType() const {
    QDBusPendingReply<QDBusVariant> reply = m_properties->Get(kInterface, kOnBattery);
    reply.waitForFinished();
    if (reply.isError())
        return {};
    const QVariant onBattery = reply.value().variant();
    if (onBattery.metaType() != QMetaType::fromType<bool>())
        return {};
    return onBattery.toBool() ? QStringLiteral("Battery Power") : QStringLiteral("AC Power");
}

bool UPowerPowerSourceInfo::startNotifications(std::function<void()> onChange) {
    if (!m_properties->connection().isConnected())
        return false;
    m_onChange = std::move(onChange);
    if (!m_subscription)
        m_subscription =
            connect(m_properties.get(), &OrgFreedesktopDBusPropertiesInterface::PropertiesChanged,
                    this, &UPowerPowerSourceInfo::propertiesChanged);
    return bool(m_subscription);
}

void UPowerPowerSourceInfo::stopNotifications() {
    disconnect(m_subscription);
    m_subscription = {};
    m_onChange = nullptr;
}

// Any change of the daemon's properties counts, as every power-source event does; the
// receiver compares the state it reads with the one it knows.
void UPowerPowerSourceInfo::propertiesChanged(const QString &interfaceName, const QVariantMap &,
                                              const QStringList &) {
    if (interfaceName == kInterface && m_onChange)
        m_onChange();
}
