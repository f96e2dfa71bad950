#include "ProgramIcon.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

TEST(ProgramIcon, ComesInEveryDesktopSizeFromInsideTheExecutable)
{
    const QIcon icon = programIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : programIconSizes()) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        EXPECT_EQ(icon.pixmap(QSize(size, size)).size(), QSize(size, size)) << size;
    }
}

TEST(ProgramIcon, IsAWhiteMOnBlue)
{
    const QImage image = programIcon().pixmap(QSize(64, 64)).toImage();
    const auto isBlue = [&](int x, int y) {
        const QColor colour = image.pixelColor(x, y);
        return colour.blue() > 150 && colour.red() < 100 && colour.alpha() == 255;
    };
    const auto isWhite = [&](int x, int y) { return image.pixelColor(x, y) == QColor(Qt::white); };
    EXPECT_TRUE(isBlue(32, 6)) << "above the letter";
    EXPECT_TRUE(isBlue(32, 50)) << "under the letter's middle";
    EXPECT_TRUE(isWhite(16, 45)) << "left stroke";
    EXPECT_TRUE(isWhite(47, 45)) << "right stroke";
    EXPECT_TRUE(isWhite(32, 35)) << "the middle's point";
}

} // namespace
} // namespace tidewell
