#include "platform/IniSettingsStore.h"
#include "platform/SettingsKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

int modeOf(const QString &path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QByteArray contentOf(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

int lineCount(const std::string &text) {
    return int(std::count(text.begin(), text.end(), '\n'));
}

// What `run` wrote to stderr.
template <typename Run> std::string stderrOf(Run run) {
    ::testing::internal::CaptureStderr();
    run();
    return ::testing::internal::GetCapturedStderr();
}

class IniSettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    QString dir() const { return m_root.filePath(QStringLiteral("Korvella")); }
    QString path() const { return dir() + QStringLiteral("/Korvella.conf"); }
    void writeFile(const QByteArray &content) {
        QDir().mkpath(dir());
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    // A copy under a new name: nothing cached in this process can stand in for the disk.
    IniSettingsStore relaunched() {
        const QString copy = m_root.filePath(QStringLiteral("copy%1.conf").arg(++m_copies));
        EXPECT_TRUE(QFile::copy(path(), copy));
        return IniSettingsStore(copy);
    }
    QStringList asideFiles() const {
        return QDir(dir()).entryList({QStringLiteral("Korvella.conf.corrupt-*")},
                                     QDir::AllEntries | QDir::Hidden | QDir::System);
    }

    QTemporaryDir m_root;
    int m_copies = 0;
};

// Nothing stored reads as absent (the store knows no key of its own: one of each type stands for
// all). Texts that INI files treat specially come back exactly as typed after a relaunch that
// reads nothing but the file; values of the wrong type read as absent.
TEST_F(IniSettingsStoreTest, ValuesSurviveARelaunchExactlyInAUserOnlyFile) {
    for (IniSettingsStore fresh(path());
         const QString key :
         {SettingsKeys::tgEnabled, SettingsKeys::tgIntervalMinutes, SettingsKeys::tgBotToken}) {
        EXPECT_FALSE(fresh.boolValue(key)) << key.toStdString();
        EXPECT_FALSE(fresh.integerValue(key)) << key.toStdString();
        EXPECT_FALSE(fresh.stringValue(key)) << key.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dir())) << "reading creates nothing";

    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const QString underHome = QDir::homePath() + QStringLiteral("/.config/Korvella/Korvella.conf");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.path()));
    EXPECT_EQ(IniSettingsStore::defaultFilePath(), path());
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(IniSettingsStore::defaultFilePath(), underHome);
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(IniSettingsStore::defaultFilePath(), underHome);
    qputenv("XDG_CONFIG_HOME", saved);
    const QString awkward =
        QStringLiteral(" @at, comma; semi = eq \"quoted\" \\ back\nnew line 防睡眠 ⚠️ ");
    {
        IniSettingsStore store(path());
        store.setBool(SettingsKeys::tgEnabled, true);
        store.setString(SettingsKeys::tgBotToken, awkward);
        store.setString(SettingsKeys::tgChatID, QString());
        store.setInteger(SettingsKeys::tgIntervalMinutes, 45);
        store.setInteger(SettingsKeys::tgIntervalMinutes, -5); // the last write wins
        store.setBool(SettingsKeys::stopOnUnplug, true);
        store.setInteger(SettingsKeys::stopBelowBatteryPercent, 30);
        store.setBool(SettingsKeys::notifyWhenEnded, false);
        store.setBool(SettingsKeys::keepScreenOn, true);
    }
    // The file holds a bot token: the user's alone, the folder too.
    EXPECT_EQ(modeOf(path()), 0600);
    EXPECT_EQ(modeOf(dir()), 0700);
    const IniSettingsStore copy = relaunched();
    EXPECT_EQ(copy.boolValue(SettingsKeys::tgEnabled), true);
    EXPECT_EQ(copy.stringValue(SettingsKeys::tgBotToken), awkward);
    EXPECT_EQ(copy.stringValue(SettingsKeys::tgChatID), QString());
    EXPECT_EQ(copy.integerValue(SettingsKeys::tgIntervalMinutes), -5);
    EXPECT_EQ(copy.boolValue(SettingsKeys::stopOnUnplug), true);
    EXPECT_EQ(copy.integerValue(SettingsKeys::stopBelowBatteryPercent), 30);
    EXPECT_EQ(copy.boolValue(SettingsKeys::notifyWhenEnded), false);
    EXPECT_EQ(copy.boolValue(SettingsKeys::keepScreenOn), true);

    writeFile("[General]\n"
              "tgIntervalMinutes=abc\n"
              "lidSleepEnabled=maybe\n"
              "hasShownLidWakeExplanation=FALSE\n"
              "tgBotToken=12345:abc,def\n"
              "tgChatID=@ByteArray(42)\n"
              "stopOnUnplug=yes\n"
              "stopBelowBatteryPercent=20%\n"
              "[Other]\n"
              "kept=yes\n");
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    std::optional<IniSettingsStore> store;
    EXPECT_EQ(stderrOf([&] { store.emplace(path()); }), "");
    EXPECT_EQ(modeOf(path()), 0600) << "a wider mode is repaired at once, before any write";
    EXPECT_FALSE(store->integerValue(SettingsKeys::tgIntervalMinutes));
    EXPECT_FALSE(store->boolValue(SettingsKeys::lidSleepEnabled));
    EXPECT_EQ(store->boolValue(SettingsKeys::hasShownLidWakeExplanation), false);
    EXPECT_FALSE(store->stringValue(SettingsKeys::tgBotToken)); // an unquoted list, not a text
    EXPECT_FALSE(store->stringValue(SettingsKeys::tgChatID));
    EXPECT_FALSE(store->boolValue(SettingsKeys::stopOnUnplug));
    EXPECT_FALSE(store->integerValue(SettingsKeys::stopBelowBatteryPercent));
    store->setBool(SettingsKeys::lidSleepEnabled, true);
    EXPECT_EQ(store->boolValue(SettingsKeys::lidSleepEnabled), true);
    EXPECT_FALSE(store->integerValue(SettingsKeys::lidSleepEnabled));
    // A write replaces only its own key: the user's other lines stay.
    const QByteArray after = contentOf(path());
    EXPECT_TRUE(after.contains("tgIntervalMinutes=abc")) << after.constData();
    EXPECT_TRUE(after.contains("kept=yes")) << after.constData();
}

