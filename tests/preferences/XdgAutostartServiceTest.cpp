#include "platform/XdgAutostartService.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Status = LoginItemService::Status;

// Each test gets its own XDG_CONFIG_HOME and an executable to start.
class XdgAutostart : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        previous = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        program = makeExecutable(bin.path() + "/korvella");
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", previous); }

    static QString makeExecutable(const QString &path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    QString entryPath() const { return config.path() + "/autostart/korvella.desktop"; }
    QByteArray entry() const {
        QFile file(entryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeEntry(const QByteArray &text) const {
        QDir().mkpath(config.path() + "/autostart");
        QFile file(entryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    // desktop-file-validate's verdict; its output when it objects.
    static std::pair<bool, QString> validate(const QString &path) {
        QProcess process;
        process.start("desktop-file-validate", {path});
        if (!process.waitForFinished(10'000))
            return {false, "desktop-file-validate did not run: " + process.errorString()};
        const QString output = process.readAll();
        return {process.exitCode() == 0 && !output.contains("error"), output};
    }

    QTemporaryDir config;
    QTemporaryDir bin;
    QByteArray previous;
    QString program;
};

TEST_F(XdgAutostart, RegisterWritesAValidEntryAndUnregisterRemovesIt) {
    XdgAutostartService service(program);
    EXPECT_EQ(service.status(), Status::NotRegistered);
    ASSERT_TRUE(service.registerItem());
    EXPECT_EQ(XdgAutostartService::entryPath(), entryPath());
    const QByteArray text = entry();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    for (const QByteArray &line :
         {QByteArray("Type=Application"), QByteArray("Name=Korvella"), "Exec=" + program.toUtf8(),
          QByteArray("Icon=korvella"), QByteArray("X-GNOME-Autostart-enabled=true")})
        EXPECT_TRUE(text.contains("\n" + line + "\n")) << line.constData();
    const auto [valid, output] = validate(entryPath());
    EXPECT_TRUE(valid) << output.toStdString();
    EXPECT_EQ(service.status(), Status::Enabled);

    ASSERT_TRUE(service.registerItem()) << "registering again rewrites our entry";
    ASSERT_TRUE(service.unregisterItem());
    EXPECT_FALSE(QFile::exists(entryPath()));
    EXPECT_EQ(service.status(), Status::NotRegistered);
    EXPECT_TRUE(service.unregisterItem()) << "nothing to remove is no failure";
}

TEST_F(XdgAutostart, ExecQuotesAPathWithReservedCharacters) {
    const QString odd = makeExecutable(bin.path() + "/my apps/kor$vel%la\\\"x`");
    XdgAutostartService service(odd);
    ASSERT_TRUE(service.registerItem());
    EXPECT_TRUE(entry().contains(
        ("Exec=\"" + bin.path() + "/my apps/kor\\\\$vel%%la\\\\\\\\\\\\\"x\\\\`\"\n").toUtf8()))
        << entry().constData();
    const auto [valid, output] = validate(entryPath());
    EXPECT_TRUE(valid) << output.toStdString();
    EXPECT_EQ(service.status(), Status::Enabled) << "the quoted path reads back";
}

TEST_F(XdgAutostart, SwitchedOffHiddenOrDanglingEntriesAreDisabled) {
    XdgAutostartService service(program);
    ASSERT_TRUE(service.registerItem());
    const QByteArray ours = entry();
    for (const QByteArray &change :
         {QByteArray("Hidden=true\n"), QByteArray("X-GNOME-Autostart-enabled=false\n")}) {
        writeEntry(QByteArray(ours).replace("X-GNOME-Autostart-enabled=true\n", change));
        EXPECT_EQ(service.status(), Status::NotRegistered) << change.constData();
    }
    writeEntry(ours);
    QFile::remove(program);
    EXPECT_EQ(service.status(), Status::NotRegistered) << "the program is gone";
}

TEST_F(XdgAutostart, AForeignEntryOfTheSameNameIsLeftAlone) {
    const QByteArray foreign =
        "[Desktop Entry]\nType=Application\nName=Mine\nExec=" + program.toUtf8() + "\n";
    writeEntry(foreign);
    XdgAutostartService service(program);
    EXPECT_EQ(service.status(), Status::NotRegistered);
    EXPECT_FALSE(service.registerItem());
    EXPECT_FALSE(service.unregisterItem());
    EXPECT_EQ(entry(), foreign);
}

TEST_F(XdgAutostart, AnUnwritableDirectoryFailsTheChange) {
    QFile blocker(config.path() + "/autostart"); // a file where the directory should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    XdgAutostartService service(program);
    EXPECT_FALSE(service.registerItem());
    EXPECT_EQ(service.status(), Status::NotRegistered);
}

TEST_F(XdgAutostart, WithoutAnAbsoluteXdgConfigHomeTheEntryIsUnderDotConfig) {
    for (const QByteArray &value : {QByteArray(), QByteArray("relative/config")}) {
        qputenv("XDG_CONFIG_HOME", value);
        EXPECT_EQ(XdgAutostartService::entryPath(),
                  QDir::homePath() + "/.config/autostart/korvella.desktop");
    }
}

} // namespace
