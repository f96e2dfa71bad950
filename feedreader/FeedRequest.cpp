#include "FeedRequest.h"

#include "BodyDecoder.h"
#include "HttpExchange.h"
#include "NetworkRules.h"

namespace tidewell {

namespace {

const Failure tooLarge{Failure::Kind::Refused, 0, QStringLiteral("The document is larger than 64 MiB")};

Failure decodingFailure(const QString &why)
{
    return {Failure::Kind::Protocol, 0, QStringLiteral("Decompression failed: ") + why};
}

} // namespace

FeedRequest::FeedRequest(Network &network) : m_network(network) {}

FeedRequest::~FeedRequest() = default;

bool FeedRequest::setUrl(const QString &url)
{
    const QUrl target = net::podcastUrl(url);
    if (!net::isFetchable(target)) {
        const bool webScheme = target.scheme() == u"http" || target.scheme() == u"https";
        m_failure = {Failure::Kind::Address, 0,
                     !target.isValid() || target.scheme().isEmpty() || webScheme
                         ? QStringLiteral("The URL is invalid")
                         : QStringLiteral("The URL does not use a recognized protocol")};
        return false;
    }
    m_url = target;
    return true;
}

void FeedRequest::setServerCredentials(const QString &user, const QString &password)
{
    m_serverCredentials = std::pair{user, password};
}

void FeedRequest::setProxyCredentials(const QString &user, const QString &password)
{
    m_proxyCredentials = std::pair{user, password};
}

void FeedRequest::setConditions(const QUrl &validatedUrl, const QByteArray &etag, const QByteArray &lastModified)
{
    m_validatedUrl = validatedUrl;
    m_etag = etag;
    m_lastModified = lastModified;
}

void FeedRequest::send(std::function<void()> done)
{
    m_failure = {};
    m_head = {};
    m_body.clear();
    m_decoder.reset();
    m_conditionsSent = false;

    m_exchange = std::make_unique<net::HttpExchange>(m_network, m_url);
    // Asked for here rather than left to curl, so that the decoder can insist
    // on a compressed document's own end (BodyDecoder.h).
    m_exchange->setHeader("Accept-Encoding", "gzip, deflate");
    m_exchange->setDeadline(m_network.feedDeadline());
    if (m_serverCredentials)
        m_exchange->setServerCredentials(m_serverCredentials->first, m_serverCredentials->second);
    if (m_proxyCredentials)
        m_exchange->setProxyCredentials(m_proxyCredentials->first, m_proxyCredentials->second);
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

bool FeedRequest::onHead()
{
    const net::HttpResponse &response = m_exchange->response();
    if (response.contentLength().value_or(0) > maxResponseBytes) {
        m_exchange->fail(tooLarge);
        return false;
    }
    if (response.contentLength())
        m_body.reserve(static_cast<qsizetype>(*response.contentLength()));
    QString error;
    m_decoder = BodyDecoder::forEncoding(response.header("Content-Encoding"), error);
    if (!m_decoder) {
        m_exchange->fail(decodingFailure(error));
        return false;
    }
    return true;
}

bool FeedRequest::onBody(const char *data, qsizetype size)
{
    // The limit holds for the bytes as they come and for what they unpack to.
    bool fits = m_exchange->response().bodyReceived() <= maxResponseBytes;
    const bool decoded = fits && m_decoder->decode(data, size, [&](const char *bytes, qsizetype length) {
        fits = m_body.size() + length <= maxResponseBytes;
        if (fits)
            m_body.append(bytes, length);
        return fits;
    });
    if (decoded)
        return true;
    m_body = QByteArray();
    m_exchange->fail(fits ? decodingFailure(m_decoder->error()) : tooLarge);
    return false;
}

void FeedRequest::complete()
{
    const std::unique_ptr<net::HttpExchange> exchange = std::move(m_exchange);
    const std::unique_ptr<BodyDecoder> decoder = std::move(m_decoder);
    m_failure = exchange->failure();
    if (!m_failure && decoder && decoder->provesEnd() && !decoder->ended())
        m_failure = decodingFailure(QStringLiteral("the compressed document ended early"));
    if (m_failure) {
        m_body = QByteArray();
        return;
    }
    m_head = exchange->response();
    m_finalUrl = exchange->url();
}

bool FeedRequest::notModified() const
{
    const QByteArray etag = net::cleanValidator(m_head.header("ETag"));
    return m_head.status() == 304 && m_conditionsSent && (etag.isEmpty() || etag == m_etag);
}

} // namespace tidewell
