#include "app/IconRenderer.h"

#include <QPainter>
#include <QPainterPath>

namespace {
// A fixed, fully saturated red close to the desktop's usual "destructive" red: rgb(255, 59, 48).
const QColor kRed(255, 59, 48);

QPainterPath capsulePath(QSizeF size) {
    const qreal width = size.width() * 0.92;
    const qreal height = size.height() * 0.6;
    const QRectF rect((size.width() - width) * 0.5, (size.height() - height) * 0.5, width, height);
    QPainterPath path;
    path.addRoundedRect(rect, height * 0.5, height * 0.5);
    return path;
}
} // namespace

namespace IconRenderer {

QImage statusIcon(bool isRunning, QSizeF size, qreal devicePixelRatio) {
    QImage image((size * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawing in image coordinates with y down: the capsule is centred, so the geometry is the
    // same whichever way y grows.
    const QPainterPath path = capsulePath(size);
    const QRectF rect = path.boundingRect();
    QColor outline;
    qreal outlineWidth;
    if (isRunning) {
        painter.save();
        painter.setClipPath(path);
        painter.fillRect(QRectF(rect.x(), rect.y(), rect.width() * 0.5, rect.height()), kRed);
        painter.fillRect(QRectF(rect.center().x(), rect.y(), rect.width() * 0.5, rect.height()),
                         Qt::white);
        painter.restore();
        outline = QColor::fromRgbF(0, 0, 0, 0.15);
        outlineWidth = 0.6;
    } else {
        painter.fillPath(path, QColor::fromRgbF(0.55, 0.55, 0.55, 1.0));
        outline = QColor::fromRgbF(0.35, 0.35, 0.35, 0.8);
        outlineWidth = 0.75;
    }
    painter.strokePath(path, QPen(outline, outlineWidth));
    painter.end();
    image.setText(QStringLiteral("Description"), accessibilityDescription(isRunning));
    return image;
}

QString accessibilityDescription(bool isRunning) {
    return isRunning ? QStringLiteral("防睡眠中") : QStringLiteral("防睡眠未啟動");
}

} // namespace IconRenderer
