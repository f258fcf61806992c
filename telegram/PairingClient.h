#pragma once

#include "BuildConfig.h"
#include "telegram/HttpExchange.h"
#include "telegram/PairingReplies.h"

#include <QObject>
#include <QString>
#include <functional>

// Asks the pairing service for a new pairing code and for what has become of a code. It holds
// nothing but its base URL; every result arrives later, on the main thread, exactly once.
class PairingClient final : public QObject {
    Q_OBJECT

public:
    using CreateResult = PairingReplies::CreateResult; // the code, or why there is none
    using CreateCompletion = std::function<void(const CreateResult &)>;
    using StatusCompletion = std::function<void(const PairingStatus &)>;

    PairingClient(QNetworkAccessManager &network,
                  const QString &baseUrl = QString::fromUtf8(BuildConfig::pairingBaseUrl),
                  QObject *parent = nullptr);
    // With a network access manager of its own; requests in flight end with the client.
    explicit PairingClient(const QString &baseUrl, QObject *parent = nullptr);

    // POST base + "/create_pairing.php". A transport failure carries the transport's error;
    // every unusable reply gives the pairing error (domain "Pairing", code 0).
    void create(CreateCompletion completion);

    // GET base + "/pairing_status.php?code=<code>". Never an error: every failure is pending.
    void checkStatus(const QString &code, StatusCompletion completion);

    const QString &baseUrl() const { return m_baseUrl; }
    void setTimeoutMs(int timeoutMs) { m_timeoutMs = timeoutMs; }

private:
    QNetworkAccessManager *m_network;
    QString m_baseUrl;
    int m_timeoutMs = HttpExchange::defaultTimeoutMs;
};
