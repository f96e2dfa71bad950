#pragma once

// The rules every transfer of the program follows, whether it fetches a feed
// document or an episode file, kept in one place so the two cannot drift:
//
// - only http and https are fetched; the podcast link schemes (feed://,
//   itpc://, pcast://, feed:https://...) stand for the http(s) URL inside;
// - up to 10 redirects, between http and https in either direction;
// - TLS certificates are verified against the system's store;
// - a transfer that receives nothing for the stall time-out (60 s) is aborted;
// - the program names itself and its version in User-Agent;
// - gzip is accepted (Qt asks for it and inflates the body itself as long as
//   nobody sets Accept-Encoding by hand);
// - proxies come from the system's settings, except for loopback addresses,
//   which are always reached directly.
//
// A transfer is one call to get(); the caller reads each hop's body as it
// arrives through the watcher it passes.

#include <QNetworkRequest>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace tidewell::net {

inline constexpr int maxRedirects = 10;
inline constexpr std::chrono::milliseconds defaultStallTimeout{60000};

// The URL a link stands for: podcast-scheme links become the http or https
// URL they wrap, anything else is parsed as it is. The result may still be
// unfetchable; ask isFetchable.
QUrl podcastUrl(const QString &link);

// http or https, with a host.
bool isFetchable(const QUrl &url);

// A GET request for url carrying the shared headers and TLS settings. It does
// not follow redirects: get() does.
QNetworkRequest makeRequest(const QUrl &url);

QByteArray userAgent();

// Gives the manager the proxy choice above.
void applyProxyRules(QNetworkAccessManager &manager);

// How long a transfer may receive nothing before it is aborted. Tests shorten
// it; a zero or negative value restores the default.
std::chrono::milliseconds stallTimeout();
void setStallTimeoutForTesting(std::chrono::milliseconds timeout);

// Why a transfer ended without a final answer although the network did not
// fail: we cut it short.
enum class AbortReason
{
    None,
    Stalled,          // nothing arrived for stallTimeout()
    RedirectRefused,  // a redirect led away from http and https
    TooManyRedirects, // more than maxRedirects
    TooLarge,         // the caller's size limit was passed
    Interrupted,      // the application quit during the wait
};

// Watches one reply while it runs: aborts it when it stalls, and lets its
// owner abort it for a reason that is remembered.
class ReplyGuard : public QObject
{
public:
    explicit ReplyGuard(QNetworkReply &reply);

    void abort(AbortReason reason);
    AbortReason abortReason() const { return m_reason; }

private:
    QNetworkReply &m_reply;
    QTimer m_stallTimer;
    AbortReason m_reason = AbortReason::None;
};

// Runs a local event loop until the reply finishes, so windows repaint and
// timers tick meanwhile. False when the wait ended otherwise (the
// application quitting); the reply is then still running.
bool waitForFinished(QNetworkReply &reply);

// Called for each hop's reply right after it is issued. Connect to its
// signals with the guard as context: the guard lives exactly as long as the
// hop runs. A hop that turns out to be a redirect is discarded with whatever
// body it delivered.
using HopWatcher = std::function<void(QNetworkReply &reply, ReplyGuard &guard)>;

struct Transfer
{
    // The last hop, finished; its error() and status tell the rest.
    std::unique_ptr<QNetworkReply> reply;
    AbortReason abortReason = AbortReason::None;
};

// GETs url under the rules above, each hop waited for on a local event loop,
// so windows repaint and timers tick meanwhile (callers must expect
// re-entry). url must be fetchable.
Transfer get(QNetworkAccessManager &manager, QUrl url, const HopWatcher &watch = {});

} // namespace tidewell::net
