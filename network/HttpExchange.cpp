#include "HttpExchange.h"

#include "CurlLoop.h"
#include "NetworkRules.h"

#include <QPointer>

#include <curl/curl.h>

#include <cerrno>
#include <cstring>

namespace tidewell::net {

namespace {

constexpr long answeredChallenges = CURLAUTH_BASIC | CURLAUTH_DIGEST | CURLAUTH_NTLM;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    const auto port = [](const QUrl &url) { return url.port(url.scheme() == u"https" ? 443 : 80); };
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && port(a) == port(b);
}

// The environment's exclusions, and loopback, which no proxy can reach.
QByteArray noProxyList()
{
    QByteArray list = qgetenv("no_proxy");
    if (list.isEmpty())
        list = qgetenv("NO_PROXY");
    if (!list.isEmpty())
        list += ',';
    return list + "localhost,127.0.0.0/8,::1";
}

QString seconds(std::chrono::milliseconds length)
{
    return QString::number(static_cast<double>(length.count()) / 1000.0);
}

QString sizeInWords(long bytesPerSecond)
{
    return bytesPerSecond % 1024 == 0 ? QStringLiteral("%1 KiB").arg(bytesPerSecond / 1024)
                                      : QStringLiteral("%1 bytes").arg(bytesPerSecond);
}

} // namespace

HttpExchange::HttpExchange(Network &network, QUrl url, QObject *parent)
    : QObject(parent), m_network(network), m_url(std::move(url)), m_origin(m_url)
{
    if (!m_url.userName().isEmpty()) {
        m_server = Credentials{m_url.userName(), m_url.password()};
        m_url.setUserInfo(QString());
        m_origin = m_url;
    }
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        finishWith({Failure::Kind::Timeout, 0,
                    QStringLiteral("nothing arrived for %1 seconds").arg(seconds(m_network.stallTimeout()))});
    });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        finishWith({Failure::Kind::Timeout, 0,
                    QStringLiteral("the answer took longer than %1 seconds in all").arg(seconds(m_deadlineLength))});
    });
}

HttpExchange::~HttpExchange()
{
    releaseHop();
}

void HttpExchange::setHeader(const QByteArray &name, const QByteArray &value)
{
    m_headers.append({name, value});
}

void HttpExchange::setServerCredentials(const QString &user, const QString &password)
{
    m_server = Credentials{user, password};
}

void HttpExchange::setProxyCredentials(const QString &user, const QString &password)
{
    m_proxy = Credentials{user, password};
}

void HttpExchange::start()
{
    if (m_started)
        return;
    m_started = true;
    QPointer<HttpExchange> self(this);
    m_registration = m_network.registerRunning([self] {
        if (self)
            self->abort();
    });
    if (m_deadlineLength.count() > 0)
        m_deadline.start(m_deadlineLength);
    startHop();
}

void HttpExchange::abort()
{
    if (m_started)
        finishWith({Failure::Kind::Stopped, 0, QStringLiteral("the transfer was stopped")});
}

void HttpExchange::fail(const Failure &failure)
{
    finishWith(failure);
}

void HttpExchange::startHop()
{
    releaseHop();
    m_response = HttpResponse();
    m_headReported = false;
    m_redirecting = false;
    m_curlError[0] = '\0';
    m_easy = curl_easy_init();
    if (!m_easy) {
        finishWith({Failure::Kind::Local, 0, QStringLiteral("out of memory")});
        return;
    }
    configure(m_easy);
    m_stallTimer.start(m_network.stallTimeout());
    m_network.loop().add(m_easy, [this](int result) { hopEnded(result); });
}

void HttpExchange::configure(CURL *easy)
{
    const QByteArray url = m_url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_curlError.data());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent().constData());
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    const Network::MinimumSpeed speed = m_network.minimumSpeed();
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, speed.bytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(speed.window.count()));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpExchange::onHeaderData);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpExchange::onBodyData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    configureCredentials(easy);
    configureHeaders(easy);
}

