#pragma once

#include "telegram/PairingStatus.h"

#include <QObject>
#include <QPointer>
#include <QString>

class PairingClient;
class QTimer;
class SettingsStore;

// Pairing with the official bot, without widgets: a code from the pairing service, then the
// service is polled every two seconds for up to two minutes until it names the chat. Each
// start() is an attempt of its own. A reply counts only for the attempt that asked for it, each
// attempt succeeds at most once, and an attempt never overwrites the chat a later one stored.
class OfficialBotPairing final : public QObject {
    Q_OBJECT

public:
    enum class State {
        Idle,           // nothing running: connect, or connect again
        RequestingCode, // waiting for the pairing service to hand out a code
        Waiting,        // polling until the user has sent the code to the bot
        Paired          // the last attempt that ended stored a chat
    };
    enum class Failure { CreateFailed, TimedOut, Expired, NoChat };

    OfficialBotPairing(PairingClient &client, SettingsStore &settings, QObject *parent = nullptr);

    // Starts a new attempt; one still running is ended first. Returns its token.
    quint64 start();

    State state() const { return m_state; }
    quint64 currentAttempt() const { return m_attempt; }
    const QString &code() const { return m_code; }
    int secondsElapsed() const { return m_secondsElapsed; }
    QTimer *pollTimer() const { return m_pollTimer; }

Q_SIGNALS:
    void stateChanged(OfficialBotPairing::State state);
    // The current attempt has its code; polling starts once every receiver has returned.
    void codeArrived(const QString &code);
    // The chat (and the device token, if any) is stored and pushes are switched on.
    void paired(const QString &chatID);
    void failed(OfficialBotPairing::Failure failure);

private:
    void codeReceived(quint64 attempt, const QString *code);
    void startPolling(quint64 attempt);
    void tick(quint64 attempt);
    void statusReceived(quint64 attempt, const PairingStatus &status);
    void store(quint64 attempt, const PairingStatus &status);
    void endCurrent(State next);
    void stopPolling();
    void setState(State state);
    bool isWaitingFor(quint64 attempt) const;

    PairingClient &m_client;
    SettingsStore &m_settings;
    State m_state = State::Idle;
    quint64 m_attempt = 0;       // the newest attempt
    quint64 m_storedAttempt = 0; // the newest attempt that stored a chat
    QString m_code;
    int m_secondsElapsed = 0;
    QPointer<QTimer> m_pollTimer;
};
