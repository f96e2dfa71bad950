#pragma once

#include "PlatformObject.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QString>
#include <QUrl>

#include <optional>

class QAuthenticator;
class QNetworkReply;

namespace tidewell {

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

// One synchronous HTTP request: Open, optionally SetCredentials, send, then
// Status, statusText and responseText. send waits on a local event loop, so
// the window stays responsive during the fetch. Failures raise RuntimeError
// with the request objects' numbers (ErrorNumbers.h).
class HttpRequest : public PlatformObject
{
public:
    // Feed documents beyond this size are refused rather than held in memory.
    static constexpr qint64 maxResponseBytes = 64 * 1024 * 1024;

    explicit HttpRequest(RequestKind kind);
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

    int Status() const;
    QString statusText() const;
    // Decoded afresh on each call (ResponseDecoding.h).
    QString responseText() const;
    // The body as it arrived and the Content-Type it came with, for readers
    // that decode it their own way.
    const QByteArray &responseBody() const;
    const QByteArray &contentType() const;
    // Where the response came from: the URL of the last hop, after redirects.
    QUrl finalUrl() const;

    // Routes this request through the given proxy instead of the system's
    // proxy settings.
    void setProxy(const QNetworkProxy &proxy) { m_proxy = proxy; }

private:
    struct Credentials
    {
        QString user;
        QString password;
    };

    void requireResponse() const;
    void answerServer(QAuthenticator &authenticator);
    void answerProxy(QAuthenticator &authenticator);

    const RequestKind m_kind;
    QNetworkAccessManager m_manager;
    std::optional<QNetworkProxy> m_proxy;
    QUrl m_url;
    bool m_opened = false;
    std::optional<Credentials> m_serverCredentials;
    std::optional<Credentials> m_proxyCredentials;
    bool m_serverAnswered = false;
    bool m_proxyAnswered = false;

    bool m_responded = false;
    int m_status = 0;
    QString m_statusText;
    QByteArray m_contentType;
    QByteArray m_body;
    QUrl m_finalUrl;
};

} // namespace tidewell
