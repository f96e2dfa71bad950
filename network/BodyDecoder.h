#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace tidewell {

// Undoes a body's Content-Encoding as it arrives. Episodes are asked for
// without any, but a server may send gzip all the same; a gzip or deflate
// stream carries its own end, so a cut-off one is told from a whole one.
// Encodings the program does not know are refused rather than saved as they
// are, since the file would not be the episode.
class BodyDecoder
{
public:
    using Sink = std::function<bool(const char *data, qsizetype size)>;

    virtual ~BodyDecoder() = default;

    // Null, with the reason in `error`, for an encoding that cannot be undone.
    static std::unique_ptr<BodyDecoder> forEncoding(const QByteArray &contentEncoding, QString &error);

    // Passes the decoded bytes to the sink. False when the bytes are not
    // what the encoding says (error() tells) or the sink refused them.
    virtual bool decode(const char *data, qsizetype size, const Sink &sink) = 0;
    // True when the encoding marks its own end and that end has been read.
    virtual bool provesEnd() const = 0;
    virtual bool ended() const = 0;
    const QString &error() const { return m_error; }

protected:
    QString m_error;
};

} // namespace tidewell
