#include "CursorFile.h"

#include "RuntimeError.h"

#include <QFile>
#include <QPixmap>
#include <QtEndian>

#include <cstdlib>
#include <vector>

namespace tidewell {
namespace {

constexpr qsizetype DirectoryHeaderSize = 6;
constexpr qsizetype DirectoryEntrySize = 16;
constexpr qsizetype BitmapHeaderSize = 40;
constexpr quint16 CursorType = 2;
constexpr int PreferredSize = 32;
constexpr int LargestSize = 256;
// A cursor file larger than this is not a cursor.
constexpr qsizetype MaximumFileSize = 4 * 1024 * 1024;

// Little-endian reads that refuse to leave the buffer.
class Reader
{
public:
    explicit Reader(const QByteArray &data) : m_data(data) {}

    bool has(qint64 offset, qint64 length) const
    {
        return offset >= 0 && length >= 0 && offset + length <= m_data.size();
    }
    quint8 u8(qsizetype offset) const { return static_cast<quint8>(m_data.at(offset)); }
    quint16 u16(qsizetype offset) const { return qFromLittleEndian<quint16>(m_data.constData() + offset); }
    quint32 u32(qsizetype offset) const { return qFromLittleEndian<quint32>(m_data.constData() + offset); }
    qint32 i32(qsizetype offset) const { return qFromLittleEndian<qint32>(m_data.constData() + offset); }
    QByteArray slice(qsizetype offset, qsizetype length) const { return m_data.mid(offset, length); }

private:
    const QByteArray &m_data;
};

struct DirectoryEntry
{
    int width = 0;
    int height = 0;
    QPoint hotspot;
    qint64 size = 0;
    qint64 offset = 0;
};

std::vector<DirectoryEntry> readDirectory(const Reader &reader)
{
    if (!reader.has(0, DirectoryHeaderSize) || reader.u16(0) != 0 || reader.u16(2) != CursorType)
        return {};
    const int count = reader.u16(4);
    std::vector<DirectoryEntry> entries;
    for (int i = 0; i < count; ++i) {
        const qsizetype at = DirectoryHeaderSize + i * DirectoryEntrySize;
        if (!reader.has(at, DirectoryEntrySize))
            return {};
        DirectoryEntry entry;
        // A zero in the one-byte size fields means 256.
        entry.width = reader.u8(at) ? reader.u8(at) : LargestSize;
        entry.height = reader.u8(at + 1) ? reader.u8(at + 1) : LargestSize;
        entry.hotspot = QPoint(reader.u16(at + 4), reader.u16(at + 6));
        entry.size = reader.u32(at + 8);
        entry.offset = reader.u32(at + 12);
        if (reader.has(entry.offset, entry.size))
            entries.push_back(entry);
    }
    return entries;
}

const DirectoryEntry *nearestToPreferredSize(const std::vector<DirectoryEntry> &entries)
{
    const DirectoryEntry *best = nullptr;
    for (const DirectoryEntry &entry : entries) {
        if (!best || std::abs(entry.width - PreferredSize) < std::abs(best->width - PreferredSize))
            best = &entry;
    }
    return best;
}

bool isPng(const QByteArray &image)
{
    return image.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1a\n"));
}

// The header of a device-independent bitmap as a cursor stores it: the
// height counts the colour rows and the mask rows together.
struct BitmapLayout
{
    int width = 0;
    int height = 0;
    int bitCount = 0;
    qint64 paletteOffset = 0;
    int paletteSize = 0;
    qint64 pixelsOffset = 0;
    qint64 pixelStride = 0;
    qint64 maskOffset = 0;
    qint64 maskStride = 0;
};

qint64 rowStride(int width, int bitCount)
{
    return ((qint64{width} * bitCount + 31) / 32) * 4;
}

std::optional<BitmapLayout> readBitmapLayout(const Reader &reader)
{
    if (!reader.has(0, BitmapHeaderSize))
        return std::nullopt;
    const quint32 headerSize = reader.u32(0);
    const qint32 width = reader.i32(4);
    const qint32 doubledHeight = reader.i32(8);
    const quint16 bitCount = reader.u16(14);
    const quint32 compression = reader.u32(16);
    const quint32 coloursUsed = reader.u32(32);
    const bool knownDepth = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 || bitCount == 32;
    if (headerSize < BitmapHeaderSize || compression != 0 || !knownDepth || width <= 0 || width > LargestSize
        || doubledHeight <= 0 || doubledHeight > 2 * LargestSize || doubledHeight % 2 != 0)
        return std::nullopt;

    BitmapLayout layout;
    layout.width = width;
    layout.height = doubledHeight / 2;
    layout.bitCount = bitCount;
    layout.paletteOffset = headerSize;
    if (bitCount <= 8) {
        const int fullPalette = 1 << bitCount;
        layout.paletteSize = coloursUsed > 0 && coloursUsed < quint32(fullPalette) ? int(coloursUsed) : fullPalette;
    }
    layout.pixelsOffset = layout.paletteOffset + qint64{layout.paletteSize} * 4;
    layout.pixelStride = rowStride(layout.width, bitCount);
    layout.maskOffset = layout.pixelsOffset + layout.pixelStride * layout.height;
    layout.maskStride = rowStride(layout.width, 1);
    if (!reader.has(layout.maskOffset, layout.maskStride * layout.height))
        return std::nullopt;
    return layout;
}

int bitsAt(const Reader &reader, qint64 rowOffset, int x, int bitCount)
{
    const qint64 bit = qint64{x} * bitCount;
    const int byte = reader.u8(rowOffset + bit / 8);
    const int shift = 8 - bitCount - int(bit % 8);
    return (byte >> shift) & ((1 << bitCount) - 1);
}

QRgb paletteColour(const Reader &reader, const BitmapLayout &layout, int index)
{
    if (index >= layout.paletteSize)
        return qRgb(0, 0, 0);
    const qint64 at = layout.paletteOffset + qint64{index} * 4;
    return qRgb(reader.u8(at + 2), reader.u8(at + 1), reader.u8(at));
}

QRgb pixelAt(const Reader &reader, const BitmapLayout &layout, qint64 rowOffset, int x)
{
    switch (layout.bitCount) {
    case 32: {
        const qint64 at = rowOffset + qint64{x} * 4;
        return qRgba(reader.u8(at + 2), reader.u8(at + 1), reader.u8(at), reader.u8(at + 3));
    }
    case 24: {
        const qint64 at = rowOffset + qint64{x} * 3;
        return qRgb(reader.u8(at + 2), reader.u8(at + 1), reader.u8(at));
    }
    default: return paletteColour(reader, layout, bitsAt(reader, rowOffset, x, layout.bitCount));
    }
}

// A 32-bit image may carry its own alpha; when every alpha byte is zero the
// AND mask decides, as for the other depths.
bool hasAlpha(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(row[x]) != 0)
                return true;
        }
    }
    return false;
}

