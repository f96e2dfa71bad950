#pragma once

#include <QString>

namespace tidewell {

// Why something the program fetched or saved did not work out, as one value
// from the transfer to the schedule's store: what kind of failure it was,
// the server's HTTP status when it answered with one, and the detail in
// words. Sentences for people are made from it only where they are shown.
struct Failure
{
    enum class Kind
    {
        None,
        Address,    // the address cannot be fetched (its scheme, its form)
        Connection, // no connection: refused, unreachable, a name not found, a proxy
        Timeout,    // nothing for too long, too slow, past the deadline
        Secure,     // TLS: a certificate, a handshake
        Http,       // the server answered with an error status
        Protocol,   // an answer that broke HTTP, or redirects that went wrong
        Incomplete, // the answer stopped before its end
        Refused,    // this program's rules refused it: a web page, no length, empty, too large
        Unreadable, // a feed that is no feed
        NoEpisode,  // a feed that names no episode
        Local,      // this computer: a folder, the disk
        Stopped,    // the program ended it
    };

    Kind kind = Kind::None;
    int httpStatus = 0;
    QString detail; // in words, for a person: "Connection refused", "Not Found"

    static Failure http(int status, const QString &reasonPhrase) { return {Kind::Http, status, reasonPhrase}; }

    explicit operator bool() const { return kind != Kind::None; }
    // "HTTP 404 Not Found" for a server's status, else the detail.
    QString text() const
    {
        if (kind != Kind::Http)
            return detail;
        const QString status = QStringLiteral("HTTP %1").arg(httpStatus);
        return detail.isEmpty() ? status : status + u' ' + detail;
    }
    bool operator==(const Failure &) const = default;
};

} // namespace tidewell
