#include "BodyDecoder.h"

#include <zlib.h>

#include <utility>

namespace tidewell {

namespace {

class Identity : public BodyDecoder
{
public:
    bool decode(const char *data, qsizetype size, const Sink &sink) override { return sink(data, size); }
    bool provesEnd() const override { return false; }
    bool ended() const override { return false; }
};

// gzip and deflate, read as browsers and curl read them. A stream is whole
// only when its end has been read: the trailer with the checksum and the
// length for gzip and the zlib wrapper, the last block for raw deflate.
// gzip allows several members in a row, and some servers pad the last one
// with zero bytes; deflate comes with the zlib wrapper or, from some
// servers, without it.
class Inflate : public BodyDecoder
{
public:
    enum class Format
    {
        Gzip,
        Deflate,
    };

    explicit Inflate(Format format) : m_format(format)
    {
        if (format == Format::Gzip)
            begin(15 + 32); // gzip, or a zlib stream, told by the header
    }
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
        if (m_format == Format::Deflate && !m_started) {
            // Whether the zlib wrapper is there shows in the first two bytes.
            m_head.append(data, size);
            if (m_head.size() < 2)
                return true;
            begin(hasZlibHeader(m_head) ? 15 : -15);
            const QByteArray head = std::exchange(m_head, QByteArray());
            return inflateAll(head.constData(), head.size(), sink);
        }
        return inflateAll(data, size, sink);
    }

private:
    // RFC 1950: deflate with a window of at most 32 KiB, and a check value
    // that makes the two bytes a multiple of 31.
    static bool hasZlibHeader(const QByteArray &head)
    {
        const auto method = uchar(head[0]);
        const auto flags = uchar(head[1]);
        return (method & 0x0F) == 8 && (method >> 4) <= 7 && (method * 256 + flags) % 31 == 0;
    }

    void begin(int windowBits)
    {
        m_started = true;
        m_ready = inflateInit2(&m_stream, windowBits) == Z_OK;
    }

    bool damaged()
    {
        m_error = QStringLiteral("the server's compressed file is damaged");
        return false;
    }

    // After the end of a stream: zero bytes are padding, and for gzip
    // anything else starts the next member.
    bool afterEnd()
    {
        while (m_stream.avail_in > 0 && *m_stream.next_in == 0) {
            ++m_stream.next_in;
            --m_stream.avail_in;
            m_padded = true;
        }
        if (m_stream.avail_in == 0)
            return true;
        if (m_padded || m_format != Format::Gzip)
            return damaged();
        inflateReset(&m_stream);
        m_ended = false;
        return true;
    }

    bool inflateAll(const char *data, qsizetype size, const Sink &sink)
    {
        if (!m_ready) {
            m_error = QStringLiteral("the compressed file could not be unpacked (out of memory)");
            return false;
        }
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        m_stream.avail_in = static_cast<uInt>(size);
        while (m_stream.avail_in > 0) {
            if (m_ended) {
                if (!afterEnd())
                    return false;
                continue;
            }
            char out[64 * 1024];
            m_stream.next_out = reinterpret_cast<Bytef *>(out);
            m_stream.avail_out = sizeof out;
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                return damaged();
            const qsizetype produced = static_cast<qsizetype>(sizeof out - m_stream.avail_out);
            if (produced > 0 && !sink(out, produced))
                return false;
            m_ended = result == Z_STREAM_END;
            if (result == Z_BUF_ERROR && produced == 0)
                break;
        }
        return true;
    }

    const Format m_format;
    z_stream m_stream{};
    QByteArray m_head; // deflate's first bytes, until they tell the format
    bool m_started = false;
    bool m_ready = false;
    bool m_ended = false;
    bool m_padded = false;
};

} // namespace

std::unique_ptr<BodyDecoder> BodyDecoder::forEncoding(const QByteArray &contentEncoding, QString &error)
{
    const QByteArray encoding = contentEncoding.trimmed().toLower();
    if (encoding.isEmpty() || encoding == "identity")
        return std::make_unique<Identity>();
    if (encoding == "gzip" || encoding == "x-gzip")
        return std::make_unique<Inflate>(Inflate::Format::Gzip);
    if (encoding == "deflate")
        return std::make_unique<Inflate>(Inflate::Format::Deflate);
    error = QStringLiteral("the server sent the file in an encoding this program cannot check (%1)")
                .arg(QString::fromLatin1(encoding));
    return nullptr;
}

} // namespace tidewell
