#include "HttpRequest.h"

#include "ErrorNumbers.h"
#include "NetworkRules.h"
#include "ResponseDecoding.h"
#include "RuntimeError.h"

#include "BodyDecoder.h"
#include "HttpExchange.h"
#include "Network.h"

#include <QEventLoop>

#include <memory>

namespace tidewell {

namespace {

RuntimeError exchangeError(const net::HttpExchange &exchange)
{
    using Error = net::HttpExchange::Error;
    switch (exchange.error()) {
    case Error::Refused:
        return {errnum::RequestCannotConnect, exchange.errorString()};
    case Error::HostNotFound:
        return {errnum::RequestNameNotResolved, exchange.errorString()};
    case Error::Stalled:
        return {errnum::RequestTimeout, QStringLiteral("The operation timed out")};
    case Error::TooSlow:
    case Error::TooLong:
        return {errnum::RequestTimeout, exchange.errorString()};
    case Error::Secure:
        return {errnum::RequestSecureFailure, exchange.errorString()};
    case Error::RedirectRefused:
        return {errnum::RequestRedirectFailed,
                QStringLiteral("The redirection failed because it led to a URL that is neither http nor https")};
    case Error::TooManyRedirects:
        return {errnum::RequestRedirectFailed,
                QStringLiteral("The redirection failed because there were more than %1 redirects")
                    .arg(net::maxRedirects)};
    case Error::Protocol:
        return {errnum::RequestInvalidResponse, exchange.errorString()};
    case Error::Closed:
    case Error::Network:
        return {errnum::RequestConnectionError, exchange.errorString()};
    case Error::Owner: // the request's own refusals, set where they happen
    case Error::Stopped:
    case Error::None:
        break;
    }
    return {errnum::RequestConnectionError, QStringLiteral("The operation was canceled")};
}

} // namespace

HttpRequest::HttpRequest(RequestKind kind, Network &network) : m_kind(kind), m_network(network) {}

HttpRequest::~HttpRequest() = default;

void HttpRequest::Open(const QString &method, const QString &url, bool async, const QString &user,
                       const QString &password)
{
    if (async)
        throw RuntimeError(errnum::InvalidArgument, QStringLiteral("Only synchronous requests are supported"));
    const QUrl target = net::podcastUrl(url);
    if (!net::isFetchable(target)) {
        const bool webScheme = target.scheme() == u"http" || target.scheme() == u"https";
        if (!target.isValid() || target.scheme().isEmpty() || webScheme)
            throw RuntimeError(errnum::RequestInvalidUrl, QStringLiteral("The URL is invalid"));
        throw RuntimeError(errnum::RequestUnrecognizedScheme,
                           QStringLiteral("The URL does not use a recognized protocol"));
    }
    if (method.compare(u"GET", Qt::CaseInsensitive) != 0)
        throw RuntimeError(errnum::InvalidArgument, QStringLiteral("Only GET requests are supported"));
    m_url = target;
    m_opened = true;
    m_responded = false;
    m_serverCredentials.reset();
    m_proxyCredentials.reset();
    if (m_kind != RequestKind::WinHttp && (!user.isEmpty() || !password.isEmpty()))
        m_serverCredentials = Credentials{user, password};
}

void HttpRequest::SetCredentials(const QString &userName, const QString &password, int flags)
{
    if (m_kind != RequestKind::WinHttp)
        throw RuntimeError(errnum::MethodNotSupported, QStringLiteral("Object doesn't support this property or method"));
    if (!m_opened)
        throw RuntimeError(errnum::RequestNotOpened,
                           QStringLiteral("The requested operation cannot be carried out before Open is called"));
    switch (flags) {
    case 0:
        m_serverCredentials = Credentials{userName, password};
        break;
    case 1:
        m_proxyCredentials = Credentials{userName, password};
        break;
    default:
        throw RuntimeError(errnum::InvalidArgument, QStringLiteral("The parameter is incorrect"));
    }
}

void HttpRequest::send()
{
    bool done = false;
    QEventLoop loop;
    sendAsync([&] {
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
    if (!done) {
        // The wait ended because the program is quitting.
        m_exchange.reset();
        throw RuntimeError(errnum::RequestConnectionError, QStringLiteral("The operation was canceled"));
    }
    if (m_failure)
        throw *m_failure;
}

void HttpRequest::sendAsync(std::function<void()> done)
{
    if (!m_opened)
        throw RuntimeError(errnum::RequestNotOpened,
                           QStringLiteral("The requested operation cannot be carried out before Open is called"));
    m_responded = false;
    m_failure.reset();
    m_body.clear();
    m_decoder.reset();
    m_tooLarge = false;

    m_exchange = std::make_unique<net::HttpExchange>(m_network, m_url);
    // Asked for here rather than left to curl, so that the decoder can insist
    // on a compressed document's own end (BodyDecoder.h).
    m_exchange->setHeader("Accept-Encoding", "gzip, deflate");
    m_exchange->setDeadline(m_network.feedDeadline());
    if (m_serverCredentials)
        m_exchange->setServerCredentials(m_serverCredentials->user, m_serverCredentials->password);
    if (m_proxyCredentials)
        m_exchange->setProxyCredentials(m_proxyCredentials->user, m_proxyCredentials->password);
    m_conditionsSent = false;
    if (!m_etag.isEmpty() || !m_lastModified.isEmpty()) {
        // Validators belong to the address that gave them.
        m_exchange->headersFor = [this](const QUrl &hop) {
            net::HeaderList headers;
            m_conditionsSent = hop == m_validatedUrl;
            if (!m_conditionsSent)
                return headers;
            if (!m_etag.isEmpty())
                headers.append({"If-None-Match", m_etag});
            if (!m_lastModified.isEmpty())
                headers.append({"If-Modified-Since", m_lastModified});
            return headers;
        };
    }
    m_exchange->onHead = [this](const net::HttpResponse &) { return onHead(); };
    m_exchange->onBody = [this](const char *data, qsizetype size) { return onBody(data, size); };
    // Queued: the callback may well destroy this request, which must not
    // happen inside the exchange's own signal.
    QObject::connect(
        m_exchange.get(), &net::HttpExchange::finished, &m_context,
        [this, done = std::move(done)] {
            complete();
            done();
        },
        Qt::QueuedConnection);
    m_exchange->start();
}

bool HttpRequest::onHead()
{
    const net::HttpResponse &response = m_exchange->response();
    if (response.contentLength().value_or(0) > maxResponseBytes) {
        m_tooLarge = true;
        m_exchange->fail(QString());
        return false;
    }
    if (response.contentLength())
        m_body.reserve(static_cast<qsizetype>(*response.contentLength()));
    QString error;
    m_decoder = BodyDecoder::forEncoding(response.header("Content-Encoding"), error);
    if (!m_decoder) {
        m_failure = RuntimeError(errnum::RequestInvalidResponse, QStringLiteral("Decompression failed: ") + error);
        m_exchange->fail(error);
        return false;
    }
    return true;
}

bool HttpRequest::onBody(const char *data, qsizetype size)
{
    // The limit holds for the bytes as they come and for what they unpack to.
    const auto refuse = [this] {
        m_tooLarge = true;
        m_body = QByteArray();
        m_exchange->fail(QString());
        return false;
    };
    if (m_exchange->response().bodyReceived() > maxResponseBytes)
        return refuse();
    const bool decoded = m_decoder->decode(data, size, [&](const char *bytes, qsizetype length) {
        if (m_body.size() + length > maxResponseBytes)
            return refuse();
        m_body.append(bytes, length);
        return true;
    });
    if (decoded)
        return true;
    if (!m_tooLarge) {
        m_failure = RuntimeError(errnum::RequestInvalidResponse,
                                 QStringLiteral("Decompression failed: ") + m_decoder->error());
        m_exchange->fail(m_decoder->error());
    }
    return false;
}

void HttpRequest::complete()
{
    const std::unique_ptr<net::HttpExchange> exchange = std::move(m_exchange);
    const std::unique_ptr<BodyDecoder> decoder = std::move(m_decoder);
    if (m_tooLarge) {
        m_body = QByteArray();
        m_failure = RuntimeError(errnum::RequestResponseTooLarge, QStringLiteral("The document is larger than 64 MiB"));
        return;
    }
    if (m_failure)
        return;
    if (exchange->error() != net::HttpExchange::Error::None) {
        m_failure = exchangeError(*exchange);
        return;
    }
    if (decoder && decoder->provesEnd() && !decoder->ended()) {
        m_failure = RuntimeError(errnum::RequestInvalidResponse,
                                 QStringLiteral("Decompression failed: the compressed document ended early"));
        return;
    }
    m_head = exchange->response();
    m_status = m_head.status();
    m_statusText = QString::fromLatin1(m_head.reason());
    m_contentType = m_head.header("Content-Type");
    m_finalUrl = exchange->url();
    m_responded = true;
}

void HttpRequest::requireResponse() const
{
    if (!m_responded)
        throw RuntimeError(errnum::RequestNotSent,
                           QStringLiteral("The requested operation cannot be carried out before a response has arrived"));
}

int HttpRequest::Status() const
{
    requireResponse();
    return m_status;
}

QString HttpRequest::statusText() const
{
    requireResponse();
    return m_statusText;
}

QString HttpRequest::responseText() const
{
    requireResponse();
    return decodeResponseText(m_body, m_contentType);
}

const QByteArray &HttpRequest::responseBody() const
{
    requireResponse();
    return m_body;
}

const QByteArray &HttpRequest::contentType() const
{
    requireResponse();
    return m_contentType;
}

const QUrl &HttpRequest::finalUrl() const
{
    requireResponse();
    return m_finalUrl;
}

QByteArray HttpRequest::responseHeader(const QByteArray &name) const
{
    requireResponse();
    return m_head.header(name);
}

void HttpRequest::setConditions(const QUrl &validatedUrl, const QByteArray &etag, const QByteArray &lastModified)
{
    m_validatedUrl = validatedUrl;
    m_etag = etag;
    m_lastModified = lastModified;
}

bool HttpRequest::notModified() const
{
    requireResponse();
    const QByteArray etag = net::cleanValidator(m_head.header("ETag"));
    return m_status == 304 && m_conditionsSent && (etag.isEmpty() || etag == m_etag);
}

} // namespace tidewell
