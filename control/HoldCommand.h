#pragma once

#include "control/ControlClient.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>
#include <sys/types.h>

class LinuxPowerAssertions;

// `run` and `wait`: keeps the machine awake while a command runs or a process lives. The
// running tray application holds the lock for us (and shows it); without it, we take the
// locks in this process. Either way they go when this process does.
class HoldCommand final : public QObject {
    Q_OBJECT

public:
    explicit HoldCommand(const QDBusConnection &bus, QObject *parent = nullptr);
    ~HoldCommand() override;

    // The command's exit status, 128+N when signal N ended it, 127 when it cannot start.
    int run(const QStringList &command);
    // 0 once the process has ended.
    int wait(pid_t pid);

private:
    void takeHold(const QString &kind, const QString &name);
    void takeLocalLock(const QString &name);
    void release();

    ControlClient m_client;
    std::optional<uint> m_appHold;
    std::unique_ptr<LinuxPowerAssertions> m_local;
    std::optional<quint32> m_localLock;
};
