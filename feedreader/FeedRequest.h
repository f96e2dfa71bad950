#pragma once

#include "Failure.h"
#include "HttpResponse.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace tidewell {

class BodyDecoder;
class Network;
namespace net {
class HttpExchange;
}

// One request for a feed document, on the event loop: the whole body kept
// in memory (up to 64 MiB), compression undone, and every answer with an
// HTTP status an answer, whatever the status. A request that gets no answer
// says why in failure().
class FeedRequest
{
public:
    // Feed documents beyond this size are refused rather than held in memory.
    static constexpr qint64 maxResponseBytes = 64 * 1024 * 1024;

    explicit FeedRequest(Network &network);
    ~FeedRequest();
    FeedRequest(const FeedRequest &) = delete;
    FeedRequest &operator=(const FeedRequest &) = delete;

    // The feed's address; a podcast scheme stands for the http(s) address
    // inside. False, with failure() saying why, for one that cannot be fetched.
    bool setUrl(const QString &url);
    // Credentials for the server and for a proxy, given when either asks.
    void setServerCredentials(const QString &user, const QString &password);
    void setProxyCredentials(const QString &user, const QString &password);
    // Asks the server to answer 304 when the document still has these
    // validators, which the last full answer from `validatedUrl` gave; only
    // that address is asked.
    void setConditions(const QUrl &validatedUrl, const QByteArray &etag, const QByteArray &lastModified);

    // `done` runs from the event loop once the answer has arrived or the
    // request failed. Destroying the request abandons it without a call.
    void send(std::function<void()> done);

    // Why no answer came; Kind::None when one did.
    const Failure &failure() const { return m_failure; }
    int status() const { return m_head.status(); }
    QString statusText() const { return QString::fromLatin1(m_head.reason()); }
    // The body as it arrived (compression undone), and its Content-Type.
    QByteArray &body() { return m_body; }
    QByteArray contentType() const { return m_head.header("Content-Type"); }
    // A header of the answer (ETag, Retry-After...); null when absent.
    QByteArray header(const QByteArray &name) const { return m_head.header(name); }
    // The address the answer came from, after every redirect.
    const QUrl &finalUrl() const { return m_finalUrl; }
    // The answer was a 304 to the conditions, for the version they named.
    bool notModified() const;

private:
    bool onHead();
    bool onBody(const char *data, qsizetype size);
    void complete();

    Network &m_network;
    QUrl m_url;
    std::optional<std::pair<QString, QString>> m_serverCredentials;
    std::optional<std::pair<QString, QString>> m_proxyCredentials;
    QUrl m_validatedUrl;
    QByteArray m_etag;
    QByteArray m_lastModified;
    bool m_conditionsSent = false; // to the last hop

    std::unique_ptr<net::HttpExchange> m_exchange;
    std::unique_ptr<BodyDecoder> m_decoder;
    QObject m_context; // ends callbacks that would outlive the request

    Failure m_failure;
    net::HttpResponse m_head;
    QByteArray m_body;
    QUrl m_finalUrl;
};

} // namespace tidewell
