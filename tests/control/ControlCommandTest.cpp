// The korvella binary driven from the command line against a running tray application (or
// none) on a private bus with logind's mock, as a user's scripts drive it.
#include "tests/support/InhibitorBus.h"
#include "tests/support/WaitUntil.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTime>
#include <gtest/gtest.h>

#include <csignal>

namespace {
const QString kName = QStringLiteral("io.korvella.Korvella");

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

class ControlCommand : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.startLogind()); }
    void TearDown() override {
        // An application the command line launched is not our child: end it by its bus name.
        const QDBusReply<uint> pid = bus.mock.connection().interface()->servicePid(kName);
        if (pid.isValid())
            ::kill(pid.value(), SIGKILL);
        if (app)
            app->waitForFinished(5000);
    }

    std::unique_ptr<QProcess> korvella(const QStringList &arguments) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = bus.mock.environment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(KORVELLA_BINARY), arguments);
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }
    Outcome finish(QProcess &process) {
        EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    Outcome run(const QStringList &arguments) { return finish(*korvella(arguments)); }
    ::testing::AssertionResult succeeds(const QStringList &arguments) {
        const Outcome outcome = run(arguments);
        if (outcome.exitCode == 0)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << arguments.join(QLatin1Char(' ')).toStdString() << " exited with "
               << outcome.exitCode << ": " << outcome.err.toStdString();
    }
    QJsonObject status() {
        const Outcome outcome = run({QStringLiteral("status"), QStringLiteral("--json")});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
        return QJsonDocument::fromJson(outcome.out.toUtf8()).object();
    }
    bool appRunning() { return bus.mock.connection().interface()->isServiceRegistered(kName); }
    void startApp() {
        app = korvella({});
        ASSERT_TRUE(waitUntil([&] { return appRunning(); }, 15000));
    }
    QVariant property(const QString &name) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kName, QStringLiteral("/io/korvella/Korvella"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call << QStringLiteral("io.korvella.Korvella1") << name;
        const QDBusMessage reply = bus.mock.connection().call(call);
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    bool statusLineIs(const QString &line) {
        return waitUntil([&] { return property(QStringLiteral("StatusLine")) == line; });
    }

    InhibitorBus bus;
    std::unique_ptr<QProcess> app;
};

TEST_F(ControlCommand, StartsStopsAndTogglesThePeriodTheMenuShows) {
    // Idle, and asking does not start the application.
    QJsonObject state = status();
    EXPECT_FALSE(state.value(QStringLiteral("running")).toBool());
    EXPECT_EQ(state.value(QStringLiteral("status_line")).toString(),
              QStringLiteral("防睡眠未啟動"));
    EXPECT_TRUE(succeeds({QStringLiteral("stop")}));
    EXPECT_FALSE(appRunning());

    // With no application, start launches it and then acts.
    ASSERT_TRUE(succeeds({QStringLiteral("start"), QStringLiteral("1h")}));
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 1 小時")));
    EXPECT_TRUE(bus.waitForInhibitors(
        {{QStringLiteral("idle:sleep"), QStringLiteral("Korvella"),
          QStringLiteral("Korvella防睡眠中"), QStringLiteral("block-weak")}}));
    state = status();
    EXPECT_TRUE(state.value(QStringLiteral("running")).toBool());
    EXPECT_FALSE(state.value(QStringLiteral("unlimited")).toBool());
    EXPECT_NEAR(state.value(QStringLiteral("remaining_seconds")).toDouble(), 3600, 10);
    EXPECT_EQ(state.value(QStringLiteral("locks")).toArray(),
              QJsonArray{QStringLiteral("logind idle + sleep")});
    EXPECT_TRUE(state.value(QStringLiteral("until")).isString());

    EXPECT_TRUE(succeeds({QStringLiteral("stop")}));
    EXPECT_FALSE(status().value(QStringLiteral("running")).toBool());
    EXPECT_TRUE(bus.waitForInhibitors({}));

    // Two minutes ahead on the local clock: whole minutes up to that minute, one or two as
    // the command reaches the application.
    const QString soon = QTime::currentTime().addSecs(120).toString(QStringLiteral("HH:mm"));
    ASSERT_TRUE(succeeds({QStringLiteral("until"), soon}));
    state = status();
    const int remaining = state.value(QStringLiteral("remaining_seconds")).toInt();
    EXPECT_TRUE(remaining > 55 && remaining <= 120) << remaining;
    EXPECT_TRUE(
        state.value(QStringLiteral("until")).toString().contains(soon + QStringLiteral(":00")));
    EXPECT_EQ(state.value(QStringLiteral("status_line")).toString(),
              QStringLiteral("防睡眠中・剩 %1 分・至 %2").arg((remaining + 59) / 60).arg(soon));

    // Toggle ends any period, then starts an unlimited one, as the first menu entry does.
    EXPECT_TRUE(succeeds({QStringLiteral("toggle")}));
    EXPECT_FALSE(status().value(QStringLiteral("running")).toBool());
    EXPECT_TRUE(succeeds({QStringLiteral("toggle")}));
    state = status();
    EXPECT_TRUE(state.value(QStringLiteral("unlimited")).toBool());
    EXPECT_EQ(state.value(QStringLiteral("status_line")).toString(),
              QStringLiteral("防睡眠中・無限期"));
}

TEST_F(ControlCommand, HoldsLastAsLongAsTheirCallers) {
    startApp();
    auto job = korvella({QStringLiteral("run"), QStringLiteral("--"), QStringLiteral("sh"),
                         QStringLiteral("-c"), QStringLiteral("sleep 2; exit 7")});
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・「sh」執行中")));
    EXPECT_EQ(bus.inhibitors().size(), 1);
    EXPECT_EQ(finish(*job).exitCode, 7);
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠未啟動")));
    EXPECT_TRUE(bus.waitForInhibitors({}));

    // A hold and a period together; the waited-for process's end takes only the hold.
    ASSERT_TRUE(succeeds({QStringLiteral("start"), QStringLiteral("30m")}));
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("2")});
    ASSERT_TRUE(child.waitForStarted());
    auto waiter = korvella({QStringLiteral("wait"), QString::number(child.processId())});
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 30 分・等待「sleep」結束")));
    EXPECT_EQ(bus.inhibitors().size(), 2);
    EXPECT_EQ(finish(*waiter).exitCode, 0);
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 30 分")));

    // A killed caller leaves no hold behind.
    auto killed = korvella({QStringLiteral("run"), QStringLiteral("--"), QStringLiteral("sleep"),
                            QStringLiteral("60")});
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 30 分・「sleep」執行中")));
    int sleeper = 0;
    ASSERT_TRUE(waitUntil([&] {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(killed->processId()));
        return children.open(QIODevice::ReadOnly) &&
               (sleeper = children.readAll().trimmed().toInt()) > 0;
    }));
    killed->kill();
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 30 分")));
    EXPECT_TRUE(waitUntil([&] { return bus.inhibitors().size() == 1; }));
    ::kill(sleeper, SIGKILL);
}

