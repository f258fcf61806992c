#include "platform/SessionInhibitor.h"

#include <QDBusPendingCallWatcher>
#include <QPointer>

namespace {
// GsmInhibitorFlag: 4 is "suspend"; idle (8) is added only when the screen is to stay on.
constexpr quint32 kInhibitSuspend = 4;
constexpr quint32 kInhibitIdle = 8;
// No window: Korvella lives in the status area only.
constexpr quint32 kNoToplevelWindow = 0;
constexpr int kRetries = 5;
constexpr int kRetryMs = 500;

bool isCookie(const QVariant &value) {
    const int type = value.metaType().id();
    return type == QMetaType::UInt || type == QMetaType::Int;
}

// Where each shape's calls go: its path, interface and the method that gives a cookie back.
struct ShapeCalls {
    QString path;
    QString interface;
    QString uninhibit;
};

ShapeCalls callsOf(SessionInhibitor::Shape shape) {
    if (shape == SessionInhibitor::Shape::GnomeSessionManager)
        return {QStringLiteral("/org/gnome/SessionManager"),
                QStringLiteral("org.gnome.SessionManager"), QStringLiteral("Uninhibit")};
    if (shape == SessionInhibitor::Shape::ScreenSaver)
        return {QStringLiteral("/org/freedesktop/ScreenSaver"),
                QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("UnInhibit")};
    return {QStringLiteral("/org/freedesktop/PowerManagement/Inhibit"),
            QStringLiteral("org.freedesktop.PowerManagement.Inhibit"), QStringLiteral("UnInhibit")};
}
} // namespace

QString SessionInhibitor::serviceName(Shape shape) {
    switch (shape) {
    case Shape::GnomeSessionManager:
        return QStringLiteral("org.gnome.SessionManager");
    case Shape::PowerManagement:
        return QStringLiteral("org.freedesktop.PowerManagement");
    case Shape::ScreenSaver:
        break;
    }
    return QStringLiteral("org.freedesktop.ScreenSaver");
}

QString SessionInhibitor::label() const {
    switch (m_shape) {
    case Shape::GnomeSessionManager:
        return m_screenToo ? QStringLiteral("GNOME session + screen")
                           : QStringLiteral("GNOME session");
    case Shape::PowerManagement:
        return QStringLiteral("PowerManagement");
    case Shape::ScreenSaver:
        break;
    }
    return QStringLiteral("ScreenSaver");
}

SessionInhibitor::SessionInhibitor(Shape shape, const QDBusConnection &sessionBus, QObject *parent)
    : InhibitorLock(parent)
    , m_bus(sessionBus)
    , m_shape(shape) {
    m_giveUp.setSingleShot(true);
    m_giveUp.setInterval(kGiveUpMs);
    connect(&m_giveUp, &QTimer::timeout, this, &SessionInhibitor::giveUp);
}

QDBusMessage SessionInhibitor::inhibitCall() const {
    const ShapeCalls calls = callsOf(m_shape);
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName(m_shape), calls.path,
                                                       calls.interface, QStringLiteral("Inhibit"));
    if (m_shape == Shape::GnomeSessionManager)
        call << applicationName() << kNoToplevelWindow << m_reason
             << (m_screenToo ? kInhibitSuspend | kInhibitIdle : kInhibitSuspend);
    else
        call << applicationName() << m_reason;
    return call;
}

void SessionInhibitor::take(const QString &reason) {
    m_reason = reason;
    if (!m_bus.isConnected()) {
        setState(m_cookie.isValid() ? State::held : State::refused);
        return;
    }
    // Not our child: a call given up when we are gone must still see its answer, to give back
    // a lock granted late.
    auto *call = new QDBusPendingCallWatcher(m_bus.asyncCall(inhibitCall(), kCallTimeoutMs));
    m_call = call;
    connect(call, &QDBusPendingCallWatcher::finished, call,
            [self = QPointer(this), bus = m_bus, shape = m_shape](QDBusPendingCallWatcher *done) {
                done->deleteLater();
                if (self && self->m_call == done)
                    self->answered(done->reply());
                else
                    giveBackLate(bus, shape, done->reply());
            });
    m_giveUp.start();
    if (state() != State::held)
        setState(State::pending);
}

void SessionInhibitor::giveBackLate(const QDBusConnection &bus, Shape shape,
                                    const QDBusMessage &reply) {
    // Given up or replaced: a lock granted now would keep the machine up unseen.
    const QVariant cookie = reply.arguments().value(0);
    if (reply.type() == QDBusMessage::ReplyMessage && isCookie(cookie))
        giveBack(bus, shape, cookie, reply.service());
}

void SessionInhibitor::answered(const QDBusMessage &reply) {
    const QVariant cookie = reply.arguments().value(0);
    const bool granted = reply.type() == QDBusMessage::ReplyMessage && isCookie(cookie);
    m_call = nullptr;
    m_giveUp.stop();
    if (!granted) {
        if (m_retriesLeft > 0) {
            --m_retriesLeft;
            QTimer::singleShot(kRetryMs, this, [this] {
                if (state() == State::pending)
                    take(m_reason);
            });
            return;
        }
        if (!m_cookie.isValid())
            setState(State::refused);
        return;
    }
    // A renewed lock replaces the one held so far only once it is there.
    if (m_cookie.isValid())
        giveBack(m_bus, m_shape, m_cookie, m_owner);
    m_cookie = cookie;
    m_owner = reply.service();
    m_lost = false;
    m_retriesLeft = 0;
    setState(State::held);
}

void SessionInhibitor::giveUp() {
    m_call = nullptr;
    m_retriesLeft = 0;
    if (!m_cookie.isValid())
        setState(State::refused);
}

void SessionInhibitor::giveBack(const QDBusConnection &bus, Shape shape, const QVariant &cookie,
                                const QString &owner) {
    // Sent to the issuing owner only: a new owner's equal cookie belongs to someone else.
    // Not waited for: a hung service must not stall us.
    const ShapeCalls calls = callsOf(shape);
    QDBusMessage call =
        QDBusMessage::createMethodCall(owner, calls.path, calls.interface, calls.uninhibit);
    call << cookie;
    bus.send(call);
}

void SessionInhibitor::release() {
    m_call = nullptr;
    m_giveUp.stop();
    m_retriesLeft = 0;
    m_lost = false;
    if (m_cookie.isValid())
        giveBack(m_bus, m_shape, m_cookie, m_owner);
    m_cookie = QVariant();
    setState(State::released);
}

void SessionInhibitor::verify() {
    if (!m_bus.isConnected())
        return;
    if (m_lost && state() != State::held) {
        // A new owner while we still retry the old one's absence: give it the full tries.
        m_retriesLeft = kRetries;
        if (state() == State::refused)
            take(m_reason);
        return;
    }
    if (state() != State::held)
        return;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    ask << serviceName(m_shape);
    auto *call = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, kGiveUpMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &SessionInhibitor::checkOwner);
}

void SessionInhibitor::checkOwner(QDBusPendingCallWatcher *call) {
    call->deleteLater();
    const QDBusMessage reply = call->reply();
    if (state() != State::held)
        return;
    const QString owner = reply.type() == QDBusMessage::ReplyMessage
                              ? reply.arguments().value(0).toString()
                              : QString();
    if (owner == m_owner)
        return;
    // The service that knew our cookie is gone; ask whoever owns the name now.
    m_cookie = QVariant();
    m_lost = true;
    m_retriesLeft = kRetries;
    take(m_reason);
}
