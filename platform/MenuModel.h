#pragma once

#include <QList>
#include <QString>

// What a status-menu entry does when chosen.
enum class MenuAction {
    None,
    Toggle,
    SelectDuration,
    ToggleLidSleep,
    OpenPreferences,
    Quit,
    KeepAwakeUntil
};

// One entry of the status menu, as a value: the logic builds a new list at every refresh and
// the status item decides how to show it.
struct MenuEntry {
    bool isSeparator = false;
    QString title;
    MenuAction action = MenuAction::None;
    QString keyEquivalent; // one character pressed with the primary modifier, or empty
    int tag = 0;
    // An entry that can carry a check mark is checkable in every state, so that a desktop menu
    // which keeps its own copy learns when the mark goes away.
    bool checkable = false;
    bool checked = false;
    bool enabled = true;

    static MenuEntry separator() {
        MenuEntry entry;
        entry.isSeparator = true;
        return entry;
    }
    bool operator==(const MenuEntry &) const = default;
};

struct MenuModel {
    QList<MenuEntry> entries;
    bool operator==(const MenuModel &) const = default;
};
