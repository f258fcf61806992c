// The periodic Telegram status push.
#include "app/AppDelegate.h"

void AppDelegate::setupTelegramPushIfNeeded() {
    // Not wired up yet: no push timer is armed.
}

void AppDelegate::sendTelegramStatusPush() {}
