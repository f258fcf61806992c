#include "app/AppDelegate.h"
#include "control/ControlCommand.h"
#include "platform/Application.h"
#include "platform/GuiPlatformChooser.h"
#include "platform/LinuxPlatform.h"
#include "platform/SingleInstanceLock.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv) {
    if (isControlCommand(argc, argv))
        return runControlCommand(argc, argv);
    const GuiPlatformChooser::Choice choice = GuiPlatformChooser::choose(argc, argv);
    if (!choice.error.isEmpty()) {
        std::fputs(qPrintable(choice.error + QLatin1Char('\n')), stderr);
        return 1;
    }
    if (!choice.platforms.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice.platforms);
    // The display can still go away between the check and the connection, or a platform the
    // user named may not load.
    GuiPlatformChooser::exitCleanlyOnPluginFailure(
        QStringLiteral("Korvella：無法載入圖形平台（%1），無法啟動。")
            .arg(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM"))));
    QApplication app(argc, argv);
    GuiPlatformChooser::restoreMessageHandler();
    QApplication::setApplicationName(QStringLiteral("Korvella"));
    QApplication::setApplicationVersion(AppDelegate::appVersionString());
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstanceLock instanceLock;
    if (!instanceLock.tryLock()) {
        std::fputs("Korvella 已在執行中，不再啟動第二個。\n", stderr);
        return 0;
    }

    LinuxPlatform platform;
    platform.platform().application->setActivationPolicy(Application::ActivationPolicy::Accessory);
    AppDelegate delegate(platform.platform());
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    app.exec();
    return 0;
}
