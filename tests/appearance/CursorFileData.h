#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QImage>
#include <QPoint>

#include <vector>

namespace tidewell::test {

// Builds Windows cursor files byte by byte, the way the tools that draw
// cursors write them.
struct CursorEntry
{
    int width = 32;
    int height = 32;
    QPoint hotspot;
    QByteArray image;
};

inline QByteArray cursorFile(const std::vector<CursorEntry> &entries, quint16 type = 2)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << type << quint16(entries.size());
    quint32 offset = 6 + 16 * quint32(entries.size());
    for (const CursorEntry &entry : entries) {
        out << quint8(entry.width & 0xff) << quint8(entry.height & 0xff) << quint8(0) << quint8(0)
            << quint16(entry.hotspot.x()) << quint16(entry.hotspot.y()) << quint32(entry.image.size()) << offset;
        offset += quint32(entry.image.size());
    }
    for (const CursorEntry &entry : entries)
        out.writeRawData(entry.image.constData(), int(entry.image.size()));
    return bytes;
}

inline int stride(int width, int bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}

inline void writeBitmapHeader(QDataStream &out, int width, int height, int bitCount, quint32 compression = 0)
{
    out << quint32(40) << qint32(width) << qint32(2 * height) << quint16(1) << quint16(bitCount) << compression
        << quint32(0) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
}

// The AND mask: set bits are transparent.
inline void writeMask(QDataStream &out, const QImage &image)
{
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(stride(image.width(), 1), '\0');
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.writeRawData(row.constData(), int(row.size()));
    }
}

// A 32-bit image with its own alpha, and a mask of zeros as such files carry.
inline QByteArray bitmap32(const QImage &image)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    writeBitmapHeader(out, image.width(), image.height(), 32);
    for (int y = image.height() - 1; y >= 0; --y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            out << quint8(qBlue(pixel)) << quint8(qGreen(pixel)) << quint8(qRed(pixel)) << quint8(qAlpha(pixel));
        }
    }
    for (int y = 0; y < image.height(); ++y)
        out.writeRawData(QByteArray(stride(image.width(), 1), '\0').constData(), stride(image.width(), 1));
    return bytes;
}

// A 24-bit image; transparency only through the mask.
inline QByteArray bitmap24(const QImage &image)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    writeBitmapHeader(out, image.width(), image.height(), 24);
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(stride(image.width(), 24), '\0');
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            row[3 * x] = char(qBlue(pixel));
            row[3 * x + 1] = char(qGreen(pixel));
            row[3 * x + 2] = char(qRed(pixel));
        }
        out.writeRawData(row.constData(), int(row.size()));
    }
    writeMask(out, image);
    return bytes;
}

// The classic black-and-white cursor: a two-colour palette, one bit a pixel.
inline QByteArray bitmap1(const QImage &image)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    writeBitmapHeader(out, image.width(), image.height(), 1);
    out << quint32(0x00000000) << quint32(0x00ffffff);
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(stride(image.width(), 1), '\0');
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) > 127)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.writeRawData(row.constData(), int(row.size()));
    }
    writeMask(out, image);
    return bytes;
}

inline QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A picture that shows whether rows and columns landed where they belong:
// a black top row, a white left half below it, a transparent right half.
inline QImage samplePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            QRgb pixel = x < width / 2 ? qRgb(255, 255, 255) : qRgba(0, 0, 0, 0);
            if (y == 0)
                pixel = qRgb(0, 0, 0);
            image.setPixel(x, y, pixel);
        }
    }
    return image;
}

} // namespace tidewell::test
