#pragma once

#include <QByteArray>

#include <zlib.h>

namespace tidewell::test {

// The bytes deflated as a server sends them: with the zlib wrapper
// (windowBits 15), without it (-15), or as gzip (16 + 15).
inline QByteArray compressed(const QByteArray &data, int windowBits)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// The bytes as a server sends them with Content-Encoding: gzip.
inline QByteArray gzip(const QByteArray &data)
{
    return compressed(data, 16 + MAX_WBITS);
}

} // namespace tidewell::test
