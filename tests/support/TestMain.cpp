// Shared main of every test executable: each process gets its own empty HOME and XDG
// directories and no path to the user's buses, so no test can touch real settings or services.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
void isolateEnvironment(const QString &root) {
    const auto dir = [&](const char *name) {
        const QString path = root + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
        return path.toLocal8Bit();
    };
    qputenv("HOME", dir("home"));
    qputenv("XDG_CONFIG_HOME", dir("config"));
    qputenv("XDG_DATA_HOME", dir("data"));
    qputenv("XDG_CACHE_HOME", dir("cache"));
    qputenv("XDG_STATE_HOME", dir("state"));
    qputenv("XDG_RUNTIME_DIR", dir("runtime"));
    // Unreachable addresses: a backend that forgets to use its test bus fails loudly.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/korvella-test-session");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/korvella-test-system");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
} // namespace

int main(int argc, char **argv) {
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/korvella-test-XXXXXX"));
    if (!root.isValid())
        return 2;
    isolateEnvironment(root.path());
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
