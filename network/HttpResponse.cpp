#include "HttpResponse.h"

namespace tidewell::net {

QByteArray HttpResponse::header(const QByteArray &name) const
{
    for (const auto &[key, value] : m_headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpResponse::Framing HttpResponse::framing() const
{
    if (m_version >= 20)
        return Framing::Stream;
    if (m_chunked)
        return Framing::Chunked;
    return m_contentLength ? Framing::Length : Framing::UntilClose;
}

bool HttpResponse::startHead(const QByteArray &statusLine)
{
    // "HTTP/1.1 200 OK", "HTTP/2 200"
    if (!statusLine.startsWith("HTTP/"))
        return false;
    const QList<QByteArray> parts = statusLine.trimmed().split(' ');
    bool ok = false;
    const int status = parts.value(1).toInt(&ok);
    if (!ok)
        return false;
    *this = HttpResponse();
    m_status = status;
    const QByteArray version = parts.value(0).mid(5);
    m_version = version.startsWith('1') ? (version == "1.0" ? 10 : 11) : version.left(1).toInt() * 10;
    const qsizetype reasonStart = statusLine.indexOf(' ', statusLine.indexOf(' ') + 1);
    if (reasonStart > 0)
        m_reason = statusLine.mid(reasonStart + 1).trimmed();
    return true;
}

void HttpResponse::addHeaderLine(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return;
    const QByteArray name = line.left(colon).trimmed();
    const QByteArray value = line.mid(colon + 1).trimmed();
    m_headers.append({name, value});
    if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
        m_chunked = value.toLower().split(',').last().trimmed() == "chunked";
    } else if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
        bool ok = false;
        const qint64 length = value.toLongLong(&ok);
        if (!ok || length < 0)
            m_malformed = QStringLiteral("the server sent an invalid Content-Length");
        else if (m_contentLength && *m_contentLength != length)
            m_malformed = QStringLiteral("the server sent conflicting Content-Length headers");
        else
            m_contentLength = length;
    }
}

void HttpResponse::endHead()
{
    // A chunked body's length is the chunks', whatever a length header says.
    if (m_chunked)
        m_contentLength.reset();
}

} // namespace tidewell::net
