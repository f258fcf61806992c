#pragma once

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>

// Draws the status capsule: red and white while keeping awake, grey otherwise.
namespace IconRenderer {
// `size` is in device-independent pixels; the image has size × devicePixelRatio pixels and
// carries that ratio, so it stays sharp on scaled screens.
QImage statusIcon(bool isRunning, QSizeF size, qreal devicePixelRatio = 1.0);
// The capsule at each size tray panels draw (16 to 64 px), each drawn at that size, plus the
// variants a screen of `devicePixelRatio` needs. Drawn once per state and ratio and then
// shared, so a refresh that keeps the state costs no drawing. Main thread only.
const QList<QImage> &statusIcons(bool isRunning, qreal devicePixelRatio);
// The text that describes the image to assistive technology.
QString accessibilityDescription(bool isRunning);
} // namespace IconRenderer
