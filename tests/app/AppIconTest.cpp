#include "app/AppIcon.h"

#include "tests/app/AppTestSupport.h"

namespace quillon {
namespace {

TEST(AppIcon, IsPaintedAtTheSizeAsked) { EXPECT_EQ(appIconImage(80).size(), QSize(80, 80)); }

TEST(AppIcon, LeavesTheCornersTransparent) {
    const QImage image = appIconImage(256);
    EXPECT_EQ(qAlpha(image.pixel(2, 2)), 0);
    EXPECT_EQ(qAlpha(image.pixel(253, 253)), 0);
}

TEST(AppIcon, FillsItsSquareOpaque) {
    const QImage image = appIconImage(256);
    EXPECT_EQ(qAlpha(image.pixel(128, 230)), 255);
}

TEST(AppIcon, DrawsTheQuillInWhite) {
    // A point inside the vane, off the shaft.
    const QImage image = appIconImage(256);
    EXPECT_EQ(image.pixel(150, 80), qRgb(255, 255, 255));
}

TEST(AppIcon, OffersTheUsualWindowIconSizes) {
    const QList<QSize> sizes = appIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(48, 48)));
    EXPECT_TRUE(sizes.contains(QSize(256, 256)));
}

} // namespace
} // namespace quillon
