#include "platform/LogindInhibitor.h"

#include "LogindManagerProxy.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kLidSwitch = QStringLiteral("handle-lid-switch");

// ListInhibitors' a(ssssuu): what, who, why, mode, uid, pid.
bool listsLock(const QDBusArgument &array, const QString &what, const QString &who,
               const QString &why) {
    bool found = false;
    array.beginArray();
    while (!array.atEnd()) {
        QString listedWhat, listedWho, listedWhy, mode;
        quint32 uid = 0, pid = 0;
        array.beginStructure();
        array >> listedWhat >> listedWho >> listedWhy >> mode >> uid >> pid;
        array.endStructure();
        found = found || (listedWhat == what && listedWho == who && listedWhy == why);
    }
    array.endArray();
    return found;
}
} // namespace

LogindInhibitor::LogindInhibitor(const QDBusConnection &systemBus, const QString &what,
                                 QObject *parent)
    : InhibitorLock(parent)
    , m_bus(systemBus)
    , m_what(what) {
    m_giveUp.setSingleShot(true);
    m_giveUp.setInterval(kGiveUpMs);
    connect(&m_giveUp, &QTimer::timeout, this, &LogindInhibitor::giveUp);
}

void LogindInhibitor::take(const QString &reason) {
    m_reason = reason;
    if (!m_bus.isConnected()) {
        setState(m_fd.isValid() ? State::held : State::refused);
        return;
    }
    // "block-weak" leaves the user's own explicit suspend possible; systemd before 257 knows
    // only "block" and rejects the newer mode as an invalid argument.
    inhibit(QStringLiteral("block-weak"));
    m_giveUp.start();
    if (state() != State::held)
        setState(State::pending);
}

void LogindInhibitor::inhibit(const QString &mode) {
    OrgFreedesktopLogin1ManagerInterface manager(kService, kPath, m_bus);
    manager.setTimeout(kCallTimeoutMs);
    auto *call = new QDBusPendingCallWatcher(
        manager.Inhibit(m_what, applicationName(), m_reason, mode), this);
    m_call = call;
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, mode](QDBusPendingCallWatcher *finished) { answered(finished, mode); });
}

void LogindInhibitor::answered(QDBusPendingCallWatcher *call, const QString &mode) {
    call->deleteLater();
    if (call != m_call)
        return;
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
    if (reply.isError() && reply.error().type() == QDBusError::InvalidArgs &&
        mode == QLatin1String("block-weak")) {
        inhibit(QStringLiteral("block"));
        return;
    }
    m_call = nullptr;
    m_giveUp.stop();
    if (!reply.isError() && reply.value().isValid()) {
        m_fd = reply.value();
        setState(State::held);
    } else if (!m_fd.isValid()) {
        setState(State::refused);
    }
}

void LogindInhibitor::giveUp() {
    m_call = nullptr;
    if (!m_fd.isValid())
        setState(State::refused);
}

void LogindInhibitor::release() {
    m_call = nullptr;
    m_giveUp.stop();
    m_fd = QDBusUnixFileDescriptor();
    setState(State::released);
}

void LogindInhibitor::verify() {
    if (state() != State::held || !m_bus.isConnected())
        return;
    const QDBusMessage list = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                             QStringLiteral("ListInhibitors"));
    auto *call = new QDBusPendingCallWatcher(m_bus.asyncCall(list, kGiveUpMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &LogindInhibitor::checkListed);
}

void LogindInhibitor::checkListed(QDBusPendingCallWatcher *call) {
    call->deleteLater();
    const QDBusMessage reply = call->reply();
    // An unanswered check proves nothing: keep what we hold.
    if (state() != State::held || reply.type() != QDBusMessage::ReplyMessage)
        return;
    const auto array = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
    if (listsLock(array, m_what, applicationName(), m_reason))
        return;
    // logind forgot the lock (it restarted, or dropped it over a suspend): our fd is worth
    // nothing now.
    m_fd = QDBusUnixFileDescriptor();
    take(m_reason);
}

bool LogindInhibitor::holdsLidSwitch() const {
    return state() == State::held && m_what.split(u':').contains(kLidSwitch);
}

QString LogindInhibitor::label() const {
    QStringList parts = m_what.split(u':');
    parts.replaceInStrings(kLidSwitch, QStringLiteral("lid"));
    return QStringLiteral("logind ") + parts.join(QStringLiteral(" + "));
}
