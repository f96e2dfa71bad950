#pragma once

#include "LoopbackListener.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>

namespace tidewell::test {

// An HTTP/1.1 server on 127.0.0.1 and an ephemeral port. It runs on a thread
// of its own, so a client that waits on an event loop and one that blocks
// are served alike. Answers are programmed per path, every request is
// recorded with its headers, and an answer can stall or drop the connection
// part-way, which is what transfer tests need. Requests written with an
// absolute URL (as clients send them to a proxy) are served by path too, so
// the server can stand in for a proxy.
class LoopbackServer
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // as sent: a path, or an absolute URL through a proxy
        QByteArray path;   // the target without scheme, host and query
        QList<QPair<QByteArray, QByteArray>> headers;

        // The first header of that name (letter case aside), or null.
        QByteArray header(const QByteArray &name) const;
        bool viaProxy() const { return target.startsWith("http://"); }
    };

    struct Reply
    {
        enum class Ending
        {
            Complete,
            StallBeforeHeaders, // reads the request, then sends nothing at all
            StallAfter,         // sends headers and `cutAfter` body bytes, then nothing
            DropAfter,          // sends headers and `cutAfter` body bytes, then closes
        };

        int status = 200;
        QByteArray reason; // empty: the usual phrase for the status
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body; // shared, not copied: large bodies cost nothing extra
        bool contentLength = true; // false: no Content-Length, the close ends the body
        bool chunked = false;      // the body in chunks; Complete ends it with the last chunk
        Ending ending = Ending::Complete;
        qint64 cutAfter = 0;
        // Sent as it stands instead of the status line and headers, so a test
        // can send what no server should (two Content-Lengths, a head that
        // never ends); `headers`, `status` and the framing are then not used.
        QByteArray rawHead;
        // After the body: asked for more bytes whenever the client has taken
        // what was sent, until it answers nothing (then `ending` applies).
        // Chunked replies wrap each answer as a chunk. Runs on the server's
        // thread.
        std::function<QByteArray()> stream;
        // The body one byte at a time, then the stream one answer at a time,
        // this many milliseconds apart.
        int trickleMs = 0;

        static Reply ok(const QByteArray &body, const QByteArray &contentType = "application/xml");
        static Reply withStatus(int status, const QByteArray &body = {}, const QByteArray &contentType = "text/plain");
        static Reply redirect(int status, const QByteArray &location);
        Reply &header(const QByteArray &name, const QByteArray &value);
    };

    using Handler = std::function<Reply(const Request &)>;

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    quint16 port() const { return m_listener->port(); }
    // http://127.0.0.1:<port><path>
    QString url(const QString &path) const;

    // Paths without a programmed answer get 404.
    void serve(const QByteArray &path, const Reply &reply);
    void serve(const QByteArray &path, Handler handler);
    // From now on, requests that arrive as to a proxy must carry these Basic
    // credentials in Proxy-Authorization, or get 407.
    void requireProxyCredentials(const QByteArray &user, const QByteArray &password);

    int hits(const QByteArray &path) const;
    // The most requests that were being answered at one time.
    int peakConcurrentAnswers() const;
    QList<Request> requests() const;
    // Connections that opened with a TLS handshake (a client following a
    // redirect to https); the server closes them unanswered.
    int tlsHandshakes() const;

    // "Basic " and the base64 of user:password.
    static QByteArray basicCredentials(const QByteArray &user, const QByteArray &password);

private:
    class State;
    class Connection;

    std::shared_ptr<State> m_state;
    std::unique_ptr<LoopbackListener> m_listener;
};

} // namespace tidewell::test