void HttpExchange::configureCredentials(CURL *easy)
{
    if (m_server && sameOrigin(m_url, m_origin)) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, m_server->user.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, m_server->password.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, answeredChallenges);
    }
    if (m_network.proxy().isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxyList().constData());
    } else {
        curl_easy_setopt(easy, CURLOPT_PROXY, m_network.proxy().toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    }
    if (m_proxy) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, m_proxy->user.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, m_proxy->password.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, answeredChallenges);
    }
}

void HttpExchange::configureHeaders(CURL *easy)
{
    HeaderList headers = m_headers;
    if (headersFor)
        headers += headersFor(m_url);
    for (const auto &[name, value] : headers) {
        const QByteArray line = name + ": " + cleanValidator(value);
        m_requestHeaders = curl_slist_append(m_requestHeaders, line.constData());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_requestHeaders);
}

size_t HttpExchange::onHeaderData(char *data, size_t size, size_t count, void *exchange)
{
    auto *self = static_cast<HttpExchange *>(exchange);
    ++self->m_inCallback;
    const bool go = self->headLine(QByteArray::fromRawData(data, static_cast<qsizetype>(size * count)));
    --self->m_inCallback;
    return go ? size * count : 0;
}

size_t HttpExchange::onBodyData(char *data, size_t size, size_t count, void *exchange)
{
    auto *self = static_cast<HttpExchange *>(exchange);
    ++self->m_inCallback;
    const bool go = self->bodyArrived(data, static_cast<qsizetype>(size * count));
    --self->m_inCallback;
    return go ? size * count : 0;
}

bool HttpExchange::headLine(const QByteArray &line)
{
    if (m_finished)
        return false;
    m_stallTimer.start(m_network.stallTimeout());
    if (m_response.startHead(line))
        return true;
    if (line == "\r\n" || line == "\n")
        m_response.endHead();
    else
        m_response.addHeaderLine(line.trimmed());
    return true;
}

bool HttpExchange::bodyArrived(const char *data, qsizetype size)
{
    if (m_finished || m_stoppedByOwner)
        return false;
    m_stallTimer.start(m_network.stallTimeout());
    // curl passes on no body of an answer it answers itself (a challenge), so
    // the first body byte belongs to the final answer of this hop.
    if (!m_headReported && !finalHead())
        return false;
    m_response.bodyArrived(size);
    if (onBody && !onBody(data, size)) {
        m_stoppedByOwner = !m_finished;
        return false;
    }
    return !m_finished;
}

bool HttpExchange::finalHead()
{
    m_headReported = true;
    if (isRedirect(m_response.status()) && !m_response.header("Location").isEmpty()) {
        m_redirecting = true;
        return false; // its body is of no interest
    }
    if (!m_response.malformed().isEmpty()) {
        finishWith({Failure::Kind::Protocol, 0, m_response.malformed()});
        return false;
    }
    if (onHead && !onHead(m_response)) {
        m_stoppedByOwner = !m_finished;
        return false;
    }
    return !m_finished;
}

void HttpExchange::hopEnded(int result)
{
    if (m_finishPending) {
        emitFinished();
        return;
    }
    if (m_finished)
        return;
    if (!m_headReported && result == CURLE_OK)
        finalHead(); // an answer without a body
    if (m_finished)
        return;
    if (m_redirecting) {
        followRedirect();
        return;
    }
    finishWith(m_stoppedByOwner || result == CURLE_OK ? Failure() : failureOf(result));
}

