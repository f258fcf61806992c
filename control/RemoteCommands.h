#pragma once

#include "telegram/RemoteUpdates.h"

#include <QObject>
#include <QQueue>
#include <QString>
#include <functional>
#include <optional>

class KeepAwakeSession;
class QTimer;

// Carries out the commands a Telegram chat sends (/status, /stop, /start, /extend, /help) on the
// period the menu shows, one after the other, and answers each exactly once.
class RemoteCommands final : public QObject {
    Q_OBJECT

public:
    using Reply = std::function<void(const QString &text)>;
    // The status line of a running period, nothing while none runs (what the push reads).
    using StatusSource = std::function<std::optional<QString>()>;

    // How long a starting period may wait for its lock before the chat is told it failed; the
    // lock services give up well before.
    static constexpr int startWaitMs = 10'000;

    RemoteCommands(KeepAwakeSession &session, StatusSource status, QObject *parent = nullptr);
    ~RemoteCommands() override;

    // Runs once every command queued before it has been answered.
    void run(const RemoteUpdates::Command &command, Reply reply);

private:
    struct Job {
        RemoteUpdates::Command command;
        Reply reply;
    };
    void next();
    void execute(const RemoteUpdates::Command &command);
    void extend(const QString &argument);
    void start(int minutes);
    void startSettled(int minutes);
    bool hasBegun(int minutes) const;
    void answer(const QString &text);
    void endWait();

    KeepAwakeSession &m_session;
    StatusSource m_status;
    QQueue<Job> m_queue;
    std::optional<Reply> m_current; // the command being carried out
    QTimer *m_startWait = nullptr;
    QMetaObject::Connection m_startChanged;
};
