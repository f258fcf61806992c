#include "sleep/ScreenKeeper.h"

#include "platform/PowerAssertions.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "sleep/KeepAwakeSession.h"

namespace {
const QString kDisplayType = QStringLiteral("PreventUserIdleDisplaySleep");
const QString kReason = QStringLiteral("Korvella防睡眠中");
constexpr int kAssertionLevelOn = 255;
} // namespace

ScreenKeeper::ScreenKeeper(KeepAwakeSession &session, PowerAssertions &assertions,
                           SettingsStore &settings, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_assertions(assertions)
    , m_settings(settings) {
    connect(&m_session, &KeepAwakeSession::changed, this, &ScreenKeeper::sessionChanged);
}

ScreenKeeper::~ScreenKeeper() {
    release();
}

// The setting is read when a period begins; a change applies from the next period on.
void ScreenKeeper::sessionChanged() {
    const bool running = m_session.isRunning();
    if (running == m_periodRunning)
        return;
    m_periodRunning = running;
    if (!running)
        release();
    else if (m_settings.boolForKey(SettingsKeys::keepScreenOn))
        m_id = m_assertions.create(kDisplayType, kAssertionLevelOn, kReason);
}

void ScreenKeeper::release() {
    if (m_id)
        m_assertions.release(*std::exchange(m_id, std::nullopt));
}