// Rows are stored bottom up. Screen-inverting pixels (mask set, colour not
// black) cannot be shown by a picture cursor and become transparent.
std::optional<QImage> decodeBitmap(const QByteArray &bytes)
{
    const Reader reader(bytes);
    const std::optional<BitmapLayout> layout = readBitmapLayout(reader);
    if (!layout)
        return std::nullopt;
    QImage image(layout->width, layout->height, QImage::Format_ARGB32);
    for (int y = 0; y < layout->height; ++y) {
        const int fromBottom = layout->height - 1 - y;
        const qint64 pixelRow = layout->pixelsOffset + fromBottom * layout->pixelStride;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < layout->width; ++x)
            line[x] = pixelAt(reader, *layout, pixelRow, x);
    }
    if (layout->bitCount == 32 && hasAlpha(image))
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < layout->height; ++y) {
        const qint64 maskRow = layout->maskOffset + (layout->height - 1 - y) * layout->maskStride;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < layout->width; ++x)
            line[x] = bitsAt(reader, maskRow, x, 1) ? qRgba(0, 0, 0, 0) : (line[x] | 0xff000000u);
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

std::optional<QImage> decodeImage(const QByteArray &bytes)
{
    if (isPng(bytes)) {
        const QImage png = QImage::fromData(bytes, "PNG");
        if (png.isNull())
            return std::nullopt;
        return png.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return decodeBitmap(bytes);
}

QPoint clampedHotspot(QPoint hotspot, const QImage &image)
{
    return {qBound(0, hotspot.x(), image.width() - 1), qBound(0, hotspot.y(), image.height() - 1)};
}

} // namespace

std::optional<CursorImage> decodeCursorFile(const QByteArray &data)
{
    const Reader reader(data);
    const std::vector<DirectoryEntry> entries = readDirectory(reader);
    const DirectoryEntry *entry = nearestToPreferredSize(entries);
    if (!entry)
        return std::nullopt;
    const std::optional<QImage> image = decodeImage(reader.slice(entry->offset, entry->size));
    if (!image || image->isNull())
        return std::nullopt;
    return CursorImage{*image, clampedHotspot(entry->hotspot, *image)};
}

QCursor LoadPicture(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(errnum::PathFileAccessError, QStringLiteral("Path/File access error"));
    const std::optional<CursorImage> cursor =
        file.size() > MaximumFileSize ? std::nullopt : decodeCursorFile(file.readAll());
    if (!cursor)
        throw RuntimeError(errnum::InvalidPicture, QStringLiteral("Invalid picture"));
    return QCursor(QPixmap::fromImage(cursor->image), cursor->hotspot.x(), cursor->hotspot.y());
}

std::optional<QCursor> readCursorFile(const QString &path)
{
    try {
        return LoadPicture(path);
    } catch (const RuntimeError &) {
        return std::nullopt;
    }
}

} // namespace tidewell
