#pragma once

#include "platform/LoginItemService.h"

#include <QString>

// Launch at login through an XDG autostart entry, $XDG_CONFIG_HOME/autostart/korvella.desktop
// (~/.config when XDG_CONFIG_HOME is unset). Only an entry that carries our marker is ours: a
// file of the same name that we did not write is neither replaced nor removed.
class XdgAutostartService final : public LoginItemService {
public:
    // The executable to start is fixed at construction, on the main thread.
    explicit XdgAutostartService(const QString &executablePath);

    Status status() const override;
    bool registerItem() override;
    bool unregisterItem() override;

    static QString entryPath();
    static QString entryText(const QString &executablePath);

private:
    QString m_executablePath;
};
