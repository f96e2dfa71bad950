#pragma once

// The rules every transfer of the program follows, whether it fetches a feed
// document or an episode file, kept in one place so the two cannot drift:
//
// - only http and https are fetched; the podcast link schemes (feed://,
//   itpc://, pcast://, feed:https://...) stand for the http(s) URL inside;
// - up to 10 redirects, between http and https in either direction;
// - TLS certificates are verified against the system's store;
// - a transfer that receives nothing for the stall time-out (60 s unless the
//   network object says otherwise), or less than 1 KiB/s over 60 s, is
//   abandoned; a feed request may take 5 minutes in all;
// - the program names itself and its version in User-Agent;
// - feed documents may come compressed (gzip, deflate); episodes are asked
//   for as they are;
// - credentials written in a URL go to that scheme, host and port only;
// - proxies come from the environment as curl reads it (http_proxy,
//   https_proxy, all_proxy, no_proxy), except for loopback addresses, which
//   are always reached directly (Network.h).
//
// Both feed requests and episode transfers travel on an HttpExchange.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include "Network.h"

#include <chrono>
#include <optional>

namespace tidewell::net {

inline constexpr int maxRedirects = 10;
inline constexpr std::chrono::milliseconds defaultStallTimeout{60000};
inline constexpr Network::MinimumSpeed defaultMinimumSpeed{1024, std::chrono::seconds(60)};
inline constexpr std::chrono::milliseconds defaultFeedDeadline{5 * 60 * 1000};

// The URL a link stands for: podcast-scheme links become the http or https
// URL they wrap, anything else is parsed as it is. The result may still be
// unfetchable; ask isFetchable.
QUrl podcastUrl(const QString &link);

// http or https, with a host.
bool isFetchable(const QUrl &url);

QByteArray userAgent();

// A URL as messages show it: never with a password in it.
QString displayUrl(const QUrl &url);

// A validator (ETag, Last-Modified) as it may be stored and sent again: no
// line breaks or other control characters that could end a header early.
QByteArray cleanValidator(const QByteArray &value);

// A Retry-After header (seconds, or an HTTP date) as seconds from `now`.
std::optional<qint64> retryAfterSeconds(const QByteArray &value, const QDateTime &now);

} // namespace tidewell::net
