#include "tests/preferences/PreferencesFixture.h"

#include <QFrame>
#include <QLayout>

namespace {

bool isSeparator(const QWidget *widget) {
    auto *frame = qobject_cast<const QFrame *>(widget);
    return frame && frame->frameShape() == QFrame::HLine;
}

// The rows of the column in layout order, hidden ones left out (they take no room).
QList<QWidget *> visibleRows(QWidget *column) {
    QList<QWidget *> rows;
    QLayout *layout = column->layout();
    for (int i = 0; i < layout->count(); ++i) {
        QWidget *row = layout->itemAt(i)->widget();
        if (row && !row->isHidden())
            rows << row;
    }
    return rows;
}

QString rowText(QWidget *row) {
    if (auto *label = qobject_cast<QLabel *>(row))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(row))
        return PlainText::buttonTitle(button);
    if (auto *field = qobject_cast<QLineEdit *>(row))
        return field->placeholderText();
    if (isSeparator(row))
        return QStringLiteral("—");
    if (auto *label = row->findChild<QLabel *>())
        return label->text() + QStringLiteral(" +pop-up");
    return {};
}

class PreferencesLayout : public PreferencesTest {
protected:
    void SetUp() override {
        make();
        controller->showWindow();
        QApplication::processEvents();
        window = controller->window();
        column = window->column();
    }
    PreferencesWindow *window = nullptr;
    QWidget *column = nullptr;
};

TEST_F(PreferencesLayout, RowsComeInOrderSixteenApart) {
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
                               QStringLiteral("Korvella (Dremlo) v") +
                                   KORVELLA_TEST_PROJECT_VERSION,
                               "免費使用。若這個小工具對你有幫助，歡迎透過贊助支持後續開發。"};
    const QList<QWidget *> rows = visibleRows(column);
    QStringList texts;
    for (QWidget *row : rows)
        texts << rowText(row);
    EXPECT_EQ(texts, expected) << "the official test button is hidden while not connected";
    EXPECT_EQ(rows.first()->geometry().top(), 0);
    for (int i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]->geometry().top() - rows[i - 1]->geometry().bottom() - 1, 16)
            << "between rows " << i << " and " << i + 1;
    }
}

TEST_F(PreferencesLayout, ColumnFieldsAndFullWidthRowsHaveTheirWidths) {
    EXPECT_EQ(column->geometry(), QRect(24, 24, 332, column->height()));
    EXPECT_EQ(controller->tgTokenField()->width(), 320);
    EXPECT_EQ(controller->tgChatIDField()->width(), 320);
    int separators = 0;
    for (const QFrame *frame : column->findChildren<QFrame *>()) {
        if (!isSeparator(frame))
            continue;
        ++separators;
        EXPECT_EQ(frame->x(), 0);
        EXPECT_EQ(frame->width(), 332);
    }
    EXPECT_EQ(separators, 3);
    QWidget *footer = visibleRows(column).last();
    EXPECT_EQ(footer->x(), 0);
    EXPECT_EQ(footer->width(), 332);
    EXPECT_TRUE(qobject_cast<QLabel *>(footer)->wordWrap());
    for (QWidget *row : visibleRows(column)) {
        if (row != footer && !isSeparator(row)) {
            EXPECT_EQ(row->x(), 0) << "rows sit at the column's left edge";
        }
    }
}

