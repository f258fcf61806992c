#pragma once

#include <QDateTime>
#include <QObject>

class KeepAwakeSession;

// A period that ends at a clock time: a timed period of the whole minutes up to it, whose
// status line also names the end. It is forgotten once the session runs any other period.
class UntilPeriod final : public QObject {
    Q_OBJECT

public:
    explicit UntilPeriod(KeepAwakeSession &session, QObject *parent = nullptr);

    // Ends within the minute the clock shows `end`'s time; false when no lock could be taken.
    bool start(const QDateTime &end);
    bool isActive() const;
    QDateTime end() const { return isActive() ? m_end : QDateTime(); }
    // The session's status line, with the end time when this period is the one running.
    QString statusLine() const;

private:
    void follow();

    KeepAwakeSession &m_session;
    QDateTime m_end;
    qint64 m_minutes = 0;
    qint64 m_lastRemaining = 0;
};
