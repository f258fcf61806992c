// The real korvella binary as a user starts it: one per session, and a clear word without a
// display.
#include "tests/support/WaitUntil.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
class KorvellaProcess : public ::testing::Test {
protected:
    // Starts korvella on its own runtime folder; `change` edits the environment first.
    void start(QProcess &process, const std::function<void(QProcessEnvironment &)> &change = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        if (change)
            change(env);
        process.setProcessEnvironment(env);
        process.start(KORVELLA_BINARY, QStringList());
        ASSERT_TRUE(process.waitForStarted(5000));
    }
    // The lock file names the pid of the process that holds it.
    bool lockHeldBy(qint64 pid) const {
        return waitUntil([&] {
            QFile lock(runtime.filePath("korvella.lock"));
            return lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed().toLongLong() == pid;
        });
    }

    QTemporaryDir runtime;
};

TEST_F(KorvellaProcess, ASecondInstanceStepsAsideAndAStaleLockDoesNotBlock) {
    QProcess first, second, third;
    start(first);
    ASSERT_TRUE(lockHeldBy(first.processId()));
    start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains("已在執行中"));
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill(); // SIGKILL leaves the lock file behind
    first.waitForFinished(5000);
    ASSERT_TRUE(QFile::exists(runtime.filePath("korvella.lock")));
    start(third);
    EXPECT_TRUE(lockHeldBy(third.processId()));
    EXPECT_EQ(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished(5000);
}

// Qt itself would abort (and dump core) when no platform plugin loads.
TEST_F(KorvellaProcess, WithoutAUsableDisplayItExplainsInOneLineAndExitsWithStatusOne) {
    for (const QString &wayland : {QString(), runtime.filePath("wayland-nothing")}) {
        QProcess process;
        start(process, [&](QProcessEnvironment &env) {
            for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(name);
            if (!wayland.isEmpty())
                env.insert("WAYLAND_DISPLAY", wayland);
        });
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << wayland.toStdString();
        EXPECT_EQ(process.exitCode(), 1);
        const QString error = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(error.startsWith("Korvella：")) << error.toStdString();
        EXPECT_TRUE(error.contains(wayland.isEmpty() ? "DISPLAY" : "WAYLAND", Qt::CaseInsensitive));
        EXPECT_EQ(error.count('\n'), 1) << "one clear line";
    }
}
} // namespace
