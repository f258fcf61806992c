#include "platform/FreedesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// The installed icon of the capsule, and the desktop file it belongs to.
const QString kIconName = QStringLiteral("io.korvella.Korvella");
constexpr qint32 kServerDefaultTimeout = -1;
// Never waited for; a service that hangs only loses its own notice.
constexpr int kCallTimeoutMs = 10000;
} // namespace

FreedesktopNotifier::FreedesktopNotifier(const QDBusConnection &sessionBus, QObject *parent)
    : QObject(parent)
    , m_bus(sessionBus) {}

void FreedesktopNotifier::notify(const QString &summary, const QString &body) {
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), kIconName}};
    call << QStringLiteral("Korvella") << m_lastID << kIconName << summary << body << QStringList()
         << hints << kServerDefaultTimeout;
    // No notification service means no notice; the error reply is simply dropped.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *done) {
                done->deleteLater();
                const QDBusPendingReply<quint32> reply = *done;
                if (!reply.isError())
                    m_lastID = reply.value();
            });
}
