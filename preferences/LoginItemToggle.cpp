// Launch at login: the checkbox shows the desktop's record and changes it. The desktop is asked
// on a worker thread; only the answer comes back to the main thread.
#include "preferences/PreferencesWindowController.h"

#include <QCheckBox>

void PreferencesWindowController::refreshLoginItemStatusAsync() {
    const quint64 changesBefore = m_loginItemChanges;
    m_loginItemPool.start([this, changesBefore] {
        const LoginItemManager::Status status = m_loginItemManager.currentStatus();
        QMetaObject::invokeMethod(
            this,
            [this, status, changesBefore] {
                // A change the user made meanwhile reports its own outcome; this older read
                // must not flip the checkbox back.
                if (m_loginItemChanges != changesBefore)
                    return;
                m_loginItemCheckbox->setChecked(status == LoginItemManager::Status::Enabled);
            },
            Qt::QueuedConnection);
    });
}

void PreferencesWindowController::toggleLoginItem() {
    const bool wanted = m_loginItemCheckbox->isChecked();
    ++m_loginItemChanges;
    m_loginItemCheckbox->setEnabled(false);
    m_loginItemPool.start([this, wanted] {
        const bool succeeded = m_loginItemManager.setEnabled(wanted);
        const LoginItemManager::Status status = m_loginItemManager.currentStatus();
        QMetaObject::invokeMethod(
            this,
            [this, wanted, succeeded, status] { loginItemChanged(wanted, succeeded, status); },
            Qt::QueuedConnection);
    });
}

void PreferencesWindowController::loginItemChanged(bool wanted, bool succeeded,
                                                   LoginItemManager::Status status) {
    m_loginItemCheckbox->setEnabled(true);
    if (!succeeded) {
        m_loginItemCheckbox->setChecked(!wanted);
        showAlert(QStringLiteral("設定失敗"),
                  QStringLiteral("無法變更開機自動啟動設定，請確認 App 是否已正確安裝並簽章。"));
    } else if (status == LoginItemManager::Status::RequiresApproval) {
        showAlert(QStringLiteral("需要授權"),
                  QStringLiteral("請至「系統設定 > 一般 > 登入項目」允許 Korvella 開機啟動。"));
    }
}
