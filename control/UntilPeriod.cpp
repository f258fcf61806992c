#include "control/UntilPeriod.h"

#include "sleep/KeepAwakeSession.h"
#include "sleep/StatusLine.h"

UntilPeriod::UntilPeriod(KeepAwakeSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session) {
    connect(&m_session, &KeepAwakeSession::changed, this, &UntilPeriod::follow);
}

bool UntilPeriod::start(const QDateTime &end) {
    const qint64 seconds = QDateTime::currentDateTime().secsTo(end);
    // Rounded up, so the period ends while the clock shows the asked-for minute, not before.
    const qint64 minutes = std::max<qint64>(1, (seconds + 59) / 60);
    m_end = QDateTime();
    if (!m_session.startPreventingSleep(int(minutes)))
        return false;
    m_end = end;
    m_minutes = minutes;
    // The period may begin only once its lock holds; it begins with the whole length.
    m_lastRemaining = minutes * 60;
    return true;
}

bool UntilPeriod::isActive() const {
    // Any other period (even of the same length, chosen later) restarts the countdown higher.
    // Checked on every read, as others may hear of the session's change before we do.
    return m_end.isValid() && m_session.isRunning() && !m_session.isInfinite() &&
           m_session.activeDurationMinutes() == m_minutes &&
           m_session.remainingSeconds() <= m_lastRemaining;
}

void UntilPeriod::follow() {
    if (!isActive())
        m_end = QDateTime();
    m_lastRemaining = m_session.remainingSeconds();
}

QString UntilPeriod::statusLine() const {
    const QString line = m_session.statusLineText();
    if (!isActive())
        return line;
    // The end time goes right after the countdown, before any warning the session adds.
    const QString countdown = formatStatusLine(false, m_session.remainingSeconds(), false);
    if (!line.startsWith(countdown))
        return line;
    return countdown + QStringLiteral("・至 %1").arg(m_end.toString(QStringLiteral("HH:mm"))) +
           line.mid(countdown.size());
}
