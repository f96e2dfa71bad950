#include "CursorFile.h"
#include "CursorFileData.h"
#include "TemporaryHome.h"

#include <QFile>
#include <QPixmap>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

using namespace test;

void expectSamplePicture(const QImage &image, int width, int height)
{
    ASSERT_EQ(image.size(), QSize(width, height));
    EXPECT_EQ(image.pixel(width - 1, 0), qRgb(0, 0, 0)) << "top row";
    EXPECT_EQ(image.pixel(0, height - 1), qRgb(255, 255, 255)) << "bottom left";
    EXPECT_EQ(qAlpha(image.pixel(width - 1, height - 1)), 0) << "bottom right";
    EXPECT_EQ(image.pixel(width / 2 - 1, height / 2), qRgb(255, 255, 255));
    EXPECT_EQ(qAlpha(image.pixel(width / 2, height / 2)), 0);
}

struct Depth
{
    const char *name;
    QByteArray (*encode)(const QImage &);
    int width;
};

class CursorDepths : public ::testing::TestWithParam<Depth>
{
};

TEST_P(CursorDepths, DecodeRowsColumnsTransparencyAndHotspot)
{
    const Depth depth = GetParam();
    const QByteArray file = cursorFile({{depth.width, 32, QPoint(5, 7), depth.encode(samplePicture(depth.width, 32))}});
    const std::optional<CursorImage> cursor = decodeCursorFile(file);
    ASSERT_TRUE(cursor);
    expectSamplePicture(cursor->image, depth.width, 32);
    EXPECT_EQ(cursor->hotspot, QPoint(5, 7));
}

INSTANTIATE_TEST_SUITE_P(Formats, CursorDepths,
                         ::testing::Values(Depth{"monochrome", bitmap1, 32}, Depth{"alpha", bitmap32, 32},
                                           // 30 pixels of 3 bytes need row padding.
                                           Depth{"truecolour", bitmap24, 30}, Depth{"png", png, 48}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(CursorFile, TakesTheImageNearestThirtyTwoPixels)
{
    const QByteArray file = cursorFile({{16, 16, QPoint(1, 1), bitmap1(samplePicture(16, 16))},
                                        {32, 32, QPoint(9, 9), bitmap1(samplePicture(32, 32))},
                                        {48, 48, QPoint(3, 3), png(samplePicture(48, 48))}});
    const std::optional<CursorImage> cursor = decodeCursorFile(file);
    ASSERT_TRUE(cursor);
    EXPECT_EQ(cursor->image.width(), 32);
    EXPECT_EQ(cursor->hotspot, QPoint(9, 9));

    // A hotspot outside the picture is held to its edge.
    const auto outside = decodeCursorFile(cursorFile({{32, 32, QPoint(200, 40), bitmap1(samplePicture(32, 32))}}));
    ASSERT_TRUE(outside);
    EXPECT_EQ(outside->hotspot, QPoint(31, 31));
}

QByteArray withByte(QByteArray bytes, qsizetype at, char value)
{
    bytes[at] = value;
    return bytes;
}

TEST(CursorFile, RejectsWhatIsNotAReadableCursor)
{
    const QByteArray good = cursorFile({{32, 32, QPoint(), bitmap1(samplePicture(32, 32))}});
    constexpr qsizetype image = 22; // the bitmap header follows one directory entry
    QByteArray compressed = good;
    compressed[image + 16] = 1;
    const QByteArray cases[] = {
        QByteArray(),
        good.left(5),
        cursorFile({{32, 32, QPoint(), bitmap1(samplePicture(32, 32))}}, 1), // an icon, not a cursor
        good.left(good.size() - 1),                                          // the mask cut short
        withByte(good, 18, char(0x7f)),                                      // image beyond the file
        withByte(good, image + 14, 16),                                      // 16 bits a pixel
        compressed,
        withByte(good, image + 8, 63),                                       // odd doubled height
        withByte(good, image + 7, char(0x80)),                               // negative width
        cursorFile({{32, 32, QPoint(), QByteArrayLiteral("\x89PNG\r\n\x1a\nnot really")}}),
        cursorFile({}),
    };
    for (const QByteArray &bytes : cases)
        EXPECT_FALSE(decodeCursorFile(bytes)) << bytes.toHex().left(80).constData();
}

TEST(CursorFile, ReadsACursorFromDisk)
{
    TemporaryHome home;
    const QString path = home.programFolder() + QStringLiteral("/HAND-M.CUR");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(cursorFile({{32, 32, QPoint(6, 2), bitmap32(samplePicture(32, 32))}}));
    file.close();

    const std::optional<QCursor> cursor = readCursorFile(path);
    ASSERT_TRUE(cursor);
    EXPECT_EQ(cursor->shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor->hotSpot(), QPoint(6, 2));
    EXPECT_EQ(cursor->pixmap().size(), QSize(32, 32));
    EXPECT_FALSE(readCursorFile(home.programFolder() + QStringLiteral("/missing.cur")));
}

} // namespace
} // namespace tidewell
