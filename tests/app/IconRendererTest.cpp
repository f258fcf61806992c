#include "app/IconRenderer.h"

#include <QColor>
#include <gtest/gtest.h>

namespace {
// The pixel under a point given in device-independent pixels.
QColor at(const QImage &image, qreal x, qreal y) {
    const qreal ratio = image.devicePixelRatio();
    return image.pixelColor(int(x * ratio), int(y * ratio));
}

// Grey as the idle image has it: neutral, and neither white nor transparent.
bool isGrey(const QColor &c) {
    return c.alpha() > 0 && c.red() == c.green() && c.green() == c.blue() && c.red() < 255;
}

class IconAtScale : public ::testing::TestWithParam<qreal> {};

TEST_P(IconAtScale, HasTheRequestedSizeInDevicePixels) {
    const qreal ratio = GetParam();
    const QImage image = IconRenderer::statusIcon(true, QSizeF(18, 18), ratio);
    EXPECT_EQ(image.size(), QSize(18, 18) * ratio);
    EXPECT_EQ(image.devicePixelRatio(), ratio);
    EXPECT_TRUE(image.hasAlphaChannel());
}

TEST_P(IconAtScale, RunningIsRedLeftAndWhiteRightSplitAtTheMiddle) {
    const QImage image = IconRenderer::statusIcon(true, QSizeF(18, 18), GetParam());
    EXPECT_EQ(at(image, 4.5, 9), QColor(255, 59, 48));
    EXPECT_EQ(at(image, 13.5, 9), QColor(Qt::white));
    // The halves meet at x = 9.0, on a pixel boundary at both scales.
    EXPECT_EQ(at(image, 8.9, 9), QColor(255, 59, 48));
    EXPECT_EQ(at(image, 9.0, 9), QColor(Qt::white));
    for (qreal x = 1.5; x < 16; x += 1)
        EXPECT_FALSE(isGrey(at(image, x, 9))) << "no grey in the running image at x " << x;
}

TEST_P(IconAtScale, IdleIsOneGreyWithADarkerOutline) {
    const QImage image = IconRenderer::statusIcon(false, QSizeF(18, 18), GetParam());
    const QColor fill = at(image, 9, 9);
    EXPECT_EQ(fill, QColor(140, 140, 140)); // grey 0.55
    EXPECT_EQ(at(image, 4.5, 9), fill);
    EXPECT_EQ(at(image, 13.5, 9), fill);
    for (qreal x = 1.5; x < 16; x += 1)
        EXPECT_TRUE(isGrey(at(image, x, 9))) << "no red or white when idle, at x " << x;
    // The capsule's top edge is at y 3.6; the outline (grey 0.35) straddles it.
    const QColor edge = at(image, 9, 3.5);
    EXPECT_GT(edge.alpha(), 0);
    EXPECT_LT(edge.red(), fill.red());
    EXPECT_EQ(edge.red(), edge.blue());
}

TEST_P(IconAtScale, RunningOutlineDarkensTheEdgeOnly) {
    const QImage image = IconRenderer::statusIcon(true, QSizeF(18, 18), GetParam());
    const QColor edge = at(image, 13.5, 3.7); // white half, on the edge
    EXPECT_GT(edge.alpha(), 0);
    EXPECT_LT(edge.red(), 255);
    EXPECT_EQ(at(image, 13.5, 5), QColor(Qt::white)) << "inside, away from the outline";
}

TEST_P(IconAtScale, CornersAndMarginsAreTransparent) {
    const qreal ratio = GetParam();
    for (bool running : {false, true}) {
        const QImage image = IconRenderer::statusIcon(running, QSizeF(18, 18), ratio);
        const int last = image.width() - 1;
        for (QPoint p : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
            EXPECT_EQ(image.pixelColor(p).alpha(), 0) << p.x() << "," << p.y();
        // Above and below the capsule (y 3.6 to 14.4, outline reaching 0.375 further).
        EXPECT_EQ(at(image, 9, 2.5).alpha(), 0);
        EXPECT_EQ(at(image, 9, 15.5).alpha(), 0);
        // The rounded ends: inside the capsule's box but outside its half-circles.
        EXPECT_EQ(at(image, 1.2, 3.7).alpha(), 0);
        EXPECT_EQ(at(image, 16.8, 14.3).alpha(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, IconAtScale, ::testing::Values(1.0, 2.0));

TEST(IconRenderer, NonSquareSizesScaleEachSideAndRadiusFollowsHeight) {
    // 36 × 18: capsule x 1.44 to 34.56, height 10.8; the ends are half-circles of radius 5.4
    // centred at x 6.84, not half-ellipses as wide as the capsule.
    const QImage image = IconRenderer::statusIcon(true, QSizeF(36, 18), 2.0);
    EXPECT_EQ(image.size(), QSize(72, 36));
    EXPECT_EQ(at(image, 2.5, 9), QColor(255, 59, 48)) << "inside the left half-circle";
    EXPECT_EQ(at(image, 4.0, 5.0), QColor(255, 59, 48)) << "inside the circle, not an ellipse";
    EXPECT_EQ(at(image, 2.0, 4.5).alpha(), 0) << "outside the left half-circle";
    EXPECT_EQ(at(image, 17.9, 9), QColor(255, 59, 48));
    EXPECT_EQ(at(image, 18.1, 9), QColor(Qt::white));
    EXPECT_EQ(at(image, 33.5, 9), QColor(Qt::white));
}

TEST(IconRenderer, DependsOnTheStateAloneAndDescribesIt) {
    const QImage running = IconRenderer::statusIcon(true, QSizeF(18, 18), 2.0);
    const QImage idle = IconRenderer::statusIcon(false, QSizeF(18, 18), 2.0);
    EXPECT_EQ(running, IconRenderer::statusIcon(true, QSizeF(18, 18), 2.0));
    EXPECT_NE(running, idle);
    EXPECT_EQ(running.text(QStringLiteral("Description")), "防睡眠中");
    EXPECT_EQ(idle.text(QStringLiteral("Description")), "防睡眠未啟動");
}
} // namespace
