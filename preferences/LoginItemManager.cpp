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
    switch (m_service->status()) {
    case LoginItemService::Status::Enabled:
        return Status::Enabled;
    case LoginItemService::Status::RequiresApproval:
        return Status::RequiresApproval;
    case LoginItemService::Status::NotRegistered:
    case LoginItemService::Status::NotFound:
        break;
    }
    return Status::Disabled;
}
