#pragma once

#include "HttpResponseParser.h"
#include "Network.h"

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

namespace tidewell::net {

// One GET under the network rules (NetworkRules.h), hop by hop over
// redirects, on the event loop. The exchange is the program's own HTTP/1.1
// client: Qt's reports a chunked body cut short as complete, hides where a
// compressed one stopped, and keeps reading a head that never ends after it
// was told to stop. Here every answer is read within fixed bounds, its end
// is known exactly, and stopping stops.
//
// The owner sees the final answer's head, then its body bytes as they
// arrived (still encoded), then finished(). A callback that returns false
// ends the exchange; it says why with fail() first.
class HttpExchange : public QObject
{
    Q_OBJECT

public:
    enum class Error
    {
        None,
        Refused,          // the connection was refused
        HostNotFound,
        Stalled,          // nothing arrived for the stall time-out
        Secure,           // TLS failed (a certificate, a handshake)
        RedirectRefused,  // a redirect led away from http and https
        TooManyRedirects,
        Protocol,         // the answer was not HTTP, or broke its own framing
        Closed,           // the connection ended before the answer did
        Network,          // any other network failure
        Stopped,          // stopped from outside (the program ending)
        Owner,            // the owner failed it (see fail())
    };

    HttpExchange(Network &network, QUrl url, QObject *parent = nullptr);
    ~HttpExchange() override;

    void setHeader(const QByteArray &name, const QByteArray &value);
    // Basic credentials, given once when the server (or the proxy) asks.
    void setServerCredentials(const QString &user, const QString &password);
    void setProxyCredentials(const QString &user, const QString &password);
    // Replaces the network object's proxy choice for this exchange.
    void setProxy(const QNetworkProxy &proxy) { m_proxyOverride = proxy; }

    // The final answer's head is in; false stops before any of its body.
    std::function<bool(const HttpResponseParser &response)> onHead;
    // Body bytes as they arrived; false stops.
    std::function<bool(const char *data, qsizetype size)> onBody;

    // url must be fetchable. May finish at once: connect first.
    void start();
    void abort();
    // Ends the exchange as failed for the owner's own reason.
    void fail(const QString &reason);

    bool isFinished() const { return m_finished; }
    Error error() const { return m_error; }
    const QString &errorString() const { return m_errorString; }
    // The final answer; its head is valid once onHead has run.
    const HttpResponseParser &response() const { return *m_parser; }
    // The address of the last hop, after every redirect.
    const QUrl &url() const { return m_url; }

Q_SIGNALS:
    void finished();

private:
    struct Credentials
    {
        QString user;
        QString password;
        bool given = false;
    };

    void startHop();
    void sendRequest();
    void readAvailable();
    bool headArrived();
    void connectionClosed();
    void responseEnded();
    bool answerChallenge(std::optional<Credentials> &credentials, const QByteArray &challenge);
    void closeConnection();
    void finishWith(Error error, const QString &reason);

    Network &m_network;
    QUrl m_url;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    std::optional<Credentials> m_server;
    std::optional<Credentials> m_proxy;
    std::optional<QNetworkProxy> m_proxyOverride;
    bool m_viaHttpProxy = false;
    bool m_retry = false; // the hop ends in a request again with credentials
    int m_redirects = 0;
    QTcpSocket *m_socket = nullptr;
    std::unique_ptr<HttpResponseParser> m_parser;
    QTimer m_stallTimer;
    bool m_started = false;
    bool m_finished = false;
    Error m_error = Error::None;
    QString m_errorString;
    std::optional<Network::Registration> m_registration;
};

} // namespace tidewell::net
