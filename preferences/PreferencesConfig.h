#pragma once

#include "BuildConfig.h"

#include <QString>

// What the preferences window takes from the build: the services it talks to, the official
// bot and the version it shows. Tests point the services at loopback servers.
struct PreferencesConfig {
    QString version = QString::fromUtf8(BuildConfig::version);
    QString telegramApiBase = QString::fromUtf8(BuildConfig::telegramApiBase);
    QString pairingBaseUrl = QString::fromUtf8(BuildConfig::pairingBaseUrl);
    QString deepLinkBase = QString::fromUtf8(BuildConfig::deepLinkBase);
    QString officialBotUsername = QString::fromUtf8(BuildConfig::officialBotUsername);
    QString officialBotToken = QString::fromUtf8(BuildConfig::officialBotToken);
};
