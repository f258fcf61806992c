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

TEST_F(TrayMenuFromDelegate, ATickChangesOnlyTheStatusLineAndAnOpenMenuStaysOpen) {
    actionTitled(tray.menu(), "1 小時")->trigger();
    tray.menu()->popup(QPoint(10, 10));
    ASSERT_TRUE(tray.menu()->isVisible());
    // Each change of an action is one property update for the desktop's menu.
    QList<QAction *> changed;
    for (QAction *action : tray.menu()->actions())
        QObject::connect(action, &QAction::changed, [&changed, action] { changed << action; });

    tick(1); // still "1 小時": nothing at all changes
    EXPECT_TRUE(changed.isEmpty());
    tick(60);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0]->text(), "防睡眠中・剩 59 分");
    EXPECT_TRUE(tray.menu()->isVisible());
    tray.menu()->hide();
}

MenuEntry entry(const QString &title, MenuAction action, int tag = 0, const QString &key = {}) {
    MenuEntry e;
    e.title = title;
    e.action = action;
    e.tag = tag;
    e.keyEquivalent = key;
    return e;
}

TEST(TrayMenu, TextsArePlainAndKeyEquivalentsUseCtrl) {
    TrayMenu tray;
    tray.apply({{entry(QStringLiteral("Tom & Jerry"), MenuAction::Toggle),
                 entry(QStringLiteral("&Quit"), MenuAction::Quit, 0, QStringLiteral("q")),
                 entry(QStringLiteral("偏好設定…"), MenuAction::OpenPreferences, 0,
                       QStringLiteral(","))}});
    const QList<QAction *> actions = visibleActions(tray.menu());
    EXPECT_EQ(actions[0]->text(), "Tom && Jerry");
    EXPECT_EQ(actions[1]->iconText(), "&Quit") << "shown as written";
    EXPECT_TRUE(actions[0]->shortcut().isEmpty());
    EXPECT_EQ(actions[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(actions[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_TRUE(actions[2]->isShortcutVisibleInContextMenu());
}

TEST(TrayMenu, CheckableEntriesStayCheckableAndAClickLeavesTheTickAsTheModelSays) {
    TrayMenu tray;
    QList<int> tags;
    tray.setActionHandler([&](MenuAction, int tag) { tags << tag; });
    MenuEntry oneHour = entry(QStringLiteral("1 小時"), MenuAction::SelectDuration, 60);
    MenuEntry twoHours = entry(QStringLiteral("2 小時"), MenuAction::SelectDuration, 120);
    oneHour.checkable = twoHours.checkable = oneHour.checked = true;
    const MenuEntry quit = entry(QStringLiteral("結束 Korvella"), MenuAction::Quit);
    tray.apply({{oneHour, twoHours, quit}});
    const QList<QAction *> actions = visibleActions(tray.menu());
    actions[0]->trigger();
    actions[1]->trigger();
    EXPECT_EQ(tags, QList<int>({60, 120}));
    EXPECT_TRUE(actions[0]->isChecked());
    EXPECT_FALSE(actions[1]->isChecked());
    EXPECT_TRUE(actions[1]->isCheckable()) << "a cleared tick must be sent as unchecked";
    EXPECT_FALSE(actions[2]->isCheckable()) << "no check box where no tick can be";

    oneHour.checked = false;
    tray.apply({{oneHour, twoHours, quit}});
    EXPECT_TRUE(actions[0]->isCheckable());
    EXPECT_FALSE(actions[0]->isChecked());
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
