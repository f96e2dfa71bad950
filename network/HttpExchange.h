#pragma once

#include "Failure.h"
#include "HttpResponse.h"
#include "Network.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <array>
#include <functional>
#include <optional>
#include <utility>

using CURL = void;
struct curl_slist;

namespace tidewell::net {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// One GET under the network rules (NetworkRules.h), on libcurl through the
// program's transfer loop. Redirects are followed here, hop by hop, so that
// each hop can be given only what belongs to its own address: credentials
// only to the scheme, host and port they were written for, validators only to
// the URL that answered them. curl answers Basic, Digest and NTLM challenges,
// finds proxies in the environment, reuses connections and speaks HTTP/2.
//
// The owner sees the final answer's head (onHead) just before its first body
// byte, or when it ended without one, then its body bytes as they arrived
// (still encoded), then finished(). A callback that returns false ends the
// exchange: as a failure when the owner said why with fail(), else as a
// success that needed no more of the body. A failure is a value of its own
// kind (Failure.h): a connection, a time-out, a cut, a protocol fault...
class HttpExchange : public QObject
{
    Q_OBJECT

public:
    HttpExchange(Network &network, QUrl url, QObject *parent = nullptr);
    ~HttpExchange() override;

    // A header for every hop.
    void setHeader(const QByteArray &name, const QByteArray &value);
    // Headers for one hop only, chosen by its address.
    std::function<HeaderList(const QUrl &hop)> headersFor;
    // Credentials for the server, instead of those written in the URL; they
    // go to the first URL's scheme, host and port only.
    void setServerCredentials(const QString &user, const QString &password);
    void setProxyCredentials(const QString &user, const QString &password);
    // The longest the whole exchange may take; none unless set.
    void setDeadline(std::chrono::milliseconds deadline) { m_deadlineLength = deadline; }

    std::function<bool(const HttpResponse &response)> onHead;
    std::function<bool(const char *data, qsizetype size)> onBody;

    // url must be fetchable. May finish at once: connect first.
    void start();
    void abort();
    // Ends the exchange as failed for the owner's own reason.
    void fail(const Failure &failure);

    bool isFinished() const { return m_finished; }
    // Why it failed; Kind::None when it did not.
    const Failure &failure() const { return m_failure; }
    // The final answer; its head is valid once onHead has run.
    const HttpResponse &response() const { return m_response; }
    // The address of the last hop, after every redirect.
    const QUrl &url() const { return m_url; }

Q_SIGNALS:
    void finished();

private:
    struct Credentials
    {
        QString user;
        QString password;
    };

    static size_t onHeaderData(char *data, size_t size, size_t count, void *exchange);
    static size_t onBodyData(char *data, size_t size, size_t count, void *exchange);
    void startHop();
    void configure(CURL *easy);
    void configureCredentials(CURL *easy);
    void configureHeaders(CURL *easy);
    bool headLine(const QByteArray &line);
    bool bodyArrived(const char *data, qsizetype size);
    bool finalHead();
    void hopEnded(int result);
    Failure failureOf(int result) const;
    Failure connectionFailure(const QString &words) const;
    Failure cutFailure() const;
    void followRedirect();
    void releaseHop();
    void finishWith(const Failure &failure);
    void emitFinished();

    Network &m_network;
    QUrl m_url;
    QUrl m_origin; // where the credentials belong
    HeaderList m_headers;
    std::optional<Credentials> m_server;
    std::optional<Credentials> m_proxy;
    std::chrono::milliseconds m_deadlineLength{0};

    CURL *m_easy = nullptr;
    curl_slist *m_requestHeaders = nullptr;
    std::array<char, 256> m_curlError{};
    HttpResponse m_response;
    bool m_headReported = false; // onHead has run for this hop
    bool m_redirecting = false;
    bool m_stoppedByOwner = false;
    int m_redirects = 0;
    int m_inCallback = 0;
    bool m_finishPending = false; // finished while curl was calling us

    QTimer m_stallTimer;
    QTimer m_deadline;
    bool m_started = false;
    bool m_finished = false;
    Failure m_failure;
    std::optional<Network::Registration> m_registration;
};

} // namespace tidewell::net
