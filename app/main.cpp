#include "app/AppDelegate.h"
#include "control/ControlCommand.h"
#include "platform/Application.h"
#include "platform/LinuxPlatform.h"
#include "platform/SingleInstanceLock.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {
// Qt aborts when no display can be opened; say plainly what is missing instead.
bool hasDisplay(int argc, char **argv) {
    if (!qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    return false;
}
} // namespace

int main(int argc, char **argv) {
    if (isControlCommand(argc, argv))
        return runControlCommand(argc, argv);
    if (!hasDisplay(argc, argv)) {
        std::fputs("Korvella：找不到圖形桌面（未設定 DISPLAY 或 WAYLAND_DISPLAY），無法啟動。\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
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
