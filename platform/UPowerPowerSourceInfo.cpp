#include "platform/UPowerPowerSourceInfo.h"

#include "DBusPropertiesProxy.h"

#include <algorithm>

namespace {
const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kPath = QStringLiteral("/org/freedesktop/UPower");
const QString kInterface = QStringLiteral("org.freedesktop.UPower");
const QString kOnBattery = QStringLiteral("OnBattery");
const QString kDisplayDevicePath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kDeviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString kPercentage = QStringLiteral("Percentage");
const QString kIsPresent = QStringLiteral("IsPresent");
// Asked on the main thread: a daemon that hangs must not freeze the menu for long.
constexpr int kCallTimeoutMs = 1000;
} // namespace

UPowerPowerSourceInfo::UPowerPowerSourceInfo(const QDBusConnection &systemBus)
    : m_properties(
          std::make_unique<OrgFreedesktopDBusPropertiesInterface>(kService, kPath, systemBus))
    , m_displayDevice(std::make_unique<OrgFreedesktopDBusPropertiesInterface>(
          kService, kDisplayDevicePath, systemBus)) {
    m_properties->setTimeout(kCallTimeoutMs);
    m_displayDevice->setTimeout(kCallTimeoutMs);
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

// The display device stands for the machine's own batteries; on a machine without one it is
// there but not present.
std::optional<double> UPowerPowerSourceInfo::batteryPercentage() const {
    QDBusPendingReply<QVariantMap> reply = m_displayDevice->GetAll(kDeviceInterface);
    reply.waitForFinished();
    if (reply.isError())
        return {};
    const QVariantMap device = reply.value();
    const QVariant percentage = device.value(kPercentage);
    if (!device.value(kIsPresent).toBool() ||
        percentage.metaType() != QMetaType::fromType<double>())
        return {};
    return std::clamp(percentage.toDouble(), 0.0, 100.0);
}

bool UPowerPowerSourceInfo::startNotifications(std::function<void()> onChange) {
    if (!m_properties->connection().isConnected())
        return false;
    m_onChange = std::move(onChange);
    if (!m_subscription)
        m_subscription =
            connect(m_properties.get(), &OrgFreedesktopDBusPropertiesInterface::PropertiesChanged,
                    this, &UPowerPowerSourceInfo::propertiesChanged);
    if (!m_deviceSubscription)
        m_deviceSubscription = connect(m_displayDevice.get(),
                                       &OrgFreedesktopDBusPropertiesInterface::PropertiesChanged,
                                       this, &UPowerPowerSourceInfo::deviceChanged);
    return bool(m_subscription);
}

void UPowerPowerSourceInfo::stopNotifications() {
    disconnect(m_subscription);
    disconnect(m_deviceSubscription);
    m_subscription = {};
    m_deviceSubscription = {};
    m_onChange = nullptr;
}

// The display device changes its energy and time estimates every few seconds on some machines;
// only the charge and the battery's presence are news.
void UPowerPowerSourceInfo::deviceChanged(const QString &interfaceName, const QVariantMap &changed,
                                          const QStringList &invalidated) {
    const QStringList charge{kPercentage, kIsPresent};
    const bool news = std::any_of(charge.begin(), charge.end(), [&](const QString &name) {
        return changed.contains(name) || invalidated.contains(name);
    });
    if (interfaceName == kDeviceInterface && news && m_onChange)
        m_onChange();
}

// Any change of the daemon's properties counts, as every power-source event does; the
// receiver compares the state it reads with the one it knows.
void UPowerPowerSourceInfo::propertiesChanged(const QString &interfaceName, const QVariantMap &,
                                              const QStringList &) {
    if (interfaceName == kInterface && m_onChange)
        m_onChange();
}
