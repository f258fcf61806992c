#include "app/AppDelegate.h"
#include "tests/preferences/PreferencesFixture.h"

namespace {

using Status = LoginItemService::Status;

const Alert kApprovalNeeded{Alert::Style::Informational,
                            "需要授權",
                            "請至「系統設定 > 一般 > 登入項目」允許 Korvella 開機啟動。",
                            {}};
const Alert kChangeFailed{Alert::Style::Informational,
                          "設定失敗",
                          "無法變更開機自動啟動設定，請確認 App 是否已正確安裝並簽章。",
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

TEST_F(LoginItem, RefreshShowsTheDesktopsRecordLater) {
    fake.loginItems.currentStatus = Status::Enabled;
    make();
    EXPECT_FALSE(checkbox()->isChecked()) << "off until the refresh answers";
    EXPECT_TRUE(checkbox()->isEnabled());
    EXPECT_TRUE(waitUntil([&] { return checkbox()->isChecked(); }));
    for (const Status other : {Status::RequiresApproval, Status::NotFound, Status::NotRegistered}) {
        fake.loginItems.currentStatus = other;
        controller->refreshLoginItemStatusAsync();
        EXPECT_TRUE(waitUntil([&] { return !checkbox()->isChecked(); }));
        EXPECT_TRUE(checkbox()->isEnabled());
    }
}

TEST_F(LoginItem, AcceptedChangeKeepsTheUsersChoiceWithoutAlert) {
    make();
    showActive();
    clickAndWait();
    EXPECT_TRUE(checkbox()->isChecked());
    EXPECT_TRUE(fake.alerts.shown.isEmpty());
    EXPECT_EQ(fake.loginItems.calls, QStringList({"status", "register", "status"}));
    clickAndWait();
    EXPECT_FALSE(checkbox()->isChecked());
    EXPECT_EQ(fake.loginItems.calls.mid(3), QStringList({"unregister", "status"}));
    EXPECT_TRUE(fake.alerts.shown.isEmpty());
}

TEST_F(LoginItem, AStatusReadAnsweringAfterAClickDoesNotUndoIt) {
    make();
    showActive();
    // The read is answered on the main thread only after the click below has been handled.
    controller->refreshLoginItemStatusAsync();
    clickAndWait();
    EXPECT_TRUE(checkbox()->isChecked());
    EXPECT_TRUE(fake.alerts.shown.isEmpty());
}

TEST_F(LoginItem, ApprovalNeededIsExplained) {
    fake.loginItems.statusAfterRegister = Status::RequiresApproval;
    make();
    showActive();
    clickAndWait();
    EXPECT_TRUE(checkbox()->isChecked());
    EXPECT_EQ(fake.alerts.shown, QList<Alert>{kApprovalNeeded});
}

TEST_F(LoginItem, RefusedChangeRestoresTheCheckboxAndAlerts) {
    fake.loginItems.acceptChanges = false;
    make();
    showActive();
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

TEST(LoginItemOpening, EveryOpeningRefreshesTheCheckbox) {
    FakePlatform fake;
    AppDelegate delegate(fake.platform());
    delegate.openPreferences();
    QCheckBox *box = delegate.preferencesWindowController().loginItemCheckbox();
    fake.loginItems.currentStatus = Status::Enabled;
    delegate.openPreferences();
    EXPECT_TRUE(waitUntil([&] { return box->isChecked(); }));
}

} // namespace
