// The real korvella binary as a user starts it: one per session, and a clear word without a
// display.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {
class KorvellaProcess : public ::testing::Test {
protected:
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    void start(QProcess &process) const {
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(KORVELLA_BINARY), {});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    // The lock file names the pid of the process that holds it.
    bool lockHeldBy(qint64 pid, int timeoutMs = 5000) const {
        for (int waited = 0; waited < timeoutMs; waited += 50) {
            QFile lock(runtime.filePath(QStringLiteral("korvella.lock")));
            if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed().toLongLong() == pid)
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    static void kill(QProcess &process) {
        process.kill();
        process.waitForFinished(5000);
    }

    QTemporaryDir runtime;
};

TEST_F(KorvellaProcess, ASecondInstanceStepsAsideAndAStaleLockDoesNotBlock) {
    QProcess first;
    start(first);
    ASSERT_TRUE(lockHeldBy(first.processId()));

    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains("已在執行中"));
    EXPECT_EQ(first.state(), QProcess::Running);

    kill(first); // SIGKILL leaves the lock file behind
    ASSERT_TRUE(QFile::exists(runtime.filePath(QStringLiteral("korvella.lock"))));
    QProcess third;
    start(third);
    EXPECT_TRUE(lockHeldBy(third.processId()));
    EXPECT_EQ(third.state(), QProcess::Running);
    kill(third);
}

// Qt itself would abort (and dump core) when no platform plugin loads.
TEST_F(KorvellaProcess, WithoutAUsableDisplayItExplainsInOneLineAndExitsWithStatusOne) {
    const QString nowhere = runtime.filePath(QStringLiteral("wayland-nothing"));
    const QList<QStringList> cases{{}, {QStringLiteral("WAYLAND_DISPLAY"), nowhere}};
    for (const QStringList &set : cases) {
        QProcessEnvironment env = environment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (!set.isEmpty())
            env.insert(set[0], set[1]);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(KORVELLA_BINARY), {});
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << set.join('=').toStdString();
        EXPECT_EQ(process.exitCode(), 1);
        const QString error = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(error.startsWith("Korvella：")) << error.toStdString();
        EXPECT_TRUE(
            error.contains(set.isEmpty() ? QStringLiteral("DISPLAY") : QStringLiteral("WAYLAND"),
                           Qt::CaseInsensitive))
            << error.toStdString();
        EXPECT_EQ(error.count('\n'), 1) << "one clear line";
    }
}
} // namespace
