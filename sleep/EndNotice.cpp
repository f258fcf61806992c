#include "sleep/EndNotice.h"

#include "platform/DesktopNotifier.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "sleep/KeepAwakeSession.h"

EndNotice::EndNotice(KeepAwakeSession &session, SettingsStore &settings, DesktopNotifier *notifier,
                     QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_notifier(notifier) {
    connect(&session, &KeepAwakeSession::ended, this, [this](const PeriodEnd &end) {
        if (end.byItself())
            show(end.why);
    });
}

void EndNotice::show(const QString &why) {
    if (!m_notifier || !m_settings.boolForKey(SettingsKeys::notifyWhenEnded))
        return;
    m_notifier->notify(QStringLiteral("Korvella"), QStringLiteral("防睡眠已結束・") + why);
}
