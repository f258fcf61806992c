#pragma once

#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <QObject>

// Notices through the desktop's notification service on the session bus. A new notice replaces
// the previous one still on screen, so notices never pile up.
class FreedesktopNotifier final : public QObject, public DesktopNotifier {
    Q_OBJECT

public:
    explicit FreedesktopNotifier(const QDBusConnection &sessionBus, QObject *parent = nullptr);

    void notify(const QString &summary, const QString &body) override;

private:
    QDBusConnection m_bus;
    quint32 m_lastID = 0;
};
