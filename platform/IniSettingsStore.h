#pragma once

#include "platform/SettingsStore.h"

#include <QHash>
#include <QVariant>

// The settings as an INI file, by default $XDG_CONFIG_HOME/Korvella/Korvella.conf. Values are
// read once at construction and kept in memory; every write goes to disk at once, replacing
// the file atomically, and the file stays readable by the user only because it holds a bot
// token. A file that cannot be read is kept aside, never overwritten; a write that fails keeps
// the value for this run. Each problem is said in one line on stderr.
class IniSettingsStore final : public SettingsStore {
public:
    explicit IniSettingsStore(const QString &filePath = defaultFilePath());

    static QString defaultFilePath();
    QString filePath() const { return m_path; }

    std::optional<bool> boolValue(const QString &key) const override;
    std::optional<qint64> integerValue(const QString &key) const override;
    std::optional<QString> stringValue(const QString &key) const override;
    void setBool(const QString &key, bool value) override;
    void setInteger(const QString &key, qint64 value) override;
    void setString(const QString &key, const QString &value) override;

private:
    void load();
    void restrictPermissions() const;
    void removeLeftoverDrafts() const;
    void write(const QString &key, const QString &text);
    bool persist();
    bool moveBadFileAside();
    bool prepareFolder() const;
    bool writeDraft(const QString &path) const;
    bool readsBack(const QString &path) const;
    std::optional<QString> text(const QString &key) const;

    QString m_path;
    // Everything the file is to hold: text for ours, whatever the INI reader made of others.
    QHash<QString, QVariant> m_values;
    bool m_badFileToMoveAside = false;
    bool m_lastWriteFailed = false;
};
