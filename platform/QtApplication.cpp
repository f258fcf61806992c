#include "platform/QtApplication.h"

#include "platform/StatusItem.h"

#include <QCoreApplication>

void QtApplication::terminate() {
    // Leave the event loop; main() returns from there.
    QCoreApplication::quit();
}

namespace {
// Stands in until the tray is drawn: no button, so nothing is shown yet.
class HiddenStatusItem final : public StatusItem {
public:
    bool hasButton() const override { return false; }
    qreal devicePixelRatio() const override { return 1.0; }
    void setImage(const QImage &) override {}
    void setTitle(const QString &) override {}
    void setToolTip(const QString &) override {}
    void setMenu(const MenuModel &) override {}
    void setActionHandler(ActionHandler) override {}
};
} // namespace

std::unique_ptr<StatusItem> QtApplication::createStatusItem() {
    return std::make_unique<HiddenStatusItem>();
}
