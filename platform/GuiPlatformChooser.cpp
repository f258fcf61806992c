#include "platform/GuiPlatformChooser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {
QtMessageHandler g_previousHandler = nullptr;
QByteArray g_failureLine;

void pluginFailureHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg) {
    if (type == QtFatalMsg && msg.contains(QLatin1String("platform plugin"))) {
        std::fputs(g_failureLine.constData(), stderr);
        std::_Exit(1);
    }
    if (g_previousHandler)
        g_previousHandler(type, context, msg);
}

bool namedOnCommandLine(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    return false;
}

QString unreachableLine(const QString &wayland, const QString &x11) {
    QStringList displays;
    if (!wayland.isEmpty())
        displays << QStringLiteral("WAYLAND_DISPLAY=") + wayland;
    if (!x11.isEmpty())
        displays << QStringLiteral("DISPLAY=") + x11;
    return QStringLiteral("Korvella：無法連上圖形桌面（%1），無法啟動。")
        .arg(displays.join(QStringLiteral("、")));
}
} // namespace

GuiPlatformChooser::Choice GuiPlatformChooser::choose(int argc, char **argv) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || namedOnCommandLine(argc, argv))
        return {qgetenv("QT_QPA_PLATFORM"), {}};
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    const QString x11 = qEnvironmentVariable("DISPLAY");
    if (wayland.isEmpty() && x11.isEmpty()) {
        return {{},
                QStringLiteral("Korvella：找不到圖形桌面（未設定 DISPLAY 或 WAYLAND_DISPLAY），"
                               "無法啟動。")};
    }
    QByteArrayList usable;
    const bool waylandPlugin = pluginInstalled(QStringLiteral("libqwayland-"));
    if (!wayland.isEmpty() && waylandPlugin && waylandAnswers(wayland))
        usable << "wayland";
    if (!x11.isEmpty() && pluginInstalled(QStringLiteral("libqxcb")) && x11Answers())
        usable << "xcb";
    if (!usable.isEmpty())
        return {usable.join(';'), {}};
    if (!wayland.isEmpty() && !waylandPlugin && x11.isEmpty()) {
        return {{},
                QStringLiteral("Korvella：缺少 Wayland 的 Qt 平台外掛（請安裝 qt6-wayland），"
                               "無法啟動。")};
    }
    return {{}, unreachableLine(wayland, x11)};
}

void GuiPlatformChooser::exitCleanlyOnPluginFailure(const QString &line) {
    g_failureLine = line.toUtf8() + '\n';
    g_previousHandler = qInstallMessageHandler(pluginFailureHandler);
}

void GuiPlatformChooser::restoreMessageHandler() {
    qInstallMessageHandler(g_previousHandler);
    g_previousHandler = nullptr;
}

bool GuiPlatformChooser::pluginInstalled(const QString &prefix) {
    QStringList dirs;
    const QString pluginPath = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
    if (!pluginPath.isEmpty())
        dirs << pluginPath;
    for (const QString &path : QCoreApplication::libraryPaths())
        dirs << path + QStringLiteral("/platforms");
    for (const QString &dir : std::as_const(dirs)) {
        if (!QDir(dir).entryList({prefix + QLatin1Char('*')}, QDir::Files).isEmpty())
            return true;
    }
    return false;
}

// The compositor's socket: a relative name lives in the runtime directory.
bool GuiPlatformChooser::waylandAnswers(const QString &display) {
    QString path = display;
    if (!path.startsWith(QLatin1Char('/')))
        path = qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + display;
    const QByteArray bytes = QFile::encodeName(path);
    sockaddr_un address{};
    if (bytes.size() >= qsizetype(sizeof address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

bool GuiPlatformChooser::x11Answers() {
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool answers = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return answers;
}
