#include "telegram/TelegramNotifier.h"

#include "BuildConfig.h"

#include <QNetworkAccessManager>

TelegramNotifier::TelegramNotifier(QObject *parent)
    : TelegramNotifier(QString::fromUtf8(BuildConfig::telegramApiBase), parent) {}

TelegramNotifier::TelegramNotifier(const QString &apiBase, QObject *parent)
    : QObject(parent)
    , m_apiBase(apiBase)
    , m_network(new QNetworkAccessManager(this)) {}

void TelegramNotifier::send(const QString &, const Config &, Completion completion) {
    // Sending is not wired up yet.
    if (completion)
        completion(false);
}
