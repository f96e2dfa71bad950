#include "HttpRequest.h"

#include "ErrorNumbers.h"
#include "NetworkRules.h"
#include "ResponseDecoding.h"
#include "RuntimeError.h"

#include <QAuthenticator>
#include <QNetworkReply>

#include <memory>

namespace tidewell {

namespace {

using NetworkError = QNetworkReply::NetworkError;

// Qt reports 4xx and 5xx answers as errors too; for the request objects they
// are answers like any other, with a status to read.
bool isHttpAnswer(NetworkError error)
{
    const int code = int(error);
    return error == NetworkError::NoError || error == NetworkError::ProxyAuthenticationRequiredError ||
           (code >= 201 && code <= 299 && error != NetworkError::ContentReSendError) || (code >= 401 && code <= 499);
}

bool isCompleteAnswer(const QNetworkReply &reply)
{
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() && isHttpAnswer(reply.error());
}

int requestErrorNumber(NetworkError error)
{
    switch (error) {
    case NetworkError::ConnectionRefusedError:
    case NetworkError::ProxyConnectionRefusedError:
        return errnum::RequestCannotConnect;
    case NetworkError::RemoteHostClosedError:
    case NetworkError::ProxyConnectionClosedError:
    case NetworkError::OperationCanceledError:
        return errnum::RequestConnectionError;
    case NetworkError::HostNotFoundError:
    case NetworkError::ProxyNotFoundError:
        return errnum::RequestNameNotResolved;
    case NetworkError::TimeoutError:
    case NetworkError::ProxyTimeoutError:
        return errnum::RequestTimeout;
    case NetworkError::SslHandshakeFailedError:
        return errnum::RequestSecureFailure;
    case NetworkError::TooManyRedirectsError:
    case NetworkError::InsecureRedirectError:
        return errnum::RequestRedirectFailed;
    case NetworkError::ProtocolUnknownError:
        return errnum::RequestUnrecognizedScheme;
    default:
        return errnum::Fail;
    }
}

RuntimeError abortError(net::AbortReason reason)
{
    switch (reason) {
    case net::AbortReason::Stalled:
        return {errnum::RequestTimeout, QStringLiteral("The operation timed out")};
    case net::AbortReason::RedirectRefused:
        return {errnum::RequestRedirectFailed,
                QStringLiteral("The redirection failed because it led to a URL that is neither http nor https")};
    case net::AbortReason::TooManyRedirects:
        return {errnum::RequestRedirectFailed,
                QStringLiteral("The redirection failed because there were more than %1 redirects")
                    .arg(net::maxRedirects)};
    case net::AbortReason::TooLarge:
        return {errnum::RequestResponseTooLarge, QStringLiteral("The document is larger than 64 MiB")};
    case net::AbortReason::Interrupted:
    case net::AbortReason::None:
        break;
    }
    return {errnum::RequestConnectionError, QStringLiteral("The operation was canceled")};
}

// Reads each hop's body as it arrives, straight into one buffer sized from
// Content-Length when the server gives it, and stops at the size limit.
class BodyReader
{
public:
    void attach(QNetworkReply &reply, net::ReplyGuard &guard)
    {
        m_body.clear();
        QObject::connect(&reply, &QNetworkReply::metaDataChanged, &guard,
                         [this, &reply, &guard] { onHeaders(reply, guard); });
        QObject::connect(&reply, &QNetworkReply::readyRead, &guard, [this, &reply, &guard] { read(reply, guard); });
        QObject::connect(&reply, &QNetworkReply::finished, &guard, [this, &reply, &guard] { read(reply, guard); });
    }

    QByteArray take() { return std::move(m_body); }

private:
    void onHeaders(QNetworkReply &reply, net::ReplyGuard &guard)
    {
        const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
        if (!length.isValid())
            return;
        if (length.toLongLong() > HttpRequest::maxResponseBytes)
            guard.abort(net::AbortReason::TooLarge);
        else
            m_body.reserve(qsizetype(length.toLongLong()));
    }

    void read(QNetworkReply &reply, net::ReplyGuard &guard)
    {
        const qint64 available = reply.bytesAvailable();
        if (available <= 0)
            return;
        if (m_body.size() + available > HttpRequest::maxResponseBytes) {
            guard.abort(net::AbortReason::TooLarge);
            return;
        }
        const qsizetype before = m_body.size();
        m_body.resize(before + available);
        const qint64 read = reply.read(m_body.data() + before, available);
        m_body.resize(before + std::max<qint64>(read, 0));
    }

    QByteArray m_body;
};

} // namespace

HttpRequest::HttpRequest(RequestKind kind) : m_kind(kind)
{
    net::applyProxyRules(m_manager);
    QObject::connect(&m_manager, &QNetworkAccessManager::authenticationRequired, &m_manager,
                     [this](QNetworkReply *, QAuthenticator *authenticator) { answerServer(*authenticator); });
    QObject::connect(&m_manager, &QNetworkAccessManager::proxyAuthenticationRequired, &m_manager,
                     [this](const QNetworkProxy &, QAuthenticator *authenticator) { answerProxy(*authenticator); });
}

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
    if (!m_opened)
        throw RuntimeError(errnum::RequestNotOpened,
                           QStringLiteral("The requested operation cannot be carried out before Open is called"));
    m_responded = false;
    m_body.clear();
    m_serverAnswered = false;
    m_proxyAnswered = false;
    if (m_proxy)
        m_manager.setProxy(*m_proxy);

    BodyReader body;
    const net::Transfer transfer =
        net::get(m_manager, m_url, [&body](QNetworkReply &reply, net::ReplyGuard &guard) { body.attach(reply, guard); });
    if (transfer.abortReason != net::AbortReason::None)
        throw abortError(transfer.abortReason);
    const QNetworkReply &reply = *transfer.reply;
    if (!isCompleteAnswer(reply))
        throw RuntimeError(requestErrorNumber(reply.error()), reply.errorString());

    m_status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    m_statusText = QString::fromLatin1(reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    m_contentType = reply.rawHeader("Content-Type");
    m_body = body.take();
    m_finalUrl = reply.url();
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

QUrl HttpRequest::finalUrl() const
{
    requireResponse();
    return m_finalUrl;
}

void HttpRequest::answerServer(QAuthenticator &authenticator)
{
    // Answer once: if the server refuses these, asking again cannot help,
    // and the refusal (401) is the response.
    if (m_serverAnswered || !m_serverCredentials)
        return;
    m_serverAnswered = true;
    authenticator.setUser(m_serverCredentials->user);
    authenticator.setPassword(m_serverCredentials->password);
}

void HttpRequest::answerProxy(QAuthenticator &authenticator)
{
    if (m_proxyAnswered || !m_proxyCredentials)
        return;
    m_proxyAnswered = true;
    authenticator.setUser(m_proxyCredentials->user);
    authenticator.setPassword(m_proxyCredentials->password);
}

} // namespace tidewell
