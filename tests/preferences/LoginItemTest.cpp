#include "tests/preferences/PreferencesFixture.h"

namespace {

using Status = LoginItemService::Status;

const Alert kChangeFailed{Alert::Style::Informational,
                          "設定失敗",
                          "無法變更開機自動啟動設定，請確認自動啟動資料夾是否可以寫入。",
                          {}};

class LoginItem : public PreferencesTest {
protected:
    QCheckBox *checkbox() const { return controller->loginItemCheckbox(); }
    // Clicks the checkbox and waits for the change to come back from the worker.
    void clickAndWait() {
        click(checkbox());
        EXPECT_FALSE(checkbox()->isEnabled()) << "disabled for the whole change";
        ASSERT_TRUE(waitUntil([&] { return checkbox()->isEnabled(); }));
    }
    void TearDown() override {
        controller.reset(); // waits for the worker
        EXPECT_EQ(fake.loginItems.callsOnMainThread, 0);
    }
};

TEST_F(LoginItem, TheCheckboxShowsTheDesktopsRecordOnceItAnswers) {
    fake.loginItems.currentStatus = Status::Enabled;
    make();
    EXPECT_FALSE(checkbox()->isChecked()) << "off until the refresh answers";
    EXPECT_TRUE(checkbox()->isEnabled());
    EXPECT_TRUE(waitUntil([&] { return checkbox()->isChecked(); }));
    for (const Status other : {Status::NotFound, Status::NotRegistered}) {
        fake.loginItems.currentStatus = other;
        controller->refreshLoginItemStatusAsync();
        EXPECT_TRUE(waitUntil([&] { return !checkbox()->isChecked(); }));
    }
}

TEST_F(LoginItem, AcceptedChangesKeepTheChoiceRefusedOnesRestoreItAndAlert) {
    make();
    showActive();
    // This read is answered only after the click below: it must not undo the click.
    controller->refreshLoginItemStatusAsync();
    clickAndWait();
    EXPECT_TRUE(checkbox()->isChecked());
    clickAndWait();
    EXPECT_FALSE(checkbox()->isChecked());
    EXPECT_EQ(fake.loginItems.calls, QStringList({"status", "status", "register", "unregister"}));
    EXPECT_TRUE(fake.alerts.shown.isEmpty());

    fake.loginItems.acceptChanges = false;
    clickAndWait();
    EXPECT_FALSE(checkbox()->isChecked());
    EXPECT_EQ(fake.alerts.shown, QList<Alert>{kChangeFailed});
    fake.loginItems.currentStatus = Status::Enabled;
    controller->refreshLoginItemStatusAsync();
    ASSERT_TRUE(waitUntil([&] { return checkbox()->isChecked(); }));
    clickAndWait();
    EXPECT_TRUE(checkbox()->isChecked()) << "back on, as before the click";
    EXPECT_EQ(fake.alerts.shown, QList<Alert>({kChangeFailed, kChangeFailed}));
}

} // namespace
