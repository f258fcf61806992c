#include "platform/TrayMenu.h"

#include <QAction>
#include <QSet>

namespace {
QString actionKey(const MenuEntry &entry) {
    return QStringLiteral("action:%1:%2").arg(int(entry.action)).arg(entry.tag);
}

// A stable identity per entry, the same in every model: entries with an action are named by
// action and tag; separators and plain text lines by the action entry above them. So the status
// line keeps its QAction while it is hidden, and the version line does not take it over.
QStringList entryKeys(const MenuModel &model) {
    QStringList keys;
    QSet<QString> used;
    QString anchor = QStringLiteral("top");
    int separators = 0;
    int texts = 0;
    for (const MenuEntry &entry : model.entries) {
        QString key;
        if (entry.isSeparator) {
            key = anchor + QStringLiteral("/separator:%1").arg(separators++);
        } else if (entry.action == MenuAction::None) {
            key = anchor + QStringLiteral("/text:%1").arg(texts++);
        } else {
            key = anchor = actionKey(entry);
            separators = texts = 0;
        }
        const QString base = key;
        for (int n = 2; used.contains(key); ++n)
            key = base + QStringLiteral("#%1").arg(n);
        used.insert(key);
        keys << key;
    }
    return keys;
}
} // namespace

TrayMenu::TrayMenu(QObject *parent)
    : QObject(parent) {
    m_menu.setAccessibleName(QStringLiteral("Korvella"));
}

TrayMenu::~TrayMenu() = default;

void TrayMenu::apply(const MenuModel &model) {
    m_model = model;
    const QStringList keys = entryKeys(model);
    QSet<QAction *> present;
    QAction *previous = nullptr;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        QAction *action = actionFor(keys[i], model.entries[i]);
        placeAfter(action, previous);
        update(action, model.entries[i]);
        present.insert(action);
        previous = action;
    }
    for (QAction *action : std::as_const(m_actions)) {
        if (!present.contains(action))
            action->setVisible(false);
    }
}

QAction *TrayMenu::actionFor(const QString &key, const MenuEntry &entry) {
    if (QAction *existing = m_actions.value(key))
        return existing;
    auto *action = new QAction(&m_menu);
    action->setSeparator(entry.isSeparator);
    // Shown in the menu, as the desktop's menus show key equivalents.
    action->setShortcutVisibleInContextMenu(true);
    connect(action, &QAction::triggered, this, [this, action] { onTriggered(action); });
    m_actions.insert(key, action);
    return action;
}

// Inserts or moves the action so that it directly follows `previous` among the menu's actions.
void TrayMenu::placeAfter(QAction *action, QAction *previous) {
    const QList<QAction *> actions = m_menu.actions();
    const qsizetype previousIndex = previous ? actions.indexOf(previous) : -1;
    const qsizetype index = actions.indexOf(action);
    if (index >= 0 && index > previousIndex) {
        // Already in order: hidden actions in between are fine, they show nothing.
        return;
    }
    if (index >= 0)
        m_menu.removeAction(action);
    const QList<QAction *> remaining = m_menu.actions();
    const qsizetype at = previous ? remaining.indexOf(previous) + 1 : 0;
    m_menu.insertAction(remaining.value(at, nullptr), action);
}

void TrayMenu::update(QAction *action, const MenuEntry &entry) {
    // QAction's setters ignore unchanged values, so a refresh that changes one label sends
    // one property change, not a new menu.
    m_shown.insert(action, entry);
    action->setVisible(true);
    if (entry.isSeparator)
        return;
    action->setText(plainLabel(entry.title));
    action->setShortcut(shortcutFor(entry.keyEquivalent));
    // Tray hosts cache the exported menu and only apply the properties they are sent: an entry
    // that stopped being checkable would keep its old tick there. So checkability follows the
    // entry, never the state, and a cleared tick goes out as an explicit unchecked state.
    action->setCheckable(entry.checkable || entry.checked);
    action->setChecked(entry.checked);
    action->setEnabled(entry.enabled);
}

void TrayMenu::onTriggered(QAction *action) {
    const MenuEntry entry = m_shown.value(action);
    if (m_handler && action->isVisible() && entry.action != MenuAction::None)
        m_handler(entry.action, entry.tag);
    // Undo what the click itself changed (a checkable action toggles itself); a handler that
    // refreshed has already applied a newer model, which this re-applies unchanged.
    apply(m_model);
}

QString TrayMenu::plainLabel(const QString &title) {
    QString label = title;
    return label.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QKeySequence TrayMenu::shortcutFor(const QString &keyEquivalent) {
    if (keyEquivalent.isEmpty())
        return {};
    // Ctrl is the desktop's counterpart of the primary menu modifier.
    return QKeySequence(QStringLiteral("Ctrl+") + keyEquivalent.toUpper(),
                        QKeySequence::PortableText);
}