// Its size at different fonts: see PreferencesWindowSize below.
TEST_F(PreferencesLayout, WindowIsOfFixedSizeWithOnlyACloseButton) {
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->windowTitle(), "Korvella 偏好設定");
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(PreferencesLayout, NoTextIsClipped) {
    for (QLabel *label : column->findChildren<QLabel *>()) {
        const QFontMetrics metrics(label->font());
        const QRect room = label->contentsRect();
        const QRect needed = label->wordWrap()
                                 ? metrics.boundingRect(QRect(0, 0, room.width(), 10'000),
                                                        Qt::TextWordWrap, label->text())
                                 : metrics.boundingRect(label->text());
        EXPECT_LE(needed.width(), room.width()) << label->text().toStdString();
        EXPECT_LE(needed.height(), room.height()) << label->text().toStdString();
    }
    for (QWidget *control : column->findChildren<QWidget *>()) {
        if (qobject_cast<QLabel *>(control) || !control->isVisibleTo(window))
            continue;
        EXPECT_GE(control->width(), control->sizeHint().width())
            << control->metaObject()->className();
        EXPECT_GE(control->height(), control->sizeHint().height())
            << control->metaObject()->className();
    }
}

TEST_F(PreferencesLayout, LabelsUseTheirPixelSizesAndTheSecondaryColour) {
    const auto label = [&](const QString &text) {
        for (QLabel *candidate : column->findChildren<QLabel *>()) {
            if (candidate->text() == text)
                return candidate;
        }
        return static_cast<QLabel *>(nullptr);
    };
    struct Expected {
        QString text;
        int pixelSize;
        bool bold;
        bool secondary;
    };
    const QList<Expected> expected{
        {"Telegram 狀態推播", 12, true, false},
        {"尚未連接", 11, false, true},
        {"進階：使用自己的 Bot", 11, false, true},
        {QStringLiteral("Korvella (Dremlo) v") + KORVELLA_TEST_PROJECT_VERSION, 13, true, false},
        {"免費使用。若這個小工具對你有幫助，歡迎透過贊助支持後續開發。", 11, false, true}};
    for (const Expected &e : expected) {
        QLabel *found = label(e.text);
        ASSERT_NE(found, nullptr) << e.text.toStdString();
        EXPECT_EQ(found->font().pixelSize(), e.pixelSize) << e.text.toStdString();
        EXPECT_EQ(found->font().bold(), e.bold) << e.text.toStdString();
        EXPECT_EQ(found->foregroundRole() == QPalette::PlaceholderText, e.secondary)
            << e.text.toStdString();
    }
}

// Builds and shows a window while the application font has the given pixel size.
struct WindowAtFont {
    explicit WindowAtFont(int pixelSize, bool connected = false) {
        const QFont original = QApplication::font();
        QFont font = original;
        font.setPixelSize(pixelSize);
        QApplication::setFont(font);
        if (connected)
            fake.settings.setString("tgOfficialChatID", "987654321");
        controller = std::make_unique<PreferencesWindowController>(fake.platform());
        controller->showWindow();
        QApplication::processEvents();
        QApplication::setFont(original);
    }
    PreferencesWindow *window() const { return controller->window(); }
    QRect column() const { return window()->column()->geometry(); }

    FakePlatform fake;
    std::unique_ptr<PreferencesWindowController> controller;
};

TEST(PreferencesWindowSize, RowsThatFitKeepItAt380By560ALargeFontGrowsItJustEnough) {
    WindowAtFont small(9);
    EXPECT_EQ(small.window()->size(), QSize(380, 560));
    EXPECT_LT(small.column().bottom() + 1, 560 - 24) << "free height stays below the column";

    WindowAtFont large(22);
    EXPECT_GT(large.window()->height(), 560);
    EXPECT_EQ(large.window()->width(), 380);
    EXPECT_EQ(large.column().bottom() + 1, large.window()->height() - 24);
    EXPECT_EQ(large.column().width(), 332);
}

TEST(PreferencesWindowSize, TheOfficialTestButtonsRowFitsToo) {
    WindowAtFont connected(12, true);
    ASSERT_FALSE(connected.controller->officialTestButton()->isHidden());
    WindowAtFont notConnected(12);
    const int buttonRow = connected.controller->officialTestButton()->height() + 16;
    EXPECT_GE(connected.window()->height(), 560);
    EXPECT_EQ(connected.column().height(), notConnected.column().height() + buttonRow);
    EXPECT_LE(connected.column().bottom() + 1, connected.window()->height() - 24);
}

} // namespace
