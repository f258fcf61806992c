#include "platform/MessageBoxAlertPresenter.h"
#include "tests/preferences/PreferencesFixture.h"

#include <QFrame>
#include <QLayout>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTimer>

namespace {

// The rows of the column in layout order, hidden ones left out (they take no room).
QStringList visibleRowTexts(QWidget *column) {
    QStringList texts;
    QLayout *layout = column->layout();
    for (int i = 0; i < layout->count(); ++i) {
        QWidget *row = layout->itemAt(i)->widget();
        if (!row || row->isHidden())
            continue;
        auto *frame = qobject_cast<QFrame *>(row);
        if (auto *label = qobject_cast<QLabel *>(row))
            texts << label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(row))
            texts << PlainText::buttonTitle(button);
        else if (auto *field = qobject_cast<QLineEdit *>(row))
            texts << field->placeholderText();
        else if (frame && frame->frameShape() == QFrame::HLine)
            texts << QStringLiteral("—");
        else if (auto *label = row->findChild<QLabel *>())
            texts << label->text() + QStringLiteral(" +pop-up");
    }
    return texts;
}

TEST_F(PreferencesTest, RowsComeInOrderWithTheirTexts) {
    PreferencesConfig config;
    config.version = QStringLiteral("2.5.1");
    make(config).showWindow();
    PreferencesWindow *window = controller->window();
    EXPECT_EQ(window->windowTitle(), "Korvella 偏好設定");
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const QStringList expected{"開機自動啟動",
                               "語言 +pop-up",
                               "—",
                               "Telegram 狀態推播",
                               "定時推播目前狀態",
                               "連接 Telegram（官方 Bot，推薦）",
                               "尚未連接",
                               "—",
                               "進階：使用自己的 Bot",
                               "Bot Token（例如 123456:ABC-DEF...）",
                               "Chat ID（例如 -1001234567890）",
                               "傳送測試訊息",
                               "推播間隔 +pop-up",
                               "—",
                               "防睡眠保護",
                               "拔除電源時結束防睡眠",
                               "電量過低時結束防睡眠 +pop-up",
                               "防睡眠自動結束時通知我",
                               "防睡眠期間螢幕也保持開啟",
                               "—",
                               "Korvella (Dremlo) v2.5.1",
                               "免費使用。若這個小工具對你有幫助，歡迎透過贊助支持後續開發。"};
    EXPECT_EQ(visibleRowTexts(window->column()), expected)
        << "the official test button is hidden while not connected";
}

// With the official test button shown nothing is cut at the usual font; at a large one the
// window grows until every row gets its full height (the fixed width cannot grow).
TEST(PreferencesWindowSize, NoTextIsClippedAndALargeFontGrowsTheWindow) {
    for (const int pixelSize : {0, 22}) {
        const QFont original = QApplication::font();
        QFont font = original;
        if (pixelSize)
            font.setPixelSize(pixelSize);
        QApplication::setFont(font);
        FakePlatform fake;
        fake.settings.setString("tgOfficialChatID", "987654321");
        PreferencesWindowController controller(fake.platform());
        controller.showWindow();
        QApplication::processEvents();
        QApplication::setFont(original);

        PreferencesWindow *window = controller.window();
        QWidget *column = window->column();
        ASSERT_FALSE(controller.officialTestButton()->isHidden());
        EXPECT_LT(column->geometry().bottom(), window->height()) << pixelSize;
        for (QLabel *label : column->findChildren<QLabel *>()) {
            const QFontMetrics metrics(label->font());
            const QRect room = label->contentsRect();
            const QRect needed = label->wordWrap()
                                     ? metrics.boundingRect(QRect(0, 0, room.width(), 10'000),
                                                            Qt::TextWordWrap, label->text())
                                     : metrics.boundingRect(label->text());
            EXPECT_TRUE(pixelSize || needed.width() <= room.width()) << label->text().toStdString();
            EXPECT_LE(needed.height(), room.height()) << label->text().toStdString();
        }
        for (QWidget *control : column->findChildren<QWidget *>()) {
            if (qobject_cast<QLabel *>(control) || !control->isVisibleTo(window))
                continue;
            const QSize hint = control->sizeHint();
            EXPECT_TRUE(pixelSize || control->width() >= hint.width())
                << control->metaObject()->className();
            EXPECT_GE(control->height(), hint.height()) << control->metaObject()->className();
        }
    }
}

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

// A pairing code from the server reaches the explanation alert: it must show as typed.
TEST(AlertPlainText, MessageAndInformativeTextAreNeverRichText) {
    QStringList shown;
    QList<Qt::TextFormat> formats;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (const char *name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
            auto *label = box->findChild<QLabel *>(QString::fromLatin1(name));
            ASSERT_NE(label, nullptr) << name;
            shown << label->text();
            formats << label->textFormat();
        }
        box->done(0);
    });
    MessageBoxAlertPresenter presenter;
    presenter.run(
        {Alert::Style::Informational, "<i>m</i>", "/pair <b>x</b>&amp;", {"開啟", "取消"}});
    EXPECT_EQ(shown, QStringList({"<i>m</i>", "/pair <b>x</b>&amp;"}));
    EXPECT_EQ(formats, QList<Qt::TextFormat>({Qt::PlainText, Qt::PlainText}));
}

} // namespace
