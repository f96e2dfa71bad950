#include "NetworkRules.h"

#include "BuildConfig.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#include <QSslSocket>
#endif

#include <atomic>
#include <optional>

namespace tidewell::net {

namespace {

std::atomic<long long> stallTimeoutMs{0};

bool startsWithWebScheme(QStringView text)
{
    return text.startsWith(u"http://", Qt::CaseInsensitive) || text.startsWith(u"https://", Qt::CaseInsensitive);
}

// feed://host/path, feed://https://host/path, feed:https://host/path.
QString unwrapFeedScheme(QStringView rest)
{
    if (rest.startsWith(u"//")) {
        rest = rest.mid(2);
        return startsWithWebScheme(rest) ? rest.toString() : QStringLiteral("http://") + rest.toString();
    }
    return rest.toString();
}

class SystemProxiesButLoopback : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QString host = query.peerHostName();
        if (host.compare(u"localhost", Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback())
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

} // namespace

QUrl podcastUrl(const QString &link)
{
    const QString text = link.trimmed();
    const QStringView view(text);
    if (view.startsWith(u"feed:", Qt::CaseInsensitive))
        return QUrl(unwrapFeedScheme(view.mid(5)));
    for (QStringView scheme : {QStringView(u"itpc://"), QStringView(u"pcast://")}) {
        if (view.startsWith(scheme, Qt::CaseInsensitive))
            return QUrl(QStringLiteral("http://") + view.mid(scheme.size()).toString());
    }
    return QUrl(text);
}

bool isFetchable(const QUrl &url)
{
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

QByteArray userAgent()
{
    return QByteArrayLiteral("Tidewell-Episode-Keeper/") + QByteArray(build::version);
}

QNetworkRequest makeRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    // Qt's own policies either refuse https -> http or follow any scheme, and
    // its user-verified mode repeats requests on long chains: get() follows.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
#if QT_CONFIG(ssl)
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    request.setSslConfiguration(tls);
#endif
    return request;
}

void applyProxyRules(QNetworkAccessManager &manager)
{
    manager.setProxyFactory(new SystemProxiesButLoopback); // the manager takes ownership
}

std::chrono::milliseconds stallTimeout()
{
    const long long ms = stallTimeoutMs.load();
    return ms > 0 ? std::chrono::milliseconds(ms) : defaultStallTimeout;
}

void setStallTimeoutForTesting(std::chrono::milliseconds timeout)
{
    stallTimeoutMs.store(timeout.count());
}

ReplyGuard::ReplyGuard(QNetworkReply &reply) : m_reply(reply)
{
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(stallTimeout());
    connect(&m_stallTimer, &QTimer::timeout, this, [this] { abort(AbortReason::Stalled); });
    const auto heardFromPeer = [this] { m_stallTimer.start(); };
    connect(&reply, &QNetworkReply::metaDataChanged, this, heardFromPeer);
    connect(&reply, &QNetworkReply::downloadProgress, this, heardFromPeer);
    connect(&reply, &QNetworkReply::uploadProgress, this, heardFromPeer);
    connect(&reply, &QNetworkReply::finished, &m_stallTimer, &QTimer::stop);
    if (!reply.isFinished())
        m_stallTimer.start();
}

void ReplyGuard::abort(AbortReason reason)
{
    m_stallTimer.stop();
    if (m_reply.isFinished())
        return;
    if (m_reason == AbortReason::None)
        m_reason = reason;
    m_reply.abort();
}

bool waitForFinished(QNetworkReply &reply)
{
    if (!reply.isFinished()) {
        QEventLoop loop;
        QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return reply.isFinished();
}

namespace {

std::optional<QUrl> redirectTarget(const QNetworkReply &reply)
{
    switch (reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()) {
    case 301:
    case 302:
    case 303:
    case 307:
    case 308:
        break;
    default:
        return std::nullopt;
    }
    const QVariant target = reply.attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (!target.isValid())
        return std::nullopt;
    return reply.url().resolved(target.toUrl());
}

} // namespace

Transfer get(QNetworkAccessManager &manager, QUrl url, const HopWatcher &watch)
{
    for (int redirects = 0;; ++redirects) {
        Transfer hop{std::unique_ptr<QNetworkReply>(manager.get(makeRequest(url)))};
        ReplyGuard guard(*hop.reply);
        if (watch)
            watch(*hop.reply, guard);
        if (!waitForFinished(*hop.reply)) {
            guard.abort(AbortReason::Interrupted);
            hop.abortReason = AbortReason::Interrupted;
            return hop;
        }
        hop.abortReason = guard.abortReason();
        const std::optional<QUrl> target = hop.abortReason == AbortReason::None ? redirectTarget(*hop.reply)
                                                                                : std::nullopt;
        if (!target)
            return hop;
        if (!isFetchable(*target))
            hop.abortReason = AbortReason::RedirectRefused;
        else if (redirects == maxRedirects)
            hop.abortReason = AbortReason::TooManyRedirects;
        if (hop.abortReason != AbortReason::None)
            return hop;
        url = *target;
    }
}

} // namespace tidewell::net
