#include "platform/SysfsPowerSourceInfo.h"

#include <QDir>
#include <QFile>
#include <algorithm>

SysfsPowerSourceInfo::SysfsPowerSourceInfo(const QString &root,
                                           std::chrono::milliseconds pollInterval)
    : m_root(root) {
    m_timer.setInterval(pollInterval);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
}

QString SysfsPowerSourceInfo::attribute(const QString &supply, const QString &name) const {
    QFile file(m_root + QLatin1Char('/') + supply + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(256)).trimmed();
}

// A USB Type-C port that only gives power away does not power this machine; a port whose
// role cannot be read is taken as taking power.
bool SysfsPowerSourceInfo::isPowerSink(const QString &supply) const {
    const QDir ports(m_root + QLatin1Char('/') + supply + QStringLiteral("/device/typec"));
    bool source = false;
    for (const QString &port : ports.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(ports.filePath(port) + QStringLiteral("/power_role"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray role = file.read(64);
        if (role.contains("[sink]"))
            return true;
        source = source || role.contains("[source]");
    }
    return !source;
}

// Batteries of attached devices (mice, phones) and absent batteries do not count.
bool SysfsPowerSourceInfo::isOwnBattery(const QString &supply) const {
    return attribute(supply, QStringLiteral("type")) == QLatin1String("Battery") &&
           attribute(supply, QStringLiteral("scope")) != QLatin1String("Device") &&
           attribute(supply, QStringLiteral("present")) != QLatin1String("0");
}

// A battery whose status cannot be read is taken as discharging.
bool SysfsPowerSourceInfo::isDischargingBattery(const QString &supply) const {
    if (!isOwnBattery(supply))
        return false;
    const QString status = attribute(supply, QStringLiteral("status"));
    return status.isEmpty() || status == QLatin1String("Discharging");
}

std::optional<QString> SysfsPowerSourceInfo::providingPowerSourceType() const {
    bool anySupply = false;
    bool discharging = false;
    const QDir root(m_root);
    for (const QString &supply : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString type = attribute(supply, QStringLiteral("type"));
        if (type.isEmpty())
            continue;
        anySupply = true;
        if (type == QLatin1String("USB") && !isPowerSink(supply))
            continue;
        if (type == QLatin1String("Battery")) {
            discharging = discharging || isDischargingBattery(supply);
            continue;
        }
        if (attribute(supply, QStringLiteral("online")).toUInt() > 0)
            return QStringLiteral("AC Power");
    }
    if (!anySupply)
        return {};
    return discharging ? QStringLiteral("Battery Power") : QStringLiteral("AC Power");
}

std::optional<double> SysfsPowerSourceInfo::batteryPercentage() const {
    double sum = 0;
    int batteries = 0;
    for (const QString &supply : QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool readable = false;
        const int capacity = attribute(supply, QStringLiteral("capacity")).toInt(&readable);
        if (!readable || !isOwnBattery(supply))
            continue;
        sum += std::clamp(capacity, 0, 100);
        ++batteries;
    }
    if (batteries == 0)
        return {};
    return sum / batteries;
}

bool SysfsPowerSourceInfo::startNotifications(std::function<void()> onChange) {
    if (!QDir(m_root).exists())
        return false;
    m_onChange = std::move(onChange);
    m_lastType = providingPowerSourceType();
    m_lastPercentage = batteryPercentage();
    m_timer.start();
    return true;
}

void SysfsPowerSourceInfo::stopNotifications() {
    m_timer.stop();
    m_onChange = nullptr;
}

void SysfsPowerSourceInfo::poll() {
    const auto type = providingPowerSourceType();
    const auto percentage = batteryPercentage();
    if (type == m_lastType && percentage == m_lastPercentage)
        return;
    m_lastType = type;
    m_lastPercentage = percentage;
    if (m_onChange)
        m_onChange();
}
