#include "preferences/LoginItemManager.h"

#include "platform/LoginItemService.h"

LoginItemManager::LoginItemManager(LoginItemService *service)
    : m_service(service) {}

bool LoginItemManager::setEnabled(bool enabled) {
    if (!m_service)
        return false;
    return enabled ? m_service->registerItem() : m_service->unregisterItem();
}

LoginItemManager::Status LoginItemManager::currentStatus() const {
    if (!m_service)
        return Status::Disabled;
    return m_service->status() == LoginItemService::Status::Enabled ? Status::Enabled
                                                                    : Status::Disabled;
}