TEST_F(IniSettingsStoreTest, CorruptFileIsMovedAsideIntactBeforeTheFirstWrite) {
    const QByteArray damaged =
        "[General\nlidSleepEnabled=true\ntgBotToken=123:abc\n\x01\x02garbage";
    writeFile(damaged);
    std::optional<IniSettingsStore> store;
    const std::string atStart = stderrOf([&] { store.emplace(path()); });
    EXPECT_EQ(lineCount(atStart), 1) << atStart;
    EXPECT_NE(atStart.find(path().toStdString()), std::string::npos) << atStart;
    EXPECT_FALSE(store->boolValue(SettingsKeys::lidSleepEnabled));
    EXPECT_FALSE(store->stringValue(SettingsKeys::tgBotToken));
    EXPECT_EQ(contentOf(path()), damaged); // untouched until something is written
    EXPECT_TRUE(asideFiles().isEmpty());
    const std::string atWrite = stderrOf([&] {
        store->setBool(SettingsKeys::tgEnabled, true);
        store->setBool(SettingsKeys::tgEnabled, false);
    });
    EXPECT_EQ(lineCount(atWrite), 1) << atWrite; // where the old file went
    EXPECT_EQ(atWrite.find("123:abc"), std::string::npos);
    const QStringList aside = asideFiles();
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Korvella\\.conf\\.corrupt-\\d{8}-\\d{6}$"))
                    .match(aside[0])
                    .hasMatch())
        << aside[0].toStdString();
    EXPECT_EQ(contentOf(dir() + QLatin1Char('/') + aside[0]), damaged);
    EXPECT_EQ(IniSettingsStore(path()).boolValue(SettingsKeys::tgEnabled), false);
    EXPECT_FALSE(IniSettingsStore(path()).boolValue(SettingsKeys::lidSleepEnabled));

    // A folder where the file should be cannot be read by anyone, root included: kept too.
    QDir(dir()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(path() + QStringLiteral("/inside")));
    const std::string said =
        stderrOf([&] { IniSettingsStore(path()).setInteger(SettingsKeys::tgIntervalMinutes, 30); });
    EXPECT_EQ(lineCount(said), 2) << said;
    ASSERT_EQ(asideFiles().size(), 1);
    EXPECT_TRUE(QFileInfo::exists(dir() + QLatin1Char('/') + asideFiles()[0] + "/inside"));
    EXPECT_EQ(IniSettingsStore(path()).integerValue(SettingsKeys::tgIntervalMinutes), 30);
}

