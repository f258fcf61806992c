#include "platform/QtApplication.h"

#include "platform/TrayStatusItem.h"

#include <QCoreApplication>
#include <QDBusConnection>

void QtApplication::terminate() {
    // Leave the event loop; main() returns from there.
    QCoreApplication::quit();
}

std::unique_ptr<StatusItem> QtApplication::createStatusItem() {
    return std::make_unique<TrayStatusItem>(QDBusConnection::sessionBus());
}
