#include "sleep/SleepPreventer.h"

#include "platform/PowerAssertions.h"

#include <utility>

SleepPreventer::SleepPreventer(PowerAssertions &assertions)
    : m_assertions(assertions) {
    m_assertions.addObserver(this, [this](quint32 id) { assertionChanged(id); });
}

// Releases nothing: the owner ends the period first (quit()).
SleepPreventer::~SleepPreventer() {
    m_assertions.removeObserver(this);
}

QString SleepPreventer::assertionType(Mode mode) {
    return mode == Mode::system ? QStringLiteral("PreventSystemSleep")
                                : QStringLiteral("PreventUserIdleSystemSleep");
}

bool SleepPreventer::start(Mode mode, const QString &reason) {
    if (m_pendingID)
        m_assertions.release(*std::exchange(m_pendingID, std::nullopt));
    const auto id = m_assertions.create(assertionType(mode), kAssertionLevelOn, reason);
    if (!id) {
        tell(Outcome::refused);
        return false;
    }
    m_pendingID = id;
    assertionChanged(*id);
    return m_pendingID || m_assertionID == *id;
}

void SleepPreventer::stop() {
    if (m_pendingID)
        m_assertions.release(*std::exchange(m_pendingID, std::nullopt));
    if (!m_isActive)
        return;
    m_assertions.release(m_assertionID);
    m_isActive = false;
}

bool SleepPreventer::holdsLidClosed() const {
    return m_isActive && m_assertions.holdsLidClosed(m_assertionID);
}

void SleepPreventer::assertionChanged(quint32 id) {
    const PowerAssertions::State state = m_assertions.state(id);
    if (id == m_pendingID && state != PowerAssertions::State::pending) {
        m_pendingID.reset();
        if (state == PowerAssertions::State::failed) {
            m_assertions.release(id);
            tell(Outcome::refused);
            return;
        }
        if (m_isActive)
            m_assertions.release(m_assertionID);
        m_assertionID = id;
        m_isActive = true;
        tell(Outcome::taken);
    } else if (m_isActive && id == m_assertionID) {
        // Pending: a lost lock is being taken again and nothing else holds. Its answer decides;
        // announcing the moment between would only make the menu flicker.
        if (state == PowerAssertions::State::held)
            tell(Outcome::changed);
        if (state != PowerAssertions::State::failed)
            return;
        m_assertions.release(id);
        m_isActive = false;
        tell(Outcome::lost);
    }
}

void SleepPreventer::tell(Outcome outcome) {
    if (m_listener)
        m_listener(outcome);
}
