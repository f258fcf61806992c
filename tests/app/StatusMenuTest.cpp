#include "app/AppDelegate.h"
#include "app/IconRenderer.h"
#include "tests/support/FakePlatform.h"

#include <gtest/gtest.h>

namespace {
const QString kVersionLine = QStringLiteral("Korvella v") + AppDelegate::appVersionString();

// "on" for a tick, "off" for an entry that can carry one, "-" for one that cannot.
QString tick(const MenuEntry &e) {
    return e.checked     ? QStringLiteral("on")
           : e.checkable ? QStringLiteral("off")
                         : QStringLiteral("-");
}

// One row per entry: "title|action|key|tag|tick|enabled", separators as "-".
QStringList rows(const MenuModel &menu) {
    QStringList rows;
    for (const MenuEntry &e : menu.entries) {
        rows << (e.isSeparator ? QStringLiteral("-")
                               : QStringLiteral("%1|%2|%3|%4|%5|%6")
                                     .arg(e.title)
                                     .arg(int(e.action))
                                     .arg(e.keyEquivalent)
                                     .arg(e.tag)
                                     .arg(tick(e))
                                     .arg(e.enabled ? QStringLiteral("enabled")
                                                    : QStringLiteral("disabled")));
    }
    return rows;
}

// The entries below the toggle, the same whether or not a period runs (lid mode off).
// `checkedTag` is the duration entry carrying the check mark, -1 for none.
QStringList lowerRows(int checkedTag) {
    const auto duration = [&](const QString &title, int tag) {
        return QStringLiteral("%1|2||%2|%3|enabled")
            .arg(title)
            .arg(tag)
            .arg(tag == checkedTag ? QStringLiteral("on") : QStringLiteral("off"));
    };
    return {duration(QStringLiteral("30 分鐘"), 30),
            duration(QStringLiteral("1 小時"), 60),
            duration(QStringLiteral("2 小時"), 120),
            duration(QStringLiteral("4 小時"), 240),
            duration(QStringLiteral("無限期"), 0),
            QStringLiteral("直到指定時間…|6||0|off|enabled"),
            QStringLiteral("-"),
            QStringLiteral("闔蓋時保持喚醒|3||0|off|enabled"),
            QStringLiteral("-"),
            QStringLiteral("偏好設定…|4|,|0|-|enabled"),
            QStringLiteral("結束 Korvella|5|q|0|-|enabled"),
            QStringLiteral("-"),
            kVersionLine + QStringLiteral("|0||0|-|disabled")};
}

class StatusMenu : public ::testing::Test {
protected:
    void SetUp() override { delegate.applicationDidFinishLaunching(); }
    FakeStatusItem &item() { return *fake.application.statusItem; }

    FakePlatform fake;
    AppDelegate delegate{fake.platform()};
};

TEST_F(StatusMenu, EachChoiceShowsItsStatusTickAndIconAndATickRefreshesAllInOrder) {
    const auto top = [](const QString &status) {
        return status.isEmpty() ? QStringList{"開始防睡眠|1||0|-|enabled", "-"}
                                : QStringList{status + "|0||0|-|disabled", "-",
                                              "結束防睡眠|1||0|-|enabled", "-"};
    };
    const std::tuple<QString, QString, int> steps[] = {{"", "", -1},
                                                       {"開始防睡眠", "防睡眠中・無限期", 0},
                                                       {"2 小時", "防睡眠中・剩 2 小時", 120},
                                                       {"結束防睡眠", "", -1},
                                                       {"30 分鐘", "防睡眠中・剩 30 分", 30}};
    for (const auto &[choice, status, checkedTag] : steps) {
        ASSERT_TRUE(choice.isEmpty() || item().choose(choice)) << choice.toStdString();
        EXPECT_EQ(rows(item().menu), top(status) + lowerRows(checkedTag)) << choice.toStdString();
        EXPECT_EQ(item().toolTip, "Korvella・" + (status.isEmpty() ? "防睡眠未啟動" : status));
        EXPECT_EQ(item().images, IconRenderer::statusIcons(!status.isEmpty(), 1.0));
        EXPECT_EQ(item().title, "");
    }
    item().calls.clear();
    fake.clock.advanceSeconds(61);
    delegate.countdownTick();
    EXPECT_EQ(item().calls, QStringList({"image", "title", "toolTip", "menu"}));
    EXPECT_EQ(item().menu.entries.first().title, "防睡眠中・剩 29 分");
    EXPECT_EQ(item().toolTip, "Korvella・防睡眠中・剩 29 分");
}
} // namespace
