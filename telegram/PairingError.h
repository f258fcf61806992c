#pragma once

#include <QString>

// Why a pairing code request failed: either the transport's own error (domain "Network", the
// QNetworkReply::NetworkError code and its description) or the service's reply could not be
// used (domain "Pairing", code 0, no message). Callers never show its content.
struct PairingError {
    QString domain;
    int code = 0;
    QString message;

    static PairingError pairing() { return {QStringLiteral("Pairing"), 0, {}}; }
    static PairingError transport(int code, const QString &message) {
        return {QStringLiteral("Network"), code, message};
    }
    bool isTransport() const { return domain == QLatin1String("Network"); }

    bool operator==(const PairingError &other) const = default;
};
