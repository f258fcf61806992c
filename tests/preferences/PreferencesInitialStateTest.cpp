#include "tests/preferences/PreferencesFixture.h"

#include <QStandardItemModel>

namespace {

// The row texts and placeholders of an empty store are checked by the layout test.
TEST_F(PreferencesTest, EmptyStoreGivesTheDefaultsAndWritesNothing) {
    make();
    EXPECT_FALSE(controller->loginItemCheckbox()->isChecked());
    EXPECT_TRUE(controller->loginItemCheckbox()->isEnabled());
    EXPECT_FALSE(controller->tgEnabledCheckbox()->isChecked());
    EXPECT_TRUE(controller->tgTokenField()->text().isEmpty());
    EXPECT_TRUE(controller->tgChatIDField()->text().isEmpty());
    EXPECT_EQ(controller->tgIntervalPopup()->currentText(), "30 分鐘");
    EXPECT_TRUE(fake.settings.writes.isEmpty());
    EXPECT_EQ(callbacks, 0);

    auto *language = controller->window()->findChildren<QComboBox *>().first();
    EXPECT_EQ(language->currentText(), "繁體中文");
    auto *model = qobject_cast<QStandardItemModel *>(language->model());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->item(1)->text(), "English（即將推出）");
    EXPECT_FALSE(model->item(1)->isEnabled()) << "the second language cannot be chosen";
}

TEST_F(PreferencesTest, StoredIntervalSelectsItsEntryOrThirtyMinutes) {
    const QList<QPair<qint64, QString>> cases{{15, "15 分鐘"}, {30, "30 分鐘"}, {60, "1 小時"},
                                              {120, "2 小時"}, {45, "30 分鐘"}, {0, "30 分鐘"}};
    for (const auto &[minutes, title] : cases) {
        fake.settings.setInteger("tgIntervalMinutes", minutes);
        fake.settings.writes.clear();
        make();
        EXPECT_EQ(controller->tgIntervalPopup()->currentText(), title) << minutes;
        EXPECT_EQ(fake.settings.integerForKey("tgIntervalMinutes"), minutes) << "not rewritten";
        EXPECT_TRUE(fake.settings.writes.isEmpty());
    }
}

TEST_F(PreferencesTest, StoredValuesShowExactlyAsTyped) {
    fake.settings.setBool("tgEnabled", true);
    fake.settings.setString("tgBotToken", "  123456:ABC-DEF  ");
    fake.settings.setString("tgChatID", "<b>x</b>");
    make();
    EXPECT_TRUE(controller->tgEnabledCheckbox()->isChecked());
    EXPECT_EQ(controller->tgTokenField()->text(), "  123456:ABC-DEF  ");
    EXPECT_EQ(controller->tgChatIDField()->text(), "<b>x</b>");
}

TEST_F(PreferencesTest, VersionLabelWithAndWithoutAVersionText) {
    const auto versionLabel = [&] {
        QStringList texts;
        for (QLabel *label : controller->window()->findChildren<QLabel *>()) {
            if (label->text().startsWith("Korvella (Dremlo) v"))
                texts << label->text();
        }
        return texts;
    };
    PreferencesConfig config;
    config.version = "2.5.1";
    make(config);
    EXPECT_EQ(versionLabel(), QStringList{"Korvella (Dremlo) v2.5.1"});
    config.version.clear();
    make(config);
    EXPECT_EQ(versionLabel(), QStringList{"Korvella (Dremlo) v開發版"});
    config.version = "<i>9</i>";
    make(config);
    EXPECT_EQ(versionLabel(), QStringList{"Korvella (Dremlo) v<i>9</i>"});
    for (QLabel *label : controller->window()->findChildren<QLabel *>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
}

} // namespace
