#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>

// Draws the status capsule: red and white while keeping awake, grey otherwise.
namespace IconRenderer {
// `size` is in device-independent pixels; the image has size × devicePixelRatio pixels and
// carries that ratio, so it stays sharp on scaled screens.
QImage statusIcon(bool isRunning, QSizeF size, qreal devicePixelRatio = 1.0);
// The text that describes the image to assistive technology.
QString accessibilityDescription(bool isRunning);
} // namespace IconRenderer
