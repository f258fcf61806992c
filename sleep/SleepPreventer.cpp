#include "sleep/SleepPreventer.h"

#include "platform/PowerAssertions.h"

SleepPreventer::SleepPreventer(PowerAssertions &assertions)
    : m_assertions(assertions) {}

QString SleepPreventer::assertionType(Mode mode) {
    return mode == Mode::system ? QStringLiteral("PreventSystemSleep")
                                : QStringLiteral("PreventUserIdleSystemSleep");
}

bool SleepPreventer::start(Mode mode, const QString &reason) {
    stop();
    const auto id = m_assertions.create(assertionType(mode), kAssertionLevelOn, reason);
    if (id)
        m_assertionID = *id;
    m_isActive = id.has_value();
    return m_isActive;
}

void SleepPreventer::stop() {
    if (!m_isActive)
        return;
    m_assertions.release(m_assertionID);
    m_isActive = false;
}
