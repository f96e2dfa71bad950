#include "HttpExchange.h"

#include "NetworkRules.h"

#include <QAuthenticator>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>

namespace tidewell::net {

namespace {

// At most this much of an answer waits in memory; the rest stays in the
// socket until its reader has taken what came before.
constexpr qint64 readBufferSize = 2 << 20;
constexpr qint64 readChunk = 256 * 1024;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool offersBasic(const QByteArray &challenge)
{
    return challenge.trimmed().toLower().startsWith("basic");
}

QByteArray basic(const QString &user, const QString &password)
{
    return "Basic " + (user.toUtf8() + ':' + password.toUtf8()).toBase64();
}

QByteArray hostHeader(const QUrl &url)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']'; // an IPv6 address
    const int defaultPort = url.scheme() == u"https" ? 443 : 80;
    if (url.port(defaultPort) != defaultPort)
        host += ':' + QByteArray::number(url.port());
    return host;
}

HttpExchange::Error socketError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionRefusedError:
        return HttpExchange::Error::Refused;
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::ProxyNotFoundError:
        return HttpExchange::Error::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return HttpExchange::Error::Stalled;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return HttpExchange::Error::Secure;
    default:
        return HttpExchange::Error::Network;
    }
}

} // namespace

HttpExchange::HttpExchange(Network &network, QUrl url, QObject *parent)
    : QObject(parent), m_network(network), m_url(std::move(url))
{
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        finishWith(Error::Stalled, QStringLiteral("nothing arrived for %1 seconds")
                                       .arg(static_cast<double>(m_network.stallTimeout().count()) / 1000.0));
    });
}

HttpExchange::~HttpExchange()
{
    closeConnection();
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
    startHop();
}

void HttpExchange::abort()
{
    if (m_started)
        finishWith(Error::Stopped, QStringLiteral("the transfer was stopped"));
}

void HttpExchange::fail(const QString &reason)
{
    finishWith(Error::Owner, reason);
}

void HttpExchange::startHop()
{
    closeConnection();
    m_retry = false;
    m_parser = std::make_unique<HttpResponseParser>();
    m_parser->onHead = [this] { return headArrived(); };

    const bool secure = m_url.scheme() == u"https";
    // Plain http needs no TLS, and making a TLS socket loads the TLS library.
    QSslSocket *tlsSocket = secure ? new QSslSocket(this) : nullptr;
    QTcpSocket *socket = tlsSocket ? tlsSocket : new QTcpSocket(this);
    m_socket = socket;
    socket->setReadBufferSize(readBufferSize);
    connect(socket, &QTcpSocket::readyRead, this, &HttpExchange::readAvailable);
    connect(socket, &QTcpSocket::disconnected, this, &HttpExchange::connectionClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return; // the disconnect tells the rest
        finishWith(socketError(error), m_socket->errorString());
    });
    connect(socket, &QTcpSocket::proxyAuthenticationRequired, this,
            [this](const QNetworkProxy &, QAuthenticator *authenticator) {
                if (!m_proxy || m_proxy->given)
                    return;
                m_proxy->given = true;
                authenticator->setUser(m_proxy->user);
                authenticator->setPassword(m_proxy->password);
            });

    const int port = m_url.port(secure ? 443 : 80);
    const QNetworkProxy proxy = m_proxyOverride ? *m_proxyOverride : m_network.proxyFor(m_url);
    const bool httpProxy = proxy.type() == QNetworkProxy::HttpProxy || proxy.type() == QNetworkProxy::HttpCachingProxy;
    // Plain http goes to an HTTP proxy as a request for the whole URL; https
    // tunnels through it, as through every other kind of proxy.
    m_viaHttpProxy = httpProxy && !secure;
    if (m_viaHttpProxy) {
        socket->setProxy(QNetworkProxy::NoProxy);
        connect(socket, &QTcpSocket::connected, this, &HttpExchange::sendRequest);
        socket->connectToHost(proxy.hostName(), proxy.port());
    } else {
        QNetworkProxy tunnel = proxy;
        if (proxy.type() == QNetworkProxy::HttpCachingProxy)
            tunnel.setType(QNetworkProxy::HttpProxy);
        if (proxy.type() == QNetworkProxy::DefaultProxy)
            tunnel = QNetworkProxy(QNetworkProxy::NoProxy);
        socket->setProxy(tunnel);
        if (tlsSocket) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
            tlsSocket->setSslConfiguration(tls);
            connect(tlsSocket, &QSslSocket::encrypted, this, &HttpExchange::sendRequest);
            tlsSocket->connectToHostEncrypted(m_url.host(), static_cast<quint16>(port));
        } else {
            connect(socket, &QTcpSocket::connected, this, &HttpExchange::sendRequest);
            socket->connectToHost(m_url.host(), static_cast<quint16>(port));
        }
    }
    if (!m_finished)
        m_stallTimer.start(m_network.stallTimeout());
}

