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

void ScreenKeeper::sessionChanged() {
    const bool running = m_session.isRunning();
    if (running == m_periodRunning)
        return;
    m_periodRunning = running;
    apply();
}

void ScreenKeeper::settingsChanged() {
    apply();
}

void ScreenKeeper::apply() {
    const bool wanted = m_periodRunning && m_settings.boolForKey(SettingsKeys::keepScreenOn);
    if (!wanted)
        release();
    else if (!m_id)
        m_id = m_assertions.create(kDisplayType, kAssertionLevelOn, kReason);
}

void ScreenKeeper::release() {
    if (m_id)
        m_assertions.release(*std::exchange(m_id, std::nullopt));
}
