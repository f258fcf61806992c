#include "platform/TrayWatcher.h"

#include "StatusNotifierWatcherProxy.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {
const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
// Tray managers announce themselves with a client message that Qt does not pass on before its
// own tray code runs, so while waiting the selection is simply asked for again.
constexpr int kXEmbedPollMs = 1000;

// The screen that the DISPLAY variable names; Qt puts its windows there.
int defaultScreenNumber() {
    char *host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen))
        screen = 0;
    std::free(host);
    return screen;
}
} // namespace

TrayWatcher::TrayWatcher(const QDBusConnection &sessionBus, QObject *parent)
    : QObject(parent)
    , m_bus(sessionBus) {
    m_xembedPoll.setInterval(kXEmbedPollMs);
    connect(&m_xembedPoll, &QTimer::timeout, this, &TrayWatcher::checkXEmbed);
}

TrayWatcher::~TrayWatcher() = default;

void TrayWatcher::start() {
    if (!m_bus.isConnected()) {
        startXEmbedPolling();
        noTrayFound();
        return;
    }
    m_serviceWatcher = new QDBusServiceWatcher(kWatcherService, m_bus,
                                               QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_serviceWatcher, &QDBusServiceWatcher::serviceRegistered, this,
            &TrayWatcher::checkStatusNotifierHost);
    m_watcher =
        new OrgKdeStatusNotifierWatcherInterface(kWatcherService, kWatcherPath, m_bus, this);
    connect(m_watcher, &OrgKdeStatusNotifierWatcherInterface::StatusNotifierHostRegistered, this,
            &TrayWatcher::checkStatusNotifierHost);
    checkStatusNotifierHost();
}

// Asks the registry whether a host shows items; the answer arrives later, so a slow or hung
// registry never blocks start-up. The XEmbed check starts only after the first answer, so a
// desktop that offers both gets the D-Bus tray, as Qt would pick it.
void TrayWatcher::checkStatusNotifierHost() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get.setArguments({m_watcher->interface(), QStringLiteral("IsStatusNotifierHostRegistered")});
    auto *call = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
        call->deleteLater();
        const QDBusMessage reply = call->reply();
        const bool hostRegistered =
            reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
            qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
        if (hostRegistered) {
            report(Kind::StatusNotifier);
        } else {
            startXEmbedPolling();
            noTrayFound();
        }
    });
}

void TrayWatcher::startXEmbedPolling() {
    if (m_found != Kind::None || m_xembedPoll.isActive() ||
        !qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        return;
    m_xembedPoll.start();
    checkXEmbed();
}

void TrayWatcher::checkXEmbed() {
    if (xembedTrayExists())
        report(Kind::XEmbed);
}

bool TrayWatcher::xembedTrayExists() {
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(defaultScreenNumber());
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, name.size(), name.constData()), nullptr);
    if (!atom)
        return false;
    // only_if_exists: no atom means no tray manager has ever claimed the selection.
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

void TrayWatcher::noTrayFound() {
    if (m_found != Kind::None || m_saidNoTray)
        return;
    m_saidNoTray = true;
    Q_EMIT noTrayYet();
}

void TrayWatcher::report(Kind kind) {
    if (m_found != Kind::None)
        return;
    m_found = kind;
    m_xembedPoll.stop();
    Q_EMIT trayAppeared(kind);
}
