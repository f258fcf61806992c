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
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", previous); }

    QString makeExecutable(const QString &name) const {
        const QString path = bin.path() + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
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

    QTemporaryDir config, bin;
    QByteArray previous;
};

// A path with blanks and the characters the Exec key reserves must still start the program.
TEST_F(XdgAutostart, OurEntryIsValidQuotedAndRemovableAndOnlyOurLiveEntryCounts) {
    const QString program = makeExecutable("/my apps/kor$vel%la\\\"x`");
    XdgAutostartService service(program);
    EXPECT_EQ(service.status(), Status::NotRegistered);
    ASSERT_TRUE(service.registerItem());
    EXPECT_EQ(XdgAutostartService::entryPath(), entryPath());
    const QByteArray text = entry();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    for (const QByteArray &line : QByteArrayList{
             "Type=Application", "Name=Korvella", "Icon=korvella", "X-GNOME-Autostart-enabled=true",
             ("Exec=\"" + bin.path() + "/my apps/kor\\\\$vel%%la\\\\\\\\\\\\\"x\\\\`\"").toUtf8()})
        EXPECT_TRUE(text.contains("\n" + line + "\n")) << line.constData() << "\n" << text.data();
    QProcess validate;
    validate.start("desktop-file-validate", {entryPath()});
    ASSERT_TRUE(validate.waitForFinished(10'000)) << validate.errorString().toStdString();
    const QByteArray verdict = validate.readAll();
    EXPECT_TRUE(validate.exitCode() == 0 && !verdict.contains("error")) << verdict.data();
    EXPECT_EQ(service.status(), Status::Enabled) << "the quoted path reads back";

    ASSERT_TRUE(service.registerItem()) << "registering again rewrites our entry";
    ASSERT_TRUE(service.unregisterItem());
    EXPECT_FALSE(QFile::exists(entryPath()));
    EXPECT_EQ(service.status(), Status::NotRegistered);
    EXPECT_TRUE(service.unregisterItem()) << "nothing to remove is no failure";

    // What the desktop would not start reads as off; what we did not write is never touched.
    const QString plain = makeExecutable("/with blank/korvella");
    XdgAutostartService blank(plain);
    ASSERT_TRUE(blank.registerItem());
    const QByteArray ours = entry();
    EXPECT_TRUE(ours.contains("\nExec=\"" + plain.toUtf8() + "\"\n")) << ours.constData();
    for (const QByteArray &change :
         QByteArrayList{"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
        writeEntry(QByteArray(ours).replace("X-GNOME-Autostart-enabled=true\n", change));
        EXPECT_EQ(blank.status(), Status::NotRegistered) << change.constData();
    }
    writeEntry(ours);
    QFile::rename(plain, plain + ".gone");
    EXPECT_EQ(blank.status(), Status::NotRegistered) << "the program is gone";
    QFile::rename(plain + ".gone", plain);

    const QByteArray foreign =
        "[Desktop Entry]\nType=Application\nName=Mine\nExec=\"" + plain.toUtf8() + "\"\n";
    writeEntry(foreign);
    EXPECT_EQ(blank.status(), Status::NotRegistered);
    EXPECT_FALSE(blank.registerItem());
    EXPECT_FALSE(blank.unregisterItem());
    EXPECT_EQ(entry(), foreign);

    QDir(config.path() + "/autostart").removeRecursively();
    QFile blocker(config.path() + "/autostart"); // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    EXPECT_FALSE(blank.registerItem());
    EXPECT_EQ(blank.status(), Status::NotRegistered);

    for (const QByteArray &value : {QByteArray(), QByteArray("relative/config")}) {
        qputenv("XDG_CONFIG_HOME", value);
        EXPECT_EQ(XdgAutostartService::entryPath(),
                  QDir::homePath() + "/.config/autostart/korvella.desktop");
    }
}

} // namespace
