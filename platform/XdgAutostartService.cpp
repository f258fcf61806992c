#include "platform/XdgAutostartService.h"

#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
const QString kOwnerKey = QStringLiteral("X-Korvella-Autostart");

// An absent file reads as empty entries; an unreadable one as a foreign file we keep away from.
std::optional<DesktopEntry::Entries> readEntry() {
    QFile file(XdgAutostartService::entryPath());
    if (!file.exists())
        return DesktopEntry::Entries{};
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return DesktopEntry::parse(QString::fromUtf8(file.readAll()));
}

bool isOurs(const DesktopEntry::Entries &entries) {
    return entries.value(kOwnerKey) == QLatin1String("true");
}
} // namespace

XdgAutostartService::XdgAutostartService(const QString &executablePath)
    : m_executablePath(executablePath) {}

QString XdgAutostartService::entryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The base directory specification ignores relative paths.
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1String("/autostart/korvella.desktop");
}

QString XdgAutostartService::entryText(const QString &executablePath) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Korvella\n"
                          "Exec=%1\n"
                          "Icon=korvella\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n"
                          "%2=true\n")
        .arg(DesktopEntry::execValue(executablePath), kOwnerKey);
}

LoginItemService::Status XdgAutostartService::status() const {
    const std::optional<DesktopEntry::Entries> entries = readEntry();
    if (!entries || entries->isEmpty() || !isOurs(*entries))
        return Status::NotRegistered;
    if (entries->value(QStringLiteral("Hidden")) == QLatin1String("true") ||
        entries->value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false"))
        return Status::NotRegistered;
    const QFileInfo program(
        DesktopEntry::execProgram(entries->value(QStringLiteral("Exec"))).value_or(QString()));
    return program.isAbsolute() && program.isFile() && program.isExecutable()
               ? Status::Enabled
               : Status::NotRegistered;
}

bool XdgAutostartService::registerItem() {
    const std::optional<DesktopEntry::Entries> entries = readEntry();
    if (!entries || (!entries->isEmpty() && !isOurs(*entries)))
        return false;
    const QString path = entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(entryText(m_executablePath).toUtf8());
    return file.commit();
}

bool XdgAutostartService::unregisterItem() {
    QFile file(entryPath());
    if (!file.exists())
        return true;
    const std::optional<DesktopEntry::Entries> entries = readEntry();
    if (!entries || !isOurs(*entries))
        return false;
    return file.remove();
}
