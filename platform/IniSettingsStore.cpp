#include "platform/IniSettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <algorithm>
#include <cstdio>
#include <stdio.h>

namespace {
constexpr QFileDevice::Permissions kUserOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kUserOnlyDir = kUserOnly | QFileDevice::ExeOwner;
// The owner, group and other bits; the "user" bits only repeat the owner's for its owner.
constexpr QFileDevice::Permissions kModeBits = QFileDevice::Permissions::fromInt(0x7077);

void say(const QString &line) {
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

// In one step, as rename(2) does; QFile::rename refuses an existing target.
bool replaceFile(const QString &from, const QString &to) {
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

IniSettingsStore::IniSettingsStore(const QString &filePath)
    : m_path(filePath) {
    load();
}

// WORKAROUND: Qt 6.4 takes a relative $XDG_CONFIG_HOME as it is, which would put the settings
// wherever Korvella was started from; the XDG rules say to ignore it.
QString IniSettingsStore::defaultFilePath() {
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/Korvella/Korvella.conf");
}

void IniSettingsStore::load() {
    removeLeftoverDrafts();
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink())
        return;
    bool readable = info.isFile();
    if (readable) {
        QSettings file(m_path, QSettings::IniFormat);
        const QStringList keys = file.allKeys(); // parses every section, so errors show now
        readable = file.status() == QSettings::NoError;
        for (const QString &key : keys)
            m_values.insert(key, file.value(key));
    }
    if (!readable) {
        m_values.clear();
        m_badFileToMoveAside = true;
        say(QStringLiteral("Korvella：設定檔 %1 無法讀取或內容已損毀，這次以未設定的狀態啟動；"
                           "第一次儲存設定前會把它改名為 %2.corrupt-<時間> 保留下來。")
                .arg(m_path, info.fileName()));
        return;
    }
    restrictPermissions();
}

// The file holds a bot token: whatever mode it was left with, only the user may read it.
void IniSettingsStore::restrictPermissions() const {
    QFile file(m_path);
    if (file.exists() && (file.permissions() & kModeBits) != kUserOnly)
        file.setPermissions(kUserOnly);
}

// Drafts of a run that was killed while writing: the file itself is always whole.
void IniSettingsStore::removeLeftoverDrafts() const {
    const QFileInfo info(m_path);
    const QDir dir = info.absoluteDir();
    const QString pattern = info.fileName() + QStringLiteral(".draft-*");
    for (const QString &name : dir.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(dir.filePath(name));
}

std::optional<QString> IniSettingsStore::text(const QString &key) const {
    const QVariant value = m_values.value(key);
    if (value.metaType() != QMetaType::fromType<QString>())
        return {};
    return value.toString();
}

std::optional<bool> IniSettingsStore::boolValue(const QString &key) const {
    const auto value = text(key);
    if (!value)
        return {};
    if (value->compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || *value == u'1')
        return true;
    if (value->compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || *value == u'0')
        return false;
    return {};
}

std::optional<qint64> IniSettingsStore::integerValue(const QString &key) const {
    const auto value = text(key);
    bool ok = false;
    const qint64 number = value ? value->toLongLong(&ok) : 0;
    if (!ok)
        return {};
    return number;
}

std::optional<QString> IniSettingsStore::stringValue(const QString &key) const {
    return text(key);
}

void IniSettingsStore::setBool(const QString &key, bool value) {
    write(key, boolText(value));
}

void IniSettingsStore::setInteger(const QString &key, qint64 value) {
    write(key, QString::number(value));
}

void IniSettingsStore::setString(const QString &key, const QString &value) {
    write(key, value);
}

// The value holds for this run whatever happens on disk; the file gets every value this store
// holds, so one that failed to land before lands with the next write that succeeds.
void IniSettingsStore::write(const QString &key, const QString &text) {
    m_values.insert(key, text);
    const bool ok = persist();
    if (!ok && !m_lastWriteFailed)
        say(QStringLiteral("Korvella：無法寫入設定檔 %1（目錄唯讀或磁碟已滿？），"
                           "這次的變更只保留到 Korvella 結束為止。")
                .arg(m_path));
    m_lastWriteFailed = !ok;
}

// WORKAROUND: QSettings (Qt 6.4) writes through QSaveFile, but its commit misses a write error
// raised while flushing, so on a full disk it renames a truncated file over the good one. So
// the settings are written to a draft of mode 0600 beside the file, read back from disk under
// a name QSettings has not cached, and only a complete draft replaces the file.
bool IniSettingsStore::persist() {
    if (m_badFileToMoveAside && !moveBadFileAside())
        return false;
    if (!prepareFolder())
        return false;
    QTemporaryFile draft(m_path + QStringLiteral(".draft-XXXXXX"));
    if (!draft.open())
        return false;
    const QString draftPath = draft.fileName(); // gives the file its name while it is open
    draft.close();
    const QString checked = draftPath + QStringLiteral(".checked");
    const bool ok = writeDraft(draftPath) && QFile::rename(draftPath, checked) &&
                    readsBack(checked) && replaceFile(checked, m_path);
    if (!ok)
        QFile::remove(checked);
    return ok;
}

bool IniSettingsStore::writeDraft(const QString &path) const {
    QSettings draft(path, QSettings::IniFormat);
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        draft.setValue(it.key(), it.value());
    draft.sync();
    return draft.status() == QSettings::NoError;
}

bool IniSettingsStore::readsBack(const QString &path) const {
    QSettings file(path, QSettings::IniFormat);
    const QStringList keys = file.allKeys();
    if (file.status() != QSettings::NoError || keys.size() != m_values.size())
        return false;
    return std::all_of(keys.cbegin(), keys.cend(),
                       [&](const QString &key) { return file.value(key) == m_values.value(key); });
}

bool IniSettingsStore::moveBadFileAside() {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = m_path + QStringLiteral(".corrupt-") + stamp;
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(m_path, target) && !QDir().rename(m_path, target)) {
        say(QStringLiteral("Korvella：無法把讀不懂的設定檔 %1 改名保留；為了不覆蓋它，"
                           "這次的設定變更不會寫入檔案。")
                .arg(m_path));
        return false;
    }
    say(QStringLiteral("Korvella：讀不懂的設定檔已改名為 %1 保留。").arg(target));
    m_badFileToMoveAside = false;
    return true;
}

// The folder is the user's alone too, so no one else sees even a file's name.
bool IniSettingsStore::prepareFolder() const {
    const QDir dir = QFileInfo(m_path).absoluteDir();
    if (dir.exists())
        return true;
    const QString parent = QFileInfo(dir.absolutePath()).absolutePath();
    return QDir().mkpath(parent) && QDir(parent).mkdir(dir.dirName(), kUserOnlyDir);
}