void HttpExchange::sendRequest()
{
    const QByteArray target = m_viaHttpProxy ? m_url.toEncoded(QUrl::RemoveFragment)
                                             : m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority
                                                               | QUrl::RemoveFragment);
    QByteArray request = "GET " + (target.isEmpty() ? QByteArray("/") : target) + " HTTP/1.1\r\n";
    request += "Host: " + hostHeader(m_url) + "\r\n";
    request += "User-Agent: " + userAgent() + "\r\n";
    request += "Accept: */*\r\n";
    for (const auto &[name, value] : m_headers)
        request += name + ": " + value + "\r\n";
    if (m_server && m_server->given)
        request += "Authorization: " + basic(m_server->user, m_server->password) + "\r\n";
    if (m_viaHttpProxy && m_proxy && m_proxy->given)
        request += "Proxy-Authorization: " + basic(m_proxy->user, m_proxy->password) + "\r\n";
    // One request a connection: an answer then ends at the latest when the
    // server closes, and nothing is left over for a next one.
    request += "Connection: close\r\n\r\n";
    m_socket->write(request);
    m_stallTimer.start(m_network.stallTimeout());
}

void HttpExchange::readAvailable()
{
    if (m_finished || !m_socket)
        return;
    m_stallTimer.start(m_network.stallTimeout());
    QByteArray buffer;
    while (!m_finished && m_socket && m_socket->bytesAvailable() > 0) {
        buffer.resize(static_cast<qsizetype>(std::min(readChunk, m_socket->bytesAvailable())));
        const qint64 read = m_socket->read(buffer.data(), buffer.size());
        if (read <= 0)
            break;
        m_parser->feed(buffer.constData(), static_cast<qsizetype>(read),
                       [this](const char *data, qsizetype size) { return !onBody || onBody(data, size); });
        if (m_finished)
            return;
        if (m_parser->state() == HttpResponseParser::State::Failed) {
            finishWith(Error::Protocol, m_parser->error());
            return;
        }
        if (m_parser->state() == HttpResponseParser::State::Done
            || m_parser->state() == HttpResponseParser::State::Stopped) {
            responseEnded();
            return;
        }
    }
}

bool HttpExchange::headArrived()
{
    const int status = m_parser->status();
    if (status == 401 && answerChallenge(m_server, m_parser->header("WWW-Authenticate")))
        return false;
    if (status == 407 && m_viaHttpProxy && answerChallenge(m_proxy, m_parser->header("Proxy-Authenticate")))
        return false;
    if (isRedirect(status) && !m_parser->header("Location").trimmed().isEmpty())
        return false;
    return !onHead || onHead(*m_parser);
}

bool HttpExchange::answerChallenge(std::optional<Credentials> &credentials, const QByteArray &challenge)
{
    // Asked once a request: if these are refused, asking again cannot help,
    // and the refusal is the answer.
    if (!credentials || credentials->given || !offersBasic(challenge))
        return false;
    credentials->given = true;
    m_retry = true;
    return true;
}

void HttpExchange::responseEnded()
{
    if (m_finished)
        return;
    if (m_parser->state() == HttpResponseParser::State::Done) {
        finishWith(Error::None, {});
        return;
    }
    // Stopped at the head: a challenge answered, a redirect, or the owner.
    if (m_retry) {
        startHop();
        return;
    }
    const int status = m_parser->status();
    const QByteArray location = m_parser->header("Location").trimmed();
    if (!isRedirect(status) || location.isEmpty()) {
        finishWith(Error::None, {});
        return;
    }
    const QUrl target = m_url.resolved(QUrl::fromEncoded(location));
    if (!isFetchable(target)) {
        finishWith(Error::RedirectRefused,
                   QStringLiteral("a redirect led to %1, which is not an http or https address")
                       .arg(target.toDisplayString()));
    } else if (m_redirects == maxRedirects) {
        finishWith(Error::TooManyRedirects, QStringLiteral("the server redirected more than %1 times").arg(maxRedirects));
    } else {
        ++m_redirects;
        m_url = target;
        if (m_server)
            m_server->given = false; // a new address may ask again
        startHop();
    }
}

void HttpExchange::connectionClosed()
{
    if (m_finished || !m_parser)
        return;
    // Whatever is still buffered belongs to the answer.
    readAvailable();
    if (m_finished)
        return;
    const HttpResponseParser::State before = m_parser->state();
    if (before != HttpResponseParser::State::Head && before != HttpResponseParser::State::Body)
        return;
    m_parser->closed();
    if (m_parser->state() == HttpResponseParser::State::Failed)
        finishWith(Error::Closed, m_parser->error());
    else
        responseEnded();
}

void HttpExchange::closeConnection()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater(); // we may be inside one of its signals
}

void HttpExchange::finishWith(Error error, const QString &reason)
{
    if (m_finished)
        return;
    m_finished = true;
    m_error = error;
    m_errorString = reason;
    m_stallTimer.stop();
    closeConnection();
    m_registration.reset();
    Q_EMIT finished();
}

} // namespace tidewell::net
