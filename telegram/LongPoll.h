#pragma once

#include "telegram/HttpExchange.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

class QTimer;

// One long poll repeated while it is on: the next request goes out when the previous one ends,
// at once after news, after a pause after an empty answer, and with a growing pause after a
// failure, so a broken server or network never turns it into a busy loop. While it is off there
// is no request and no timer.
class LongPoll final : public QObject {
    Q_OBJECT

public:
    enum class Next {
        Now,   // news arrived: ask again at once
        Later, // nothing new: ask again, but not sooner than a second after the last request
        Retry, // it failed: ask again after the back-off
        Stop   // it cannot work as configured: stay off
    };
    using MakeRequest = std::function<std::optional<HttpExchange::Request>()>;
    using Handle = std::function<Next(const HttpOutcome &)>;

    static constexpr int firstBackoffMs = 1000;
    static constexpr int maxBackoffMs = 60'000;

    LongPoll(QNetworkAccessManager &network, MakeRequest makeRequest, Handle handle,
             QObject *parent = nullptr);
    ~LongPoll() override;

    // Starting a running poll keeps it as it is; stop() drops a request in flight unanswered.
    void start();
    void stop();
    bool isActive() const { return m_active; }
    bool hasPendingWork() const { return m_reply || m_timer; }

private:
    void send();
    void finished(quint64 run, const HttpOutcome &outcome);
    void sendAfter(int delayMs);
    void removeTimer();

    QNetworkAccessManager &m_network;
    MakeRequest m_makeRequest;
    Handle m_handle;
    bool m_active = false;
    quint64 m_run = 0; // answers of an earlier run are not handled
    int m_backoffMs = firstBackoffMs;
    qint64 m_sentAtMs = 0;
    QPointer<QNetworkReply> m_reply;
    QTimer *m_timer = nullptr;
};
