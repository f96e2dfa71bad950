#pragma once

#include "HttpResponse.h"
#include "PlatformObject.h"
#include "RuntimeError.h"

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

// The four request objects the reader tries in turn. All four fetch under the
// same network rules (NetworkRules.h); they differ only where the reader can
// tell them apart:
// - WinHttp takes credentials through SetCredentials, for the server (flag 0)
//   and for a proxy (flag 1), and ignores those given to Open;
// - the three XMLHTTP objects take the server's credentials in Open and have
//   no SetCredentials (error 438), so they never answer a proxy's challenge.
// Credentials are given only when the server or proxy asks, once a request.
enum class RequestKind
{
    WinHttp,
    XmlHttp,
    ServerXmlHttp,
    LegacyXmlHttp,
};

// One HTTP request: Open, optionally SetCredentials, send, then Status,
// statusText and responseText. send waits on a local event loop, so the
// window stays responsive during the fetch; sendAsync returns at once and
// calls back when the answer is in, so nothing waits at all. Failures raise
// RuntimeError with the request objects' numbers (ErrorNumbers.h). Every
// answer with an HTTP status is a response, whatever the status.
class HttpRequest : public PlatformObject
{
public:
    // Feed documents beyond this size are refused rather than held in memory.
    static constexpr qint64 maxResponseBytes = 64 * 1024 * 1024;

    HttpRequest(RequestKind kind, Network &network);
    ~HttpRequest() override;

    RequestKind kind() const { return m_kind; }

    // Only synchronous GET requests are offered. The URL may use a podcast
    // scheme; anything that is not http or https is refused here.
    void Open(const QString &method, const QString &url, bool async, const QString &user = {},
              const QString &password = {});
    void SetCredentials(const QString &userName, const QString &password, int flags);
    // Returns when the whole response has arrived; raises when none could be
    // had (no connection, a stall, a refused redirect, an oversized body).
    void send();
    // The same without waiting: `done` runs from the event loop once the
    // response has arrived or failed; then failure() tells which. Raises at
    // once only when the request was never opened.
    void sendAsync(std::function<void()> done);
    const std::optional<RuntimeError> &failure() const { return m_failure; }

    int Status() const;
    QString statusText() const;
    // Decoded afresh on each call (ResponseDecoding.h).
    QString responseText() const;
    // The body as it arrived (compression undone) and the Content-Type it
    // came with, for readers that decode it their own way.
    const QByteArray &responseBody() const;
    const QByteArray &contentType() const;
    // The address the response came from, after every redirect.
    const QUrl &finalUrl() const;
    // A header of the response (ETag, Retry-After...); null when absent.
    QByteArray responseHeader(const QByteArray &name) const;

    // Asks the server to answer 304 when the document still has these
    // validators, which the last full answer from `validatedUrl` gave; only
    // that address is asked.
    void setConditions(const QUrl &validatedUrl, const QByteArray &etag, const QByteArray &lastModified);
    // The answer was a 304 to those conditions, for the version they named.
    bool notModified() const;

private:
    struct Credentials
    {
        QString user;
        QString password;
    };

    void requireResponse() const;
    bool onHead();
    bool onBody(const char *data, qsizetype size);
    void complete();

    const RequestKind m_kind;
    Network &m_network;
    QUrl m_url;
    QUrl m_validatedUrl;
    QByteArray m_etag;
    QByteArray m_lastModified;
    bool m_conditionsSent = false; // to the last hop
    bool m_opened = false;
    std::optional<Credentials> m_serverCredentials;
    std::optional<Credentials> m_proxyCredentials;

    std::unique_ptr<net::HttpExchange> m_exchange;
    std::unique_ptr<BodyDecoder> m_decoder;
    bool m_tooLarge = false;
    QObject m_context; // ends callbacks that would outlive the request

    bool m_responded = false;
    std::optional<RuntimeError> m_failure;
    int m_status = 0;
    QString m_statusText;
    QByteArray m_contentType;
    QByteArray m_body;
    QUrl m_finalUrl;
    net::HttpResponse m_head;
};

} // namespace tidewell
