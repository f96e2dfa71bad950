#include "HttpResponseParser.h"

#include <QStringList>

#include <algorithm>

namespace tidewell {

namespace {

// A decimal count of bytes, digits only; nothing when it is not one or is too
// large to mean anything.
std::optional<qint64> byteCount(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<qint64> chunkSize(QByteArray line)
{
    if (const qsizetype extension = line.indexOf(';'); extension >= 0)
        line.truncate(extension);
    line = line.trimmed();
    if (line.isEmpty() || line.size() > 15)
        return std::nullopt;
    bool ok = false;
    const qint64 size = line.toLongLong(&ok, 16);
    return ok && size >= 0 ? std::optional<qint64>(size) : std::nullopt;
}

} // namespace

QByteArray HttpResponseParser::header(const QByteArray &name) const
{
    QByteArrayList values;
    for (const auto &[key, value] : m_headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            values << value;
    }
    return values.join(", ");
}

void HttpResponseParser::fail(const QString &error)
{
    m_state = State::Failed;
    m_error = error;
    m_line.clear();
}

bool HttpResponseParser::takeLine(const char *&data, const char *end, QByteArray &line)
{
    const char *newline = std::find(data, end, '\n');
    const qsizetype taken = newline - data;
    if (m_line.size() + taken > maxLineLength) {
        fail(QStringLiteral("the server sent a line longer than %1 KiB").arg(maxLineLength / 1024));
        return false;
    }
    m_line.append(data, taken);
    if (m_state == State::Head)
        m_headSize += taken + (newline == end ? 0 : 1);
    if (newline == end) {
        data = end;
        return false;
    }
    data = newline + 1;
    if (m_line.endsWith('\r'))
        m_line.chop(1);
    line = std::move(m_line);
    m_line = QByteArray();
    return true;
}

void HttpResponseParser::feed(const char *data, qsizetype size, const BodySink &sink)
{
    const char *end = data + size;
    while (data < end && (m_state == State::Head || m_state == State::Body)) {
        if (m_state == State::Body) {
            body(data, end, sink);
            continue;
        }
        QByteArray line;
        if (!takeLine(data, end, line))
            break;
        if (m_headSize > maxHeadSize) {
            fail(QStringLiteral("the server sent a head larger than %1 KiB").arg(maxHeadSize / 1024));
            break;
        }
        headLine(line);
    }
}

void HttpResponseParser::headLine(const QByteArray &line)
{
    if (!m_statusRead) {
        // "HTTP/1.1 200 OK": the version, a three-digit code and a phrase.
        const QByteArrayList parts = line.split(' ');
        const std::optional<qint64> code = parts.size() >= 2 ? byteCount(parts[1]) : std::nullopt;
        if (!line.startsWith("HTTP/") || !code || parts[1].size() != 3) {
            fail(QStringLiteral("the server's answer is not HTTP"));
            return;
        }
        m_status = static_cast<int>(*code);
        m_reason = line.mid(parts[0].size() + parts[1].size() + 2).trimmed();
        m_statusRead = true;
        return;
    }
    if (line.isEmpty()) {
        headEnded();
        return;
    }
    if ((line.startsWith(' ') || line.startsWith('\t')) && !m_headers.isEmpty()) {
        m_headers.last().second += ' ' + line.trimmed(); // a folded continuation
        return;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) {
        fail(QStringLiteral("the server sent a malformed header"));
        return;
    }
    if (m_headers.size() >= maxFieldCount) {
        fail(QStringLiteral("the server sent more than %1 headers").arg(maxFieldCount));
        return;
    }
    m_headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
}

void HttpResponseParser::headEnded()
{
    if (m_status >= 100 && m_status < 200 && m_status != 101) {
        // An interim answer (100 Continue): the real one follows.
        m_statusRead = false;
        m_headers.clear();
        return;
    }
    if (m_status == 101) {
        fail(QStringLiteral("the server switched to another protocol"));
        return;
    }
    if (!chooseFraming())
        return;
    if (onHead && !onHead()) {
        m_state = State::Stopped;
        return;
    }
    const bool empty = m_framing == Framing::NoBody || (m_framing == Framing::Length && *m_contentLength == 0);
    m_state = empty ? State::Done : State::Body;
}

bool HttpResponseParser::chooseFraming()
{
    if (m_status == 204 || m_status == 304) {
        m_framing = Framing::NoBody;
        return true;
    }
    const QByteArray transferEncoding = header("Transfer-Encoding").trimmed().toLower();
    if (!transferEncoding.isEmpty()) {
        // Only chunked framing is understood; another coding under it would
        // leave bytes that are not the body.
        bool known = true;
        for (const QByteArray &coding : transferEncoding.split(','))
            known = known && (coding.trimmed() == "chunked" || coding.trimmed() == "identity");
        if (!known || !transferEncoding.split(',').last().trimmed().startsWith("chunked")) {
            fail(QStringLiteral("the server used a transfer coding this program does not know (%1)")
                     .arg(QString::fromLatin1(transferEncoding)));
            return false;
        }
        m_framing = Framing::Chunked;
        return true;
    }
    const QByteArray lengths = header("Content-Length");
    if (lengths.isEmpty()) {
        m_framing = Framing::UntilClose;
        return true;
    }
    // Repeated headers (or a list) must all say the same; a server that
    // gives two lengths has said nothing a transfer can be checked against.
    for (const QByteArray &value : lengths.split(',')) {
        const std::optional<qint64> length = byteCount(value.trimmed());
        if (!length) {
            fail(QStringLiteral("the server sent an invalid Content-Length"));
            return false;
        }
        if (m_contentLength && *m_contentLength != *length) {
            fail(QStringLiteral("the server sent conflicting Content-Length headers"));
            return false;
        }
        m_contentLength = length;
    }
    m_framing = Framing::Length;
    return true;
}

bool HttpResponseParser::deliver(const char *data, qsizetype size, const BodySink &sink)
{
    m_bodyReceived += size;
    if (size > 0 && sink && !sink(data, size)) {
        m_state = State::Stopped;
        return false;
    }
    return true;
}

void HttpResponseParser::body(const char *&data, const char *end, const BodySink &sink)
{
    switch (m_framing) {
    case Framing::Chunked:
        chunked(data, end, sink);
        return;
    case Framing::Length: {
        const qint64 wanted = *m_contentLength - m_bodyReceived;
        const qsizetype size = static_cast<qsizetype>(std::min<qint64>(wanted, end - data));
        const char *start = data;
        data += size;
        if (deliver(start, size, sink) && m_bodyReceived == *m_contentLength)
            m_state = State::Done;
        // Anything after the announced length is not this response's: the
        // connection is closed after every response, so it is ignored.
        if (m_state == State::Done)
            data = end;
        return;
    }
    case Framing::UntilClose: {
        const char *start = data;
        data = end;
        deliver(start, end - start, sink);
        return;
    }
    case Framing::NoBody:
        data = end;
        m_state = State::Done;
        return;
    }
}

void HttpResponseParser::chunked(const char *&data, const char *end, const BodySink &sink)
{
    while (data < end && m_state == State::Body) {
        QByteArray line;
        switch (m_chunkPart) {
        case ChunkPart::Size: {
            if (!takeLine(data, end, line))
                return;
            const std::optional<qint64> size = chunkSize(line);
            if (!size) {
                fail(QStringLiteral("the server's chunked body is malformed"));
                return;
            }
            m_chunkLeft = *size;
            m_chunkPart = *size == 0 ? ChunkPart::Trailer : ChunkPart::Data;
            break;
        }
        case ChunkPart::Data: {
            const qsizetype size = static_cast<qsizetype>(std::min<qint64>(m_chunkLeft, end - data));
            const char *start = data;
            data += size;
            m_chunkLeft -= size;
            if (!deliver(start, size, sink))
                return;
            if (m_chunkLeft == 0)
                m_chunkPart = ChunkPart::DataEnd;
            break;
        }
        case ChunkPart::DataEnd:
            if (!takeLine(data, end, line))
                return;
            if (!line.isEmpty()) {
                fail(QStringLiteral("the server's chunked body is malformed"));
                return;
            }
            m_chunkPart = ChunkPart::Size;
            break;
        case ChunkPart::Trailer:
            if (!takeLine(data, end, line))
                return;
            if (line.isEmpty()) // the blank line after the last chunk: the body is whole
                m_state = State::Done;
            break;
        }
    }
}

void HttpResponseParser::closed()
{
    switch (m_state) {
    case State::Head:
        fail(m_statusRead || !m_line.isEmpty()
                 ? QStringLiteral("the connection closed before the server's answer was complete")
                 : QStringLiteral("the server closed the connection without answering"));
        return;
    case State::Body:
        if (m_framing == Framing::UntilClose) {
            m_state = State::Done;
        } else if (m_framing == Framing::Length) {
            fail(QStringLiteral("the connection closed after %1 of %2 bytes")
                     .arg(m_bodyReceived)
                     .arg(*m_contentLength));
        } else {
            fail(QStringLiteral("the connection closed before the last chunk of the file"));
        }
        return;
    case State::Done:
    case State::Stopped:
    case State::Failed:
        return;
    }
}

} // namespace tidewell
