#include "app/IconRenderer.h"

#include <QColor>
#include <QSet>
#include <gtest/gtest.h>

namespace {
QColor at(const QImage &image, qreal fx, qreal fy) {
    return image.pixelColor(int(fx * image.width()), int(fy * image.height()));
}

bool isRed(const QColor &c) {
    return c.alpha() == 255 && c.red() > 200 && c.green() < 100 && c.blue() < 100;
}

// Grey as the idle image has it: neutral, and neither white nor transparent.
bool isGrey(const QColor &c) {
    return c.alpha() > 0 && c.red() == c.green() && c.green() == c.blue() && c.red() < 255;
}

// Each size is drawn once per state and ratio (that it is drawn, not scaled, the tray black box
// checks on what the host receives).
TEST(IconRenderer, EverySizeIsRedAndWhiteWhileRunningGreyWhenIdleWithClearCorners) {
    const QList<QImage> &icons = IconRenderer::statusIcons(true, 2.0);
    QSet<int> pixels;
    for (const QImage &image : icons) {
        SCOPED_TRACE(image.width());
        pixels.insert(image.width());
        EXPECT_TRUE(isRed(at(image, 0.25, 0.5)));
        EXPECT_EQ(at(image, 0.75, 0.5), QColor(Qt::white));
        EXPECT_TRUE(isRed(image.pixelColor(image.width() / 2 - 1, image.height() / 2)));
        EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(Qt::white));
        for (qreal fx = 0.1; fx < 0.9; fx += 0.05)
            EXPECT_FALSE(isGrey(at(image, fx, 0.5))) << "no grey while running, at " << fx;
        // The top edge lies on the outline, which darkens the white.
        EXPECT_LT(at(image, 0.75, 0.2).red(), 255);
        EXPECT_EQ(image.text(QStringLiteral("Description")), "防睡眠中");
    }
    EXPECT_TRUE(pixels.contains(44)) << "22 px on a 2x screen";
    EXPECT_EQ(pixels.size(), icons.size()) << "no size twice";
    EXPECT_EQ(IconRenderer::statusIcons(true, 2.0).first().cacheKey(), icons.first().cacheKey());
    for (const QImage &image : IconRenderer::statusIcons(false, 2.0)) {
        SCOPED_TRACE(image.width());
        for (qreal fx = 0.1; fx < 0.9; fx += 0.05)
            EXPECT_TRUE(isGrey(at(image, fx, 0.5))) << "no red or white when idle, at " << fx;
        EXPECT_EQ(at(image, 0.25, 0.5), at(image, 0.75, 0.5));
        const QColor edge = at(image, 0.5, 0.2);
        EXPECT_GT(edge.alpha(), 0);
        EXPECT_LT(edge.red(), at(image, 0.5, 0.5).red()) << "a darker outline";
        EXPECT_EQ(image.text(QStringLiteral("Description")), "防睡眠未啟動");
    }
    for (bool running : {false, true}) {
        for (const QImage &image : IconRenderer::statusIcons(running, 2.0)) {
            const int last = image.width() - 1;
            for (QPoint p : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
                EXPECT_EQ(image.pixelColor(p).alpha(), 0) << image.width();
            EXPECT_EQ(at(image, 0.5, 0.1).alpha(), 0) << "above the capsule";
            EXPECT_EQ(at(image, 0.07, 0.22).alpha(), 0) << "outside the rounded end";
        }
    }
}

} // namespace
