#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

#include <optional>

namespace tidewell {

// One picture out of a Windows cursor file and the point of it that
// clicks.
struct CursorImage
{
    QImage image; // ARGB32, premultiplied
    QPoint hotspot;
};

// Decodes a cursor file (.CUR): the directory with its hotspots, and the
// image either as a device-independent bitmap with its AND mask (1, 4, 8,
// 24 or 32 bits a pixel) or as embedded PNG. Of several images the one
// nearest 32 pixels wide is taken. Returns nothing for anything malformed;
// the data is untrusted, so every size and offset is checked.
std::optional<CursorImage> decodeCursorFile(const QByteArray &data);

// The cursor in the file at path, or nothing when it cannot be read.
std::optional<QCursor> readCursorFile(const QString &path);

// The cursor in the file at path as a window's pointer picture is loaded:
// raises "Path/File access error" (75) when the file cannot be read and
// "Invalid picture" (481) when it holds no cursor.
QCursor LoadPicture(const QString &path);

} // namespace tidewell
