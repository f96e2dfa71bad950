#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <optional>

namespace tidewell {

// Reads one HTTP/1.1 response from a connection's bytes as they arrive and
// knows exactly where its body ends: at its Content-Length, counted on the
// bytes as they came; after the last chunk of a chunked body; or, for a body
// that only the closing of the connection ends, at the close, which proves
// nothing (a dropped connection looks the same). The head is read within
// fixed bounds, so a server sending a line without end costs little memory.
class HttpResponseParser
{
public:
    static constexpr qsizetype maxLineLength = 64 * 1024;
    static constexpr qsizetype maxHeadSize = 256 * 1024;
    static constexpr int maxFieldCount = 256;

    enum class State
    {
        Head,    // reading the status line and the headers
        Body,
        Done,    // the response is complete
        Stopped, // the head handler wanted no more
        Failed,
    };
    enum class Framing
    {
        NoBody,     // 204, 304
        Length,     // Content-Length
        Chunked,
        UntilClose, // neither: the body ends when the connection does
    };

    // Takes decoded body bytes; false stops the parse (the sink has failed).
    using BodySink = std::function<bool(const char *data, qsizetype size)>;

    // Runs once the head of the final response is read (interim 1xx answers
    // are skipped); false stops the parse before any body byte is taken.
    std::function<bool()> onHead;

    void feed(const char *data, qsizetype size, const BodySink &sink);
    // The peer closed the connection.
    void closed();

    State state() const { return m_state; }
    const QString &error() const { return m_error; }

    int status() const { return m_status; }
    const QByteArray &reason() const { return m_reason; }
    // Every value of that header (letter case aside), joined by ", ".
    QByteArray header(const QByteArray &name) const;
    Framing framing() const { return m_framing; }
    std::optional<qint64> contentLength() const { return m_contentLength; }
    // Body bytes as they arrived, chunk framing aside.
    qint64 bodyReceived() const { return m_bodyReceived; }

private:
    enum class ChunkPart
    {
        Size,
        Data,
        DataEnd,
        Trailer,
    };

    void fail(const QString &error);
    // Splits off the next line (without CR LF) of the input; false when none
    // is complete yet.
    bool takeLine(const char *&data, const char *end, QByteArray &line);
    void headLine(const QByteArray &line);
    void headEnded();
    bool chooseFraming();
    void body(const char *&data, const char *end, const BodySink &sink);
    void chunked(const char *&data, const char *end, const BodySink &sink);
    bool deliver(const char *data, qsizetype size, const BodySink &sink);

    State m_state = State::Head;
    QString m_error;
    QByteArray m_line;
    qsizetype m_headSize = 0;
    bool m_statusRead = false;
    int m_status = 0;
    QByteArray m_reason;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    Framing m_framing = Framing::UntilClose;
    std::optional<qint64> m_contentLength;
    qint64 m_bodyReceived = 0;
    ChunkPart m_chunkPart = ChunkPart::Size;
    qint64 m_chunkLeft = 0;
};

} // namespace tidewell
