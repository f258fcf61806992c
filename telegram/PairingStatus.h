#pragma once

#include <QString>

// What the pairing service says about a pairing code.
class PairingStatus final {
public:
    enum class Kind { Paired, Pending, Expired, NotFound };

    static PairingStatus paired(const QString &chatID, const QString &deviceToken = {}) {
        return {Kind::Paired, chatID, deviceToken};
    }
    static PairingStatus pending() { return {Kind::Pending, {}, {}}; }
    static PairingStatus expired() { return {Kind::Expired, {}, {}}; }
    static PairingStatus notFound() { return {Kind::NotFound, {}, {}}; }

    Kind kind() const { return m_kind; }
    // The chat the official bot reaches the user in, exactly as the service sent it; empty
    // unless paired, and empty when the service sent no usable one.
    const QString &chatID() const { return m_chatID; }
    // The credential for fetching this device's remote commands; empty when the service sent
    // none (an older service, or remote control off there). A secret: never log it.
    const QString &deviceToken() const { return m_deviceToken; }

    bool operator==(const PairingStatus &other) const = default;

private:
    PairingStatus(Kind kind, const QString &chatID, const QString &deviceToken)
        : m_kind(kind)
        , m_chatID(chatID)
        , m_deviceToken(deviceToken) {}

    Kind m_kind;
    QString m_chatID;
    QString m_deviceToken;
};
