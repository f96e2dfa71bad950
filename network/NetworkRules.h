#pragma once

// The rules every transfer of the program follows, whether it fetches a feed
// document or an episode file, kept in one place so the two cannot drift:
//
// - only http and https are fetched; the podcast link schemes (feed://,
//   itpc://, pcast://, feed:https://...) stand for the http(s) URL inside;
// - up to 10 redirects, between http and https in either direction;
// - TLS certificates are verified against the system's store;
// - a transfer that receives nothing for the stall time-out (60 s unless the
//   network object says otherwise) is aborted;
// - the program names itself and its version in User-Agent;
// - feed documents may come compressed (gzip, deflate); episodes are asked
//   for as they are;
// - proxies come from the system's settings, except for loopback addresses,
//   which are always reached directly (Network.h).
//
// Both feed requests and episode transfers travel on an HttpExchange.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>

namespace tidewell::net {

inline constexpr int maxRedirects = 10;
inline constexpr std::chrono::milliseconds defaultStallTimeout{60000};

// The URL a link stands for: podcast-scheme links become the http or https
// URL they wrap, anything else is parsed as it is. The result may still be
// unfetchable; ask isFetchable.
QUrl podcastUrl(const QString &link);

// http or https, with a host.
bool isFetchable(const QUrl &url);

QByteArray userAgent();

} // namespace tidewell::net
