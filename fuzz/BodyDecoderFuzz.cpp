// Feeds arbitrary bytes to the body decoder, whole and in pieces: it must
// never crash, and how the bytes arrive must not change what they decode to.

#include "BodyDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using tidewell::BodyDecoder;

struct Decoded
{
    bool accepted = true;
    bool ended = false;
    QByteArray data;
};

// What a bomb unpacks to is cut off here, as the reader's size limit does.
constexpr qsizetype maxDecoded = 8 * 1024 * 1024;

Decoded decode(const QByteArray &encoding, const QByteArray &body, qsizetype step)
{
    QString error;
    const std::unique_ptr<BodyDecoder> decoder = BodyDecoder::forEncoding(encoding, error);
    if (!decoder)
        std::abort();
    Decoded result;
    for (qsizetype at = 0; at < body.size() && result.accepted; at += step) {
        result.accepted = decoder->decode(body.constData() + at, std::min(step, body.size() - at),
                                          [&](const char *data, qsizetype size) {
                                              if (result.data.size() + size > maxDecoded)
                                                  return false;
                                              result.data.append(data, size);
                                              return true;
                                          });
    }
    result.ended = decoder->ended();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte chooses the encoding and the size of the pieces.
    if (size < 1)
        return 0;
    static const char *const encodings[] = {"gzip", "deflate", "x-gzip", "identity"};
    const std::uint8_t options = data[0];
    const QByteArray body(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QByteArray encoding = encodings[options & 3];
    const Decoded whole = decode(encoding, body, std::max<qsizetype>(body.size(), 1));
    const Decoded pieces = decode(encoding, body, (options >> 2) + 1);
    if (whole.accepted != pieces.accepted)
        std::abort();
    if (whole.accepted && (whole.ended != pieces.ended || whole.data != pieces.data))
        std::abort();
    return 0;
}