// A write that fails keeps the value for this run, says so once without the value, and the
// next good write saves everything. The file size limit stands in for a full disk, failing
// the write half-way through; a config folder whose parent is a file fails before writing.
TEST_F(IniSettingsStoreTest, FailedWritesLeaveTheOldFileWholeAndKeepTheValueForThisRun) {
    const QString secret(4096, QLatin1Char('x'));
    IniSettingsStore store(path());
    store.setString(SettingsKeys::tgChatID, QStringLiteral("42"));
    const QByteArray before = contentOf(path());

    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string said = stderrOf([&] {
        store.setString(SettingsKeys::tgBotToken, secret);
        store.setBool(SettingsKeys::lidSleepEnabled, true);
    });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(lineCount(said), 1) << said;
    EXPECT_EQ(said.find("xxxx"), std::string::npos);
    EXPECT_EQ(contentOf(path()), before);
    EXPECT_EQ(store.stringValue(SettingsKeys::tgBotToken), secret);
    EXPECT_EQ(store.boolValue(SettingsKeys::lidSleepEnabled), true);
    store.setBool(SettingsKeys::tgEnabled, true);
    EXPECT_EQ(relaunched().stringValue(SettingsKeys::tgBotToken), secret);

    const QString blocker = m_root.filePath(QStringLiteral("blocker"));
    ASSERT_TRUE(QFile(blocker).open(QIODevice::WriteOnly));
    IniSettingsStore blocked(blocker + QStringLiteral("/Korvella/Korvella.conf"));
    const std::string blockedSaid = stderrOf([&] {
        blocked.setString(SettingsKeys::tgBotToken, QStringLiteral("123:secret"));
        blocked.setBool(SettingsKeys::lidSleepEnabled, true);
    });
    EXPECT_EQ(lineCount(blockedSaid), 1) << blockedSaid;
    EXPECT_EQ(blockedSaid.find("secret"), std::string::npos);
    EXPECT_EQ(blocked.stringValue(SettingsKeys::tgBotToken), QStringLiteral("123:secret"));
}

// Runs only as the child of the test below: writes 1, 2, 3, ... and reports each write done.
TEST(IniSettingsStoreChild, DISABLED_WritesUntilKilled) {
    const QString file = qEnvironmentVariable("KORVELLA_SETTINGS_CHILD_FILE");
    if (file.isEmpty())
        GTEST_SKIP() << "runs only as a child process";
    IniSettingsStore store(file);
    for (long long value = 1;; ++value) {
        store.setInteger(SettingsKeys::tgIntervalMinutes, value);
        std::printf("%lld\n", value);
        std::fflush(stdout);
    }
}

qint64 lastAcknowledged(const QByteArray &output) {
    return output.trimmed().split('\n').constLast().toLongLong(); // one whole line per report
}

TEST_F(IniSettingsStoreTest, AWriterKilledAtAnyMomentLeavesTheLastValueWritten) {
    for (int round = 0; round < 30; ++round) {
        const QString roundDir = m_root.filePath(QStringLiteral("round%1").arg(round));
        const QString file = roundDir + QStringLiteral("/Korvella/Korvella.conf");
        QDir().mkpath(roundDir);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KORVELLA_SETTINGS_CHILD_FILE"), file);
        env.insert(QStringLiteral("TMPDIR"), roundDir); // its own temporary folder dies with it
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_also_run_disabled_tests"),
                     QStringLiteral("--gtest_filter=IniSettingsStoreChild.*")});
        // Kill points: after 1 to 30 reported writes, then up to 3 ms further into the next.
        QByteArray output;
        while (lastAcknowledged(output) < round + 1 && child.waitForReadyRead(10000))
            output += child.readAllStandardOutput();
        ASSERT_GE(lastAcknowledged(output), round + 1) << child.readAllStandardError().constData();
        QThread::usleep(QRandomGenerator::global()->bounded(3000));
        ::kill(pid_t(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(10000));
        const qint64 acknowledged = lastAcknowledged(output + child.readAllStandardOutput());
        QFile(file + ".draft-a1B2c3.checked").open(QIODevice::WriteOnly); // one left for sure
        std::optional<IniSettingsStore> reader;
        EXPECT_EQ(stderrOf([&] { reader.emplace(file); }), "") << "round " << round;
        const auto value = reader->integerValue(SettingsKeys::tgIntervalMinutes);
        ASSERT_TRUE(value) << "round " << round;
        // The write under way when the kill came may have landed, its report not.
        EXPECT_GE(*value, acknowledged) << "round " << round;
        EXPECT_LE(*value, acknowledged + 1) << "round " << round;
        EXPECT_EQ(modeOf(file), 0600);
        // Drafts of a killed run, which may hold a token, are gone once a store opens the file.
        EXPECT_EQ(QDir(QFileInfo(file).path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"Korvella.conf"});
    }
}
} // namespace
