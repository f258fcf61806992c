#include "tests/preferences/PreferencesFixture.h"

#include <QStandardItemModel>

namespace {

// Opening the window shows what is stored, exactly, and writes nothing back.
TEST_F(PreferencesTest, StoredSettingsShowAsStoredAndAreNotRewritten) {
    const QList<QPair<std::optional<qint64>, QString>> intervals{
        {std::nullopt, "30 分鐘"}, {15, "15 分鐘"}, {60, "1 小時"},
        {120, "2 小時"},           {45, "30 分鐘"}, {0, "30 分鐘"}};
    for (const auto &[minutes, title] : intervals) {
        if (minutes)
            fake.settings.setInteger("tgIntervalMinutes", *minutes);
        fake.settings.writes.clear();
        make();
        EXPECT_EQ(controller->tgIntervalPopup()->currentText(), title) << minutes.value_or(-1);
        EXPECT_EQ(fake.settings.integerValue("tgIntervalMinutes"), minutes) << "not rewritten";
        EXPECT_TRUE(fake.settings.writes.isEmpty());
    }
    EXPECT_FALSE(controller->tgEnabledCheckbox()->isChecked());
    EXPECT_FALSE(controller->loginItemCheckbox()->isChecked());
    auto *language = controller->window()->findChildren<QComboBox *>().first();
    EXPECT_EQ(language->currentText(), "繁體中文");
    auto *model = qobject_cast<QStandardItemModel *>(language->model());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->item(1)->text(), "English（即將推出）");
    EXPECT_FALSE(model->item(1)->isEnabled()) << "the second language cannot be chosen";

    fake.settings.setBool("tgEnabled", true);
    fake.settings.setString("tgBotToken", "  123456:ABC-DEF  ");
    fake.settings.setString("tgChatID", "<b>x</b>");
    make();
    EXPECT_TRUE(controller->tgEnabledCheckbox()->isChecked());
    EXPECT_EQ(controller->tgTokenField()->text(), "  123456:ABC-DEF  ");
    EXPECT_EQ(controller->tgChatIDField()->text(), "<b>x</b>");
    EXPECT_EQ(callbacks, 0);
}

} // namespace
