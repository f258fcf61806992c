#include "control/ControlService.h"

#include "control/BusNames.h"
#include "control/CommandArguments.h"
#include "control/HoldRegistry.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "sleep/KeepAwakeSession.h"
#include "sleep/ProtectiveRules.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcControl, "korvella.control")
constexpr int kMaxHoldNameLength = 40;

// Names come from other processes: one short printable line in the menu.
QString menuSafe(const QString &name) {
    QString safe;
    for (const QChar c : name)
        safe += c.isPrint() ? c : QLatin1Char(' ');
    safe = safe.simplified();
    if (safe.size() > kMaxHoldNameLength)
        safe = safe.left(kMaxHoldNameLength - 1) + QStringLiteral("…");
    return safe;
}
} // namespace

ControlService::ControlService(KeepAwakeSession &session, PowerAssertions &assertions,
                               SettingsStore &settings, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_holds(assertions)
    , m_until(session)
    , m_settings(settings)
    , m_bus(QString()) {
    connect(&m_session, &KeepAwakeSession::changed, this, &ControlService::announceChanges);
    connect(&m_holds, &HoldRegistry::changed, this, [this] {
        announceChanges();
        Q_EMIT changed();
    });
}

bool ControlService::registerOn(QDBusConnection bus) {
    if (!bus.isConnected())
        return false; // no session bus: the tray works on without remote control
    m_bus = bus;
    m_holds.watchOn(bus);
    m_announced = snapshot();
    if (!bus.registerObject(BusNames::objectPath, this,
                            QDBusConnection::ExportAllSlots |
                                QDBusConnection::ExportAllProperties)) {
        qCWarning(lcControl, "cannot export the control object: %s",
                  qPrintable(bus.lastError().message()));
        return false;
    }
    if (!bus.registerService(BusNames::service)) {
        qCWarning(lcControl, "cannot take the bus name %s: %s", qPrintable(BusNames::service),
                  qPrintable(bus.lastError().message()));
        bus.unregisterObject(BusNames::objectPath);
        return false;
    }
    return true;
}

bool ControlService::running() const {
    return m_session.isRunning();
}
bool ControlService::unlimited() const {
    return m_session.isRunning() && m_session.isInfinite();
}
qlonglong ControlService::remainingSeconds() const {
    return unlimited() ? 0 : m_session.remainingSeconds();
}

QString ControlService::until() const {
    if (!running() || unlimited())
        return {};
    const QDateTime end = m_until.isActive()
                              ? m_until.end()
                              : QDateTime::currentDateTime().addSecs(m_session.remainingSeconds());
    return end.toOffsetFromUtc(end.offsetFromUtc()).toString(Qt::ISODate);
}

QString ControlService::statusLine() const {
    const QString line = headline();
    return line.isEmpty() ? QStringLiteral("防睡眠未啟動") : line;
}

QString ControlService::headline() const {
    return m_holds.headline(running(), m_until.statusLine());
}

bool ControlService::startUntil(const QTime &time) {
    if (!m_until.start(CommandArguments::nextOccurrence(time, QDateTime::currentDateTime())))
        return false;
    // The session announced the new period before its end time was known.
    announceChanges();
    Q_EMIT changed();
    return true;
}

QStringList ControlService::holds() const {
    QStringList names;
    for (const HoldRegistry::Hold &hold : m_holds.holds())
        names << hold.name;
    return names;
}

bool ControlService::lidMode() const {
    return m_settings.boolForKey(SettingsKeys::lidSleepEnabled);
}

QStringList ControlService::locks() const {
    return m_session.heldLocks().split(QStringLiteral(", "), Qt::SkipEmptyParts);
}

QVariantMap ControlService::rules() const {
    return ProtectiveRules::inForce(m_settings);
}

void ControlService::Start(uint minutes) {
    if (minutes > uint(CommandArguments::kMaxMinutes)) {
        refuse(QStringLiteral("時間最長 24 小時。"));
        return;
    }
    if (!m_session.startPreventingSleep(int(minutes)))
        reportStartFailure();
}

void ControlService::StartUntil(const QString &clockTime) {
    const auto time = CommandArguments::parseClockTime(clockTime);
    if (!time) {
        refuse(QStringLiteral("時間格式應為 HH:MM。"));
        return;
    }
    if (!startUntil(*time))
        reportStartFailure();
}

void ControlService::Stop() {
    if (m_session.isRunning())
        m_session.stopPreventingSleep();
}

void ControlService::Toggle() {
    if (m_session.isRunning())
        m_session.stopPreventingSleep();
    else if (!m_session.startPreventingSleep(0))
        reportStartFailure();
}

uint ControlService::AddHold(const QString &kind, const QString &name) {
    const bool command = kind == QLatin1String("command");
    if (!command && kind != QLatin1String("process")) {
        refuse(QStringLiteral("不明的種類：%1").arg(menuSafe(kind)));
        return 0;
    }
    const QString caller = calledFromDBus() ? message().service() : QString();
    const auto id = m_holds.add(command ? HoldRegistry::Kind::Command : HoldRegistry::Kind::Process,
                                menuSafe(name), caller);
    if (!id) {
        reportStartFailure();
        return 0;
    }
    return *id;
}

void ControlService::RemoveHold(uint id) {
    const QString caller = calledFromDBus() ? message().service() : QString();
    QString why;
    for (const HoldRegistry::Hold &hold : m_holds.holds()) {
        if (hold.id == id)
            why = hold.kind == HoldRegistry::Kind::Command
                      ? QStringLiteral("「%1」執行完畢").arg(hold.name)
                      : QStringLiteral("「%1」已結束").arg(hold.name);
    }
    if (!m_holds.remove(id, caller)) {
        refuse(QStringLiteral("沒有這個保持。"));
        return;
    }
    if (m_holds.holds().isEmpty() && !m_session.isRunning())
        Q_EMIT holdsFinished(why);
}

void ControlService::reportStartFailure() {
    // The same words the menu's alert uses; the caller decides how to show them.
    if (calledFromDBus())
        sendErrorReply(QDBusError::Failed, QStringLiteral("無法啟動防睡眠，請稍後再試一次。"));
}

bool ControlService::refuse(const QString &message) {
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, message);
    return false;
}

QVariantMap ControlService::snapshot() const {
    return {{QStringLiteral("Running"), running()},
            {QStringLiteral("Unlimited"), unlimited()},
            {QStringLiteral("RemainingSeconds"), remainingSeconds()},
            {QStringLiteral("Until"), until()},
            {QStringLiteral("StatusLine"), statusLine()},
            {QStringLiteral("Holds"), holds()},
            {QStringLiteral("LidMode"), lidMode()},
            {QStringLiteral("Locks"), locks()},
            {QStringLiteral("Rules"), rules()}};
}

void ControlService::announceChanges() {
    if (!m_bus.isConnected())
        return;
    const QVariantMap now = snapshot();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        // The end time moves by a second or so between ticks; only a real change is news.
        if (it.key() == QLatin1String("Until") &&
            it.value().toString().left(16) == m_announced.value(it.key()).toString().left(16))
            continue;
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_announced = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        BusNames::objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << BusNames::interface << changed << QStringList();
    m_bus.send(signal);
}
