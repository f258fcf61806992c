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

// A click leaves the tick as the model says (that a cleared tick reaches the desktop's copy, the
// tray black box shows); hidden and disabled entries do nothing.
TEST(TrayMenu, ShowsEntriesAsTheModelSaysAndActsOnlyThroughShownOnes) {
    TrayMenu tray;
    QList<int> tags;
    tray.setActionHandler([&](MenuAction, int tag) { tags << tag; });
    MenuEntry status = entry(QStringLiteral("Tom & Jerry"), MenuAction::None);
    status.enabled = false;
    MenuEntry oneHour = entry(QStringLiteral("1 小時"), MenuAction::SelectDuration, 60);
    MenuEntry twoHours = entry(QStringLiteral("2 小時"), MenuAction::SelectDuration, 120);
    oneHour.checkable = twoHours.checkable = oneHour.checked = true;
    const MenuEntry quit = entry(QStringLiteral("&Quit"), MenuAction::Quit, 0, QStringLiteral("q"));
    const MenuEntry prefs =
        entry(QStringLiteral("偏好設定…"), MenuAction::OpenPreferences, 0, QStringLiteral(","));
    tray.apply({{status, MenuEntry::separator(), oneHour, twoHours, quit, prefs}});
    const QList<QAction *> actions = visibleActions(tray.menu());
    ASSERT_EQ(actions.size(), 6);
    EXPECT_EQ(actions[0]->text(), "Tom && Jerry");
    EXPECT_EQ(actions[4]->iconText(), "&Quit") << "shown as written";
    EXPECT_TRUE(actions[2]->shortcut().isEmpty());
    EXPECT_EQ(actions[4]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(actions[5]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_TRUE(actions[5]->isShortcutVisibleInContextMenu());
    EXPECT_FALSE(actions[0]->isEnabled());

    actions[2]->trigger();
    actions[3]->trigger();
    EXPECT_EQ(tags, QList<int>({60, 120}));
    EXPECT_FALSE(actions[3]->isChecked()) << "the model, not the click, sets the tick";
    EXPECT_FALSE(actions[4]->isCheckable()) << "no check box where no tick can be";

    tray.apply({{oneHour}});
    EXPECT_EQ(visibleActions(tray.menu()), QList<QAction *>({actions[2]}));
    actions[3]->trigger();
    EXPECT_EQ(tags.size(), 2) << "a hidden entry does not act";
}
} // namespace
