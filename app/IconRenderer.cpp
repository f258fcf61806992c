#include "app/IconRenderer.h"

#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <cmath>
#include <map>

namespace {
// The "running" red is fixed rather than taken from the palette: rgb(255, 59, 48), a bright red
// that stays recognisable on both light and dark panels.
const QColor kRunningRed(255, 59, 48);
const QColor kIdleFill = QColor::fromRgbF(0.55f, 0.55f, 0.55f, 1.0f);
const QColor kIdleOutline = QColor::fromRgbF(0.35f, 0.35f, 0.35f, 0.8f);
const QColor kRunningOutline = QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.15f);
constexpr qreal kIdleOutlineWidth = 0.75;
constexpr qreal kRunningOutlineWidth = 0.6;
// The sizes panels ask tray items for; a panel that gets none of its size scales and blurs.
constexpr int kTraySizes[] = {16, 22, 24, 32, 48, 64};

QRectF capsuleRect(QSizeF size) {
    const qreal width = size.width() * 0.92;
    const qreal height = size.height() * 0.6;
    return QRectF((size.width() - width) * 0.5, (size.height() - height) * 0.5, width, height);
}

void fillRunningHalves(QPainter &painter, const QPainterPath &capsule, const QRectF &rect) {
    painter.save();
    painter.setClipPath(capsule);
    const qreal half = rect.width() * 0.5;
    painter.fillRect(QRectF(rect.x(), rect.y(), half, rect.height()), kRunningRed);
    painter.fillRect(QRectF(rect.x() + half, rect.y(), half, rect.height()), Qt::white);
    painter.restore();
}
} // namespace

namespace IconRenderer {

QImage statusIcon(bool isRunning, QSizeF size, qreal devicePixelRatio) {
    QImage image((size * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);

    // The painter works in device-independent pixels (it applies the image's ratio itself).
    // y grows downwards here; the capsule is centred, so the picture is the same either way.
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF rect = capsuleRect(size);
    const qreal radius = rect.height() * 0.5;
    QPainterPath capsule;
    capsule.addRoundedRect(rect, radius, radius);

    if (isRunning)
        fillRunningHalves(painter, capsule, rect);
    else
        painter.fillPath(capsule, kIdleFill);
    // The outline goes last and unclipped, so it straddles the capsule's edge.
    painter.strokePath(capsule, QPen(isRunning ? kRunningOutline : kIdleOutline,
                                     isRunning ? kRunningOutlineWidth : kIdleOutlineWidth));
    painter.end();

    image.setText(QStringLiteral("Description"), accessibilityDescription(isRunning));
    return image;
}

const QList<QImage> &statusIcons(bool isRunning, qreal devicePixelRatio) {
    // A node-based map: the references handed out stay valid as other ratios are added.
    static std::map<std::pair<bool, qreal>, QList<QImage>> cache;
    QList<QImage> &images = cache[{isRunning, devicePixelRatio}];
    if (!images.isEmpty())
        return images;
    QSet<int> pixelSizes;
    for (int size : kTraySizes) {
        images << statusIcon(isRunning, QSizeF(size, size));
        pixelSizes.insert(size);
    }
    // A scaled screen asks for size × ratio pixels; where no plain size already has that many,
    // draw it with the ratio so the outline keeps its width on screen.
    if (devicePixelRatio > 1.0) {
        for (int size : kTraySizes) {
            const int pixels = int(std::lround(size * devicePixelRatio));
            if (!pixelSizes.contains(pixels)) {
                images << statusIcon(isRunning, QSizeF(size, size), devicePixelRatio);
                pixelSizes.insert(pixels);
            }
        }
    }
    return images;
}

QString accessibilityDescription(bool isRunning) {
    return isRunning ? QStringLiteral("防睡眠中") : QStringLiteral("防睡眠未啟動");
}

} // namespace IconRenderer
