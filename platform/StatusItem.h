#pragma once

#include "platform/MenuModel.h"

#include <QImage>
#include <QList>
#include <QString>
#include <functional>

// The item in the desktop's status area: an image with a tooltip and a drop-down menu.
class StatusItem {
public:
    using ActionHandler = std::function<void(MenuAction action, int tag)>;

    virtual ~StatusItem() = default;
    // False while there is nothing to draw into yet (no tray on the desktop).
    virtual bool hasButton() const = 0;
    // Scale of the screen the item is shown on, so the image is drawn at full resolution.
    virtual qreal devicePixelRatio() const = 0;
    // One picture at several sizes, so the desktop can pick the one that fits its panel.
    virtual void setImages(const QList<QImage> &images) = 0;
    virtual void setTitle(const QString &title) = 0;
    virtual void setToolTip(const QString &toolTip) = 0;
    virtual void setMenu(const MenuModel &menu) = 0;
    // Called with the chosen entry's action and tag.
    virtual void setActionHandler(ActionHandler handler) = 0;
};
