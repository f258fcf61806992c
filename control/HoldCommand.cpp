#include "control/HoldCommand.h"

#include "control/BusNames.h"
#include "control/ProcessWatcher.h"
#include "platform/LinuxPowerAssertions.h"

#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

#include <csignal>
#include <cstdio>

namespace {
constexpr int kAssertionLevelOn = 255;
constexpr int kCannotStart = 127;
constexpr int kSignalBase = 128;

void warn(const QString &text) {
    std::fprintf(stderr, "korvella：%s\n", qPrintable(text));
}
} // namespace

HoldCommand::HoldCommand(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_client(bus) {}

HoldCommand::~HoldCommand() {
    release();
}

int HoldCommand::run(const QStringList &command) {
    const QString name = QFileInfo(command.first()).fileName();
    QProcess process;
    process.setProgram(command.first());
    process.setArguments(command.mid(1));
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    takeHold(QStringLiteral("command"), name);
    process.start();
    if (!process.waitForStarted(-1)) {
        release();
        warn(QStringLiteral("無法執行「%1」：%2").arg(command.first(), process.errorString()));
        return kCannotStart;
    }
    // Ctrl-C is meant for the command; we report how it ended instead of dying first.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGQUIT, SIG_IGN);
    QEventLoop loop;
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    release();
    // On a crash QProcess reports the number of the signal that ended the command.
    return process.exitStatus() == QProcess::CrashExit ? kSignalBase + process.exitCode()
                                                       : process.exitCode();
}

int HoldCommand::wait(pid_t pid) {
    ProcessWatcher watcher(pid);
    QEventLoop loop;
    connect(&watcher, &ProcessWatcher::ended, &loop, &QEventLoop::quit);
    takeHold(QStringLiteral("process"), ProcessWatcher::nameOf(pid));
    if (ProcessWatcher::exists(pid))
        loop.exec();
    release();
    return 0;
}

void HoldCommand::takeHold(const QString &kind, const QString &name) {
    if (m_client.isAppRunning()) {
        QVariant id;
        if (m_client.call(QStringLiteral("AddHold"), {kind, name}, &id)) {
            m_appHold = id.toUInt();
            // Should the application quit meanwhile, its lock goes with it: take our own.
            auto *watcher =
                new QDBusServiceWatcher(BusNames::service, m_client.connection(),
                                        QDBusServiceWatcher::WatchForUnregistration, this);
            connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this, name] {
                if (!m_appHold)
                    return;
                m_appHold.reset();
                takeLocalLock(name);
            });
            return;
        }
    }
    takeLocalLock(name);
}

void HoldCommand::takeLocalLock(const QString &name) {
    if (!m_local)
        m_local = std::make_unique<LinuxPowerAssertions>(QDBusConnection::systemBus(),
                                                         m_client.connection());
    m_localLock = m_local->create(QStringLiteral("PreventUserIdleSystemSleep"), kAssertionLevelOn,
                                  QStringLiteral("Korvella：%1").arg(name));
    if (!m_localLock)
        warn(QStringLiteral("⚠️ 無法防止睡眠，仍照常繼續。"));
}

void HoldCommand::release() {
    if (m_appHold) {
        m_client.call(QStringLiteral("RemoveHold"), {*m_appHold});
        m_appHold.reset();
    }
    if (m_localLock) {
        m_local->release(*m_localLock);
        m_localLock.reset();
    }
}