Failure HttpExchange::failureOf(int result) const
{
    const QString said = QString::fromUtf8(m_curlError.data());
    const QString words = said.isEmpty() ? QString::fromUtf8(curl_easy_strerror(CURLcode(result))) : said;
    switch (result) {
    case CURLE_COULDNT_CONNECT:
        return connectionFailure(words);
    case CURLE_COULDNT_RESOLVE_HOST:
        return {Failure::Kind::Connection, 0, QStringLiteral("the host %1 could not be found").arg(m_url.host())};
    case CURLE_COULDNT_RESOLVE_PROXY:
        return {Failure::Kind::Connection, 0, QStringLiteral("the proxy could not be found (%1)").arg(words)};
    case CURLE_OPERATION_TIMEDOUT: {
        const Network::MinimumSpeed speed = m_network.minimumSpeed();
        return {Failure::Kind::Timeout, 0, QStringLiteral("the server sent less than %1/s for %2 s")
                                    .arg(sizeInWords(speed.bytesPerSecond))
                                    .arg(speed.window.count())};
    }
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
        return {Failure::Kind::Secure, 0, words};
    case CURLE_PARTIAL_FILE:
        return cutFailure();
    case CURLE_GOT_NOTHING:
        return {Failure::Kind::Incomplete, 0, QStringLiteral("the server closed the connection without answering")};
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_RANGE_ERROR:
        return {Failure::Kind::Protocol, 0, QStringLiteral("the server's answer is not valid HTTP (%1)").arg(words)};
    case CURLE_OUT_OF_MEMORY:
    case CURLE_RECV_ERROR:
        // curl holds a head within bounds and gives up on one beyond them.
        if (!m_headReported && (result == CURLE_OUT_OF_MEMORY || said.contains(u"header", Qt::CaseInsensitive)))
            return {Failure::Kind::Protocol, 0, QStringLiteral("the server sent a header line longer than 100 KiB, or a head "
                                                    "larger than 300 KiB")};
        // Likewise a chunked body's trailer that never ends.
        if (said.contains(u"chunked", Qt::CaseInsensitive))
            return {Failure::Kind::Protocol, 0, QStringLiteral("the server's chunked body is malformed or never ends (%1)").arg(said)};
        return {Failure::Kind::Incomplete, 0, words};
    default:
        return {Failure::Kind::Connection, 0, words};
    }
}

Failure HttpExchange::connectionFailure(const QString &words) const
{
    long os = 0;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &os);
    if (os == ECONNREFUSED)
        return {Failure::Kind::Connection, 0, QStringLiteral("Connection refused")};
    return {Failure::Kind::Connection, 0, os ? QString::fromLocal8Bit(std::strerror(static_cast<int>(os))) : words};
}

// What of the answer came before the connection closed.
Failure HttpExchange::cutFailure() const
{
    if (m_response.contentLength())
        return {Failure::Kind::Incomplete, 0, QStringLiteral("the connection closed after %1 of %2 bytes")
                                                  .arg(m_response.bodyReceived())
                                                  .arg(*m_response.contentLength())};
    if (m_response.framing() == HttpResponse::Framing::Chunked)
        return {Failure::Kind::Incomplete, 0, QStringLiteral("the connection closed before the last chunk of the file")};
    return {Failure::Kind::Incomplete, 0,
            QStringLiteral("the connection closed before the server's answer was complete")};
}

void HttpExchange::followRedirect()
{
    const QString location = QString::fromUtf8(m_response.header("Location"));
    QUrl target = m_url.resolved(QUrl(location, QUrl::TolerantMode));
    if (!isFetchable(target)) {
        finishWith({Failure::Kind::Protocol, 0,
                    QStringLiteral("a redirect led to %1, which is not an http or https address").arg(displayUrl(target))});
    } else if (m_redirects == maxRedirects) {
        finishWith({Failure::Kind::Protocol, 0,
                    QStringLiteral("the server redirected more than %1 times").arg(maxRedirects)});
    } else {
        // Credentials come from the first address only.
        ++m_redirects;
        m_url = target.adjusted(QUrl::RemoveUserInfo);
        startHop();
    }
}

void HttpExchange::releaseHop()
{
    if (m_easy) {
        m_network.loop().remove(m_easy);
        curl_easy_cleanup(m_easy);
        m_easy = nullptr;
    }
    curl_slist_free_all(m_requestHeaders);
    m_requestHeaders = nullptr;
}

void HttpExchange::finishWith(const Failure &failure)
{
    if (m_finished)
        return;
    m_finished = true;
    m_failure = failure;
    m_stallTimer.stop();
    m_deadline.stop();
    if (m_inCallback > 0) {
        // curl is calling us: the hop ends once the callback has refused,
        // and only then may the handle go.
        m_finishPending = true;
        return;
    }
    emitFinished();
}

void HttpExchange::emitFinished()
{
    m_finishPending = false;
    releaseHop();
    m_registration.reset();
    Q_EMIT finished();
}

} // namespace tidewell::net
