#pragma once

#include "platform/MenuModel.h"

#include <QHash>
#include <QMenu>
#include <QObject>
#include <functional>

class QAction;

// The one long-lived menu of the tray icon. Each new model is applied to it in place: an entry
// keeps its QAction from refresh to refresh, and entries a model leaves out are hidden rather
// than deleted. So a menu held open during a countdown neither closes nor flickers, and a click
// on an exported item never races against a vanished item id.
class TrayMenu final : public QObject {
    Q_OBJECT

public:
    using ActionHandler = std::function<void(MenuAction action, int tag)>;

    explicit TrayMenu(QObject *parent = nullptr);
    ~TrayMenu() override;

    void apply(const MenuModel &model);
    void setActionHandler(ActionHandler handler) { m_handler = std::move(handler); }
    QMenu *menu() { return &m_menu; }

    // A menu label shows text as given: '&' would otherwise start a mnemonic.
    static QString plainLabel(const QString &title);
    static QKeySequence shortcutFor(const QString &keyEquivalent);

private:
    QAction *actionFor(const QString &key, const MenuEntry &entry);
    void placeAfter(QAction *action, QAction *previous);
    void update(QAction *action, const MenuEntry &entry);
    void onTriggered(QAction *action);

    QMenu m_menu;
    QHash<QString, QAction *> m_actions; // by entry identity, see entryKeys()
    QHash<QAction *, MenuEntry> m_shown;
    MenuModel m_model;
    ActionHandler m_handler;
};
