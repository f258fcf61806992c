// Takes one keep-awake assertion on the given bus, optionally starts another program (which
// must not inherit any lock), reports "held <unique bus name> <pid of that program>" and waits
// to be killed.
#include "platform/LinuxPowerAssertions.h"

#include <QCoreApplication>
#include <QProcess>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: korvella_hold_lock BUS-ADDRESS TYPE [PROGRAM ARGS...]\n");
        return 2;
    }
    const QDBusConnection bus = QDBusConnection::connectToBus(arguments[1], QStringLiteral("bus"));
    LinuxPowerAssertions assertions(bus, bus);
    const auto id = assertions.create(arguments[2], 255, QStringLiteral("Korvella防睡眠中"));
    while (id && assertions.state(*id) == PowerAssertions::State::pending)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!id || assertions.state(*id) != PowerAssertions::State::held) {
        std::printf("failed\n");
        return 1;
    }
    qint64 childPid = 0;
    if (arguments.size() > 3 &&
        !QProcess::startDetached(arguments[3], arguments.mid(4), QString(), &childPid))
        return 3;
    std::printf("held %s %lld\n", qPrintable(bus.baseService()), childPid);
    std::fflush(stdout);
    return app.exec();
}
