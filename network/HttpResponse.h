#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace tidewell::net {

// The head of one answer as it arrived, and how much of its body has come
// since. Filled line by line as libcurl hands the head over.
class HttpResponse
{
public:
    // How the end of the body is known.
    enum class Framing
    {
        Length,     // Content-Length
        Chunked,    // the last chunk
        Stream,     // HTTP/2 and later: the stream's own end
        UntilClose, // only the connection's close, which a cut looks like too
    };

    int status() const { return m_status; }
    const QByteArray &reason() const { return m_reason; }
    // The first header of that name, letter case aside; null when absent.
    QByteArray header(const QByteArray &name) const;
    std::optional<qint64> contentLength() const { return m_contentLength; }
    Framing framing() const;
    qint64 bodyReceived() const { return m_bodyReceived; }
    // Why the head cannot be trusted (two different lengths, say); empty when it can.
    const QString &malformed() const { return m_malformed; }

    // A status line starts a new head; false when the line is not one.
    bool startHead(const QByteArray &statusLine);
    void addHeaderLine(const QByteArray &line);
    // The blank line: what the head says of the body is settled.
    void endHead();
    void bodyArrived(qint64 bytes) { m_bodyReceived += bytes; }

private:
    int m_status = 0;
    int m_version = 11;
    QByteArray m_reason;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    std::optional<qint64> m_contentLength;
    bool m_chunked = false;
    qint64 m_bodyReceived = 0;
    QString m_malformed;
};

} // namespace tidewell::net
