#include "platform/TrayMenu.h"
#include "app/AppDelegate.h"
#include "tests/support/FakePlatform.h"

#include <QAction>
#include <gtest/gtest.h>

namespace {
QList<QAction *> visibleActions(QMenu *menu) {
    QList<QAction *> shown;
    for (QAction *action : menu->actions()) {
        if (action->isVisible())
            shown << action;
    }
    return shown;
}

QStringList visibleTexts(QMenu *menu) {
    QStringList texts;
    for (QAction *action : visibleActions(menu))
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

QAction *actionTitled(QMenu *menu, const QString &text) {
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Real models, as the delegate builds them, applied to a tray menu.
class TrayMenuFromDelegate : public ::testing::Test {
protected:
    void SetUp() override {
        delegate.applicationDidFinishLaunching();
        tray.setActionHandler([this](MenuAction action, int tag) {
            delegate.performMenuAction(action, tag);
            tray.apply(delegate.buildMenu()); // the refresh a real status item receives
        });
        tray.apply(delegate.buildMenu());
    }
    void tick(int seconds) {
        fake.clock.advanceSeconds(seconds);
        delegate.countdownTick();
        tray.apply(delegate.buildMenu());
    }

    FakePlatform fake;
    AppDelegate delegate{fake.platform()};
    TrayMenu tray;
};

TEST_F(TrayMenuFromDelegate, ShowsTheModelsEntriesInOrder) {
    const MenuModel model = delegate.buildMenu();
    QStringList expected;
    for (const MenuEntry &entry : model.entries)
        expected << (entry.isSeparator ? QStringLiteral("-") : entry.title);
    EXPECT_EQ(visibleTexts(tray.menu()), expected);
    EXPECT_FALSE(
        actionTitled(tray.menu(), "Korvella v" + AppDelegate::appVersionString())->isEnabled());
}

TEST_F(TrayMenuFromDelegate, IdleRunningIdleKeepsEveryActionAndTogglesTheStatusLine) {
    const QList<QAction *> idle = visibleActions(tray.menu());
    ASSERT_EQ(idle.size(), 15);

    actionTitled(tray.menu(), "1 小時")->trigger();
    const QList<QAction *> running = visibleActions(tray.menu());
    ASSERT_EQ(running.size(), 17);
    EXPECT_EQ(running.mid(2), idle) << "the lower 15 entries keep their actions";
    EXPECT_EQ(running[0]->text(), "防睡眠中・剩 1 小時");
    EXPECT_FALSE(running[0]->isEnabled());
    EXPECT_TRUE(running[1]->isSeparator());
    EXPECT_EQ(idle[0]->text(), "結束防睡眠") << "the toggle was renamed in place";
    EXPECT_TRUE(actionTitled(tray.menu(), "1 小時")->isChecked());

    actionTitled(tray.menu(), "結束防睡眠")->trigger();
    EXPECT_EQ(visibleActions(tray.menu()), idle);
    EXPECT_FALSE(running[0]->isVisible());
    EXPECT_FALSE(running[1]->isVisible());
    EXPECT_EQ(tray.menu()->actions().size(), 17) << "hidden, not deleted";

    actionTitled(tray.menu(), "無限期")->trigger();
    EXPECT_EQ(visibleActions(tray.menu()), running) << "the status line comes back as itself";
    EXPECT_EQ(running[0]->text(), "防睡眠中・無限期");
}

TEST_F(TrayMenuFromDelegate, ACountdownTickChangesOnlyTheStatusLine) {
    actionTitled(tray.menu(), "1 小時")->trigger();
    // Each change of an action is one property update for the desktop's menu.
    QList<QAction *> changed;
    for (QAction *action : tray.menu()->actions())
        QObject::connect(action, &QAction::changed, [&changed, action] { changed << action; });

    tick(1); // still "1 小時": nothing at all changes
    EXPECT_TRUE(changed.isEmpty());

    tick(60);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0]->text(), "防睡眠中・剩 59 分");
}

TEST_F(TrayMenuFromDelegate, AnOpenMenuStaysOpenThroughRefreshes) {
    tray.menu()->popup(QPoint(10, 10));
    ASSERT_TRUE(tray.menu()->isVisible());
    actionTitled(tray.menu(), "30 分鐘")->trigger();
    tick(1);
    tick(60);
    EXPECT_TRUE(tray.menu()->isVisible());
    tray.menu()->hide();
}

TEST_F(TrayMenuFromDelegate, KeyEquivalentsAreCtrlAndShownOnTwoEntriesOnly) {
    for (QAction *action : tray.menu()->actions()) {
        if (action->text() == "偏好設定…") {
            EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        } else if (action->text() == "結束 Korvella") {
            EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        } else {
            EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
        }
        if (!action->isSeparator()) {
            EXPECT_TRUE(action->isShortcutVisibleInContextMenu());
        }
    }
}

TEST_F(TrayMenuFromDelegate, QuitReachesTheDelegate) {
    actionTitled(tray.menu(), "2 小時")->trigger();
    actionTitled(tray.menu(), "結束 Korvella")->trigger();
    EXPECT_EQ(fake.application.terminations, 1);
    EXPECT_FALSE(delegate.isRunning());
    EXPECT_TRUE(fake.powerAssertions.held.isEmpty());
}

MenuEntry entry(const QString &title, MenuAction action, int tag = 0, bool checked = false) {
    MenuEntry e;
    e.title = title;
    e.action = action;
    e.tag = tag;
    e.checked = checked;
    return e;
}

TEST(TrayMenu, TextsArePlainWithoutMnemonics) {
    TrayMenu tray;
    tray.apply({{entry(QStringLiteral("Tom & Jerry"), MenuAction::Toggle),
                 entry(QStringLiteral("&Quit"), MenuAction::Quit)}});
    const QList<QAction *> actions = visibleActions(tray.menu());
    EXPECT_EQ(actions[0]->text(), "Tom && Jerry");
    EXPECT_EQ(actions[1]->text(), "&&Quit");
    EXPECT_EQ(actions[1]->iconText(), "&Quit") << "shown as written";
}

TEST(TrayMenu, AClickThatChangesNothingLeavesTheCheckMarkAsTheModelSays) {
    TrayMenu tray;
    QList<int> tags;
    tray.setActionHandler([&](MenuAction, int tag) { tags << tag; });
    tray.apply({{entry(QStringLiteral("1 小時"), MenuAction::SelectDuration, 60, true),
                 entry(QStringLiteral("2 小時"), MenuAction::SelectDuration, 120, false)}});
    QAction *checked = visibleActions(tray.menu())[0];
    QAction *unchecked = visibleActions(tray.menu())[1];
    checked->trigger();
    unchecked->trigger();
    EXPECT_EQ(tags, QList<int>({60, 120}));
    EXPECT_TRUE(checked->isChecked());
    EXPECT_FALSE(unchecked->isChecked());
    EXPECT_FALSE(unchecked->isCheckable()) << "no empty check box on unchecked entries";
}

TEST(TrayMenu, HiddenEntriesDoNotActAndDisabledOnesStayDisabled) {
    TrayMenu tray;
    int calls = 0;
    tray.setActionHandler([&](MenuAction, int) { ++calls; });
    MenuEntry status = entry(QStringLiteral("status"), MenuAction::None);
    status.enabled = false;
    tray.apply({{status, MenuEntry::separator(), entry(QStringLiteral("go"), MenuAction::Toggle)}});
    QAction *statusAction = visibleActions(tray.menu())[0];
    QAction *go = visibleActions(tray.menu())[2];
    EXPECT_FALSE(statusAction->isEnabled());

    tray.apply({{entry(QStringLiteral("go"), MenuAction::Toggle)}});
    EXPECT_EQ(visibleActions(tray.menu()), QList<QAction *>({go}));
    statusAction->trigger();
    EXPECT_EQ(calls, 0);
}
} // namespace
