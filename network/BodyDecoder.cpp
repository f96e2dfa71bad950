#include "BodyDecoder.h"

#include <zlib.h>

namespace tidewell {

namespace {

class Identity : public BodyDecoder
{
public:
    bool decode(const char *data, qsizetype size, const Sink &sink) override { return sink(data, size); }
    bool provesEnd() const override { return false; }
    bool ended() const override { return false; }
};

// gzip (and deflate, which the zlib format carries): zlib finds the format
// from the header, and a stream is whole only when its trailer, with the
// checksum and the length, has been read. gzip allows several members in
// a row; each one must end.
class Inflate : public BodyDecoder
{
public:
    Inflate() { m_ready = inflateInit2(&m_stream, 15 + 32) == Z_OK; }
    ~Inflate() override
    {
        if (m_ready)
            inflateEnd(&m_stream);
    }
    Inflate(const Inflate &) = delete;
    Inflate &operator=(const Inflate &) = delete;

    bool provesEnd() const override { return true; }
    bool ended() const override { return m_ended; }

    bool decode(const char *data, qsizetype size, const Sink &sink) override
    {
        if (!m_ready) {
            m_error = QStringLiteral("the compressed file could not be unpacked (out of memory)");
            return false;
        }
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        m_stream.avail_in = static_cast<uInt>(size);
        while (m_stream.avail_in > 0) {
            if (m_ended) {
                // Another gzip member follows the one that ended.
                inflateReset(&m_stream);
                m_ended = false;
            }
            char out[64 * 1024];
            m_stream.next_out = reinterpret_cast<Bytef *>(out);
            m_stream.avail_out = sizeof out;
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
                m_error = QStringLiteral("the server's compressed file is damaged");
                return false;
            }
            const qsizetype produced = static_cast<qsizetype>(sizeof out - m_stream.avail_out);
            if (produced > 0 && !sink(out, produced))
                return false;
            m_ended = result == Z_STREAM_END;
            if (result == Z_BUF_ERROR && produced == 0)
                break;
        }
        return true;
    }

private:
    z_stream m_stream{};
    bool m_ready = false;
    bool m_ended = false;
};

} // namespace

std::unique_ptr<BodyDecoder> BodyDecoder::forEncoding(const QByteArray &contentEncoding, QString &error)
{
    const QByteArray encoding = contentEncoding.trimmed().toLower();
    if (encoding.isEmpty() || encoding == "identity")
        return std::make_unique<Identity>();
    if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate")
        return std::make_unique<Inflate>();
    error = QStringLiteral("the server sent the file in an encoding this program cannot check (%1)")
                .arg(QString::fromLatin1(encoding));
    return nullptr;
}

} // namespace tidewell
