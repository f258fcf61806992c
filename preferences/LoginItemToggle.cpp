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
        QMetaObject::invokeMethod(
            this, [this, wanted, succeeded] { loginItemChanged(wanted, succeeded); },
            Qt::QueuedConnection);
    });
}

void PreferencesWindowController::loginItemChanged(bool wanted, bool succeeded) {
    m_loginItemCheckbox->setEnabled(true);
    if (succeeded)
        return;
    m_loginItemCheckbox->setChecked(!wanted);
    // An autostart entry fails only when its folder or file cannot be written.
    showAlert(QStringLiteral("設定失敗"),
              QStringLiteral("無法變更開機自動啟動設定，請確認自動啟動資料夾是否可以寫入。"));
}
