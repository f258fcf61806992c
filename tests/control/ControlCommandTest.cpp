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

// "start 1h" -> {"start", "1h"}: the command lines below hold no quoted words.
QStringList words(const char *line) {
    return QString::fromUtf8(line).split(u' ');
}

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
    ::testing::AssertionResult succeeds(const char *line) {
        const Outcome outcome = run(words(line));
        if (outcome.exitCode == 0)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << line << " exited with " << outcome.exitCode << ": " << outcome.err.toStdString();
    }
    QJsonObject status() {
        const Outcome outcome = run(words("status --json"));
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
        return QJsonDocument::fromJson(outcome.out.toUtf8()).object();
    }
    bool running() { return status().value(QStringLiteral("running")).toBool(); }
    bool appRunning() { return bus.mock.connection().interface()->isServiceRegistered(kName); }
    void startApp() {
        app = korvella({});
        ASSERT_TRUE(waitUntil([&] { return appRunning(); }, 15000));
    }
    // What the application shows, read over its bus interface as the tray would.
    bool statusLineIs(const QString &line) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kName, QStringLiteral("/io/korvella/Korvella"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call << QStringLiteral("io.korvella.Korvella1") << QStringLiteral("StatusLine");
        return waitUntil([&] {
            const QDBusMessage reply = bus.mock.connection().call(call);
            return reply.arguments().value(0).value<QDBusVariant>().variant() == line;
        });
    }

    InhibitorBus bus;
    std::unique_ptr<QProcess> app;
};

TEST_F(ControlCommand, StartsStopsAndTogglesThePeriodTheMenuShowsAndRunsWithoutIt) {
    // Idle, and asking does not start the application.
    QJsonObject state = status();
    EXPECT_FALSE(state.value("running").toBool());
    EXPECT_EQ(state.value("status_line").toString(), QStringLiteral("防睡眠未啟動"));
    EXPECT_TRUE(succeeds("stop"));
    // run holds its own lock, without the application.
    auto job = korvella(words("run -- sh -c") << "sleep 2; exit 7");
    EXPECT_TRUE(waitUntil([&] { return bus.inhibitors().size() == 1; }));
    EXPECT_EQ(finish(*job).exitCode, 7);
    EXPECT_TRUE(bus.waitForInhibitors({}));
    EXPECT_FALSE(appRunning());
    // The shell's convention for a command ended by a signal, and for one that cannot start.
    EXPECT_EQ(run(words("run -- sh -c") << "kill -TERM $$").exitCode, 128 + SIGTERM);
    EXPECT_EQ(run(words("run -- /nonexistent/korvella-no-such-command")).exitCode, 127);

    // With no application, start launches it and then acts.
    ASSERT_TRUE(succeeds("start 1h"));
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 1 小時")));
    EXPECT_TRUE(
        bus.waitForInhibitors({{"idle:sleep", "Korvella", "Korvella防睡眠中", "block-weak"}}));
    state = status();
    EXPECT_TRUE(state.value("running").toBool());
    EXPECT_NEAR(state.value("remaining_seconds").toDouble(), 3600, 10);
    EXPECT_EQ(state.value("locks").toArray(), QJsonArray{"logind idle + sleep"});
    EXPECT_EQ(state.value("rules").toObject().value("stop_below_battery_percent"), QJsonValue(0));

    EXPECT_TRUE(succeeds("stop"));
    EXPECT_FALSE(running());
    EXPECT_TRUE(bus.waitForInhibitors({}));

    // Two minutes ahead on the local clock: whole minutes up to that minute, one or two as
    // the command reaches the application.
    const QString soon = QTime::currentTime().addSecs(120).toString(QStringLiteral("HH:mm"));
    ASSERT_TRUE(succeeds(qPrintable("until " + soon)));
    state = status();
    const int remaining = state.value("remaining_seconds").toInt();
    EXPECT_TRUE(remaining > 55 && remaining <= 120) << remaining;
    EXPECT_TRUE(state.value("until").toString().contains(soon + ":00"));
    EXPECT_EQ(state.value("status_line").toString(),
              QStringLiteral("防睡眠中・剩 %1 分・至 %2").arg((remaining + 59) / 60).arg(soon));

    // Toggle ends any period, then starts an unlimited one, as the first menu entry does.
    EXPECT_TRUE(succeeds("toggle"));
    EXPECT_FALSE(running());
    EXPECT_TRUE(succeeds("toggle"));
    state = status();
    EXPECT_TRUE(state.value("unlimited").toBool());
    EXPECT_EQ(state.value("status_line").toString(), QStringLiteral("防睡眠中・無限期"));
}

TEST_F(ControlCommand, HoldsLastAsLongAsTheirCallers) {
    startApp();
    auto job = korvella(words("run -- sh -c") << "sleep 2; exit 7");
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・「sh」執行中")));
    EXPECT_EQ(bus.inhibitors().size(), 1);
    EXPECT_EQ(finish(*job).exitCode, 7);
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠未啟動")));
    EXPECT_TRUE(bus.waitForInhibitors({}));

    // A hold and a period together; the waited-for process's end takes only the hold.
    ASSERT_TRUE(succeeds("start 30m"));
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("2")});
    ASSERT_TRUE(child.waitForStarted());
    auto waiter = korvella({QStringLiteral("wait"), QString::number(child.processId())});
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 30 分・等待「sleep」結束")));
    EXPECT_EQ(bus.inhibitors().size(), 2);
    EXPECT_EQ(finish(*waiter).exitCode, 0);
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 30 分")));

    // A killed caller leaves no hold behind.
    auto killed = korvella(words("run -- sleep 60"));
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

TEST_F(ControlCommand, RefusesBadInputWithoutChangingAnything) {
    startApp();
    for (const char *line :
         {"sleep", "start 0", "start 0m", "start -5m", "start 25h", "start 24h1m", "start 1x",
          "start 1h 2h", "until 25:00", "until 12:60", "until", "wait 999999999", "wait abc", "run",
          "run --", "status --yaml"}) {
        const Outcome outcome = run(words(line));
        EXPECT_EQ(outcome.exitCode, 2) << line;
        const QStringList lines = outcome.err.split(QLatin1Char('\n'));
        EXPECT_TRUE(lines.value(0).startsWith(QStringLiteral("korvella："))) << line;
        EXPECT_EQ(lines.value(1), QStringLiteral("用法：")) << line;
        EXPECT_TRUE(outcome.out.isEmpty()) << line;
    }
    EXPECT_EQ(status().value("status_line").toString(), QStringLiteral("防睡眠未啟動"));
    EXPECT_TRUE(bus.inhibitors().isEmpty());
    // The accepted spellings, for contrast, do start a period.
    ASSERT_TRUE(succeeds("start 1h30m"));
    EXPECT_TRUE(statusLineIs(QStringLiteral("防睡眠中・剩 1 小時 30 分")));
}
} // namespace