TEST_F(ControlCommand, RunsWithoutTheApplicationHoldingItsOwnLock) {
    auto job = korvella({QStringLiteral("run"), QStringLiteral("--"), QStringLiteral("sh"),
                         QStringLiteral("-c"), QStringLiteral("sleep 2; exit 7")});
    EXPECT_TRUE(waitUntil([&] { return bus.inhibitors().size() == 1; }));
    EXPECT_EQ(finish(*job).exitCode, 7);
    EXPECT_TRUE(bus.waitForInhibitors({}));
    EXPECT_FALSE(appRunning());
    // The shell's convention for a command ended by a signal, and for one that cannot start.
    EXPECT_EQ(run({QStringLiteral("run"), QStringLiteral("--"), QStringLiteral("sh"),
                   QStringLiteral("-c"), QStringLiteral("kill -TERM $$")})
                  .exitCode,
              128 + SIGTERM);
    EXPECT_EQ(run({QStringLiteral("run"), QStringLiteral("--"),
                   QStringLiteral("/nonexistent/korvella-no-such-command")})
                  .exitCode,
              127);
}

TEST_F(ControlCommand, RefusesBadInputWithoutChangingAnything) {
    startApp();
    const QList<QStringList> bad{
        {QStringLiteral("sleep")},
        {QStringLiteral("start"), QStringLiteral("0")},
        {QStringLiteral("start"), QStringLiteral("0m")},
        {QStringLiteral("start"), QStringLiteral("-5m")},
        {QStringLiteral("start"), QStringLiteral("25h")},
        {QStringLiteral("start"), QStringLiteral("24h1m")},
        {QStringLiteral("start"), QStringLiteral("1x")},
        {QStringLiteral("start"), QStringLiteral("1h"), QStringLiteral("2h")},
        {QStringLiteral("until"), QStringLiteral("25:00")},
        {QStringLiteral("until"), QStringLiteral("12:60")},
        {QStringLiteral("until")},
        {QStringLiteral("wait"), QStringLiteral("999999999")},
        {QStringLiteral("wait"), QStringLiteral("abc")},
        {QStringLiteral("run")},
        {QStringLiteral("run"), QStringLiteral("--")},
        {QStringLiteral("status"), QStringLiteral("--yaml")},
    };
    for (const QStringList &arguments : bad) {
        const Outcome outcome = run(arguments);
        const QString context = arguments.join(QLatin1Char(' '));
        EXPECT_EQ(outcome.exitCode, 2) << context.toStdString();
        const QStringList lines = outcome.err.split(QLatin1Char('\n'));
        EXPECT_TRUE(lines.value(0).startsWith(QStringLiteral("korvella：")))
            << context.toStdString();
        EXPECT_EQ(lines.value(1), QStringLiteral("用法：")) << context.toStdString();
        EXPECT_TRUE(outcome.out.isEmpty()) << context.toStdString();
    }
    EXPECT_EQ(status().value(QStringLiteral("status_line")).toString(),
              QStringLiteral("防睡眠未啟動"));
    EXPECT_TRUE(bus.inhibitors().isEmpty());
    // The accepted spellings, for contrast, do start a period.
    ASSERT_TRUE(succeeds({QStringLiteral("start"), QStringLiteral("1h30m")}));
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 1 小時 30 分")));
}
} // namespace
