#pragma once

#include "platform/StatusItem.h"

#include <QStringList>

// Records what the logic shows, in order, e.g. {"image", "title", "toolTip", "menu"}.
class FakeStatusItem final : public StatusItem {
public:
    bool hasButton() const override { return true; }
    qreal devicePixelRatio() const override { return 1.0; }
    void setImages(const QList<QImage> &value) override { images = value, calls << "image"; }
    void setTitle(const QString &value) override { title = value, calls << "title"; }
    void setToolTip(const QString &value) override { toolTip = value, calls << "toolTip"; }
    void setMenu(const MenuModel &value) override { menu = value, calls << "menu"; }
    void setActionHandler(ActionHandler value) override { handler = std::move(value); }

    // Chooses the menu entry with this title, as a click would.
    bool choose(const QString &entryTitle) {
        for (const MenuEntry &entry : menu.entries) {
            if (entry.title == entryTitle && entry.enabled && handler) {
                handler(entry.action, entry.tag);
                return true;
            }
        }
        return false;
    }

    QList<QImage> images;
    QString title = QStringLiteral("unset");
    QString toolTip;
    MenuModel menu;
    ActionHandler handler;
    QStringList calls;
};
