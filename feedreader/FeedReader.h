#pragma once

#include "FeedItem.h"
#include "Failure.h"
#include "ResponseCleaning.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace tidewell {

class DomDocument;
class FeedRequest;
class Network;

// Fetches a feed document over HTTP and turns it into items. A read makes
// one request; a failure is reported at once. The reader never shows a
// message: why a read gave no feed is kept as a value (failure(): no
// connection, an HTTP status, an answer that was no feed), and nothing is
// thrown out of ReadFeed. One reader serves one feed; ReadFeed forgets the
// read before.
class FeedReader
{
public:
    explicit FeedReader(Network &network);
    ~FeedReader();
    FeedReader(const FeedReader &) = delete;
    FeedReader &operator=(const FeedReader &) = delete;

    // lType: 0 detects the type, 1 to 3 force RSS, RDF or Atom; on return it
    // holds the type used. bAllowHTML false strips mark-up from descriptions.
    // True only when the request answered 200 and the document was
    // recognised.
    bool ReadFeed(const QString &sURL, const QString &sUserName, const QString &sPassWord, int &lType,
                  bool bAllowHTML);
    // The same read without waiting: the request runs on the event loop and
    // `done` gets ReadFeed's result and the type used once the read is over
    // (at once when nothing could be fetched). One read at a time; a second
    // call, or destroying the reader, abandons the first without calling it.
    using ReadDone = std::function<void(bool result, int lType)>;
    void ReadFeedAsync(const QString &sURL, const QString &sUserName, const QString &sPassWord, int lType,
                       bool bAllowHTML, ReadDone done);

    int LastHTTPStatus() const { return m_lastHTTPStatus; }
    const QString &LastHTTPStatusText() const { return m_lastHTTPStatusText; }
    // What went wrong before an answer could be read: no answer at all, or a
    // document that could not be handled; Kind::None when nothing did.
    const Failure &lastError() const { return m_lastError; }
    // Why the last answer was not a feed the reader could read, in words:
    // empty, JSON, a web page, not well-formed (where and why), or another
    // kind of XML. Empty when it was a feed, or when no answer came.
    const QString &unreadableReason() const { return m_unreadableReason; }
    // Why the read gave no feed, the first that holds: the error, the HTTP
    // status when it was not 200, the answer that was no feed. Kind::None
    // when it gave one.
    Failure failure() const;

    // A version of a feed's document: the address that sent it in full, after
    // redirects, and the validators it came with.
    struct DocumentVersion
    {
        QString answeredUrl;
        QByteArray etag;
        QByteArray lastModified;
    };
    // The version the caller already has: the next read asks that address
    // whether it changed. Nothing asks for the document in full.
    void setKnownVersion(std::optional<DocumentVersion> version) { m_knownVersion = std::move(version); }
    // The last read was answered "not modified" for the known version: no
    // document, no items, no reason.
    bool NotModified() const { return m_notModified; }
    // The version the last read got in full; empty validators when the
    // server gave none.
    const DocumentVersion &documentVersion() const { return m_documentVersion; }
    // How long a server that answered 429 or 503 asked to be left alone.
    std::optional<qint64> retryAfterSeconds() const { return m_retryAfterSeconds; }
    const QString &ProxyUser() const { return m_proxyUser; }
    void setProxyUser(const QString &user) { m_proxyUser = user; }
    const QString &ProxyPass() const { return m_proxyPass; }
    void setProxyPass(const QString &password) { m_proxyPass = password; }
    // 0 unknown or none, 1 RSS, 2 RDF, 3 Atom.
    int FeedType() const { return m_feedType; }
    QString FeedTypeString() const;
    // The collection itself, shared: it outlives the reader. Null before the
    // first ReadFeed that got as far as fetching.
    std::shared_ptr<const FeedItemCollection> FeedItems() const { return m_feedItems; }

    // Removes every "<", at least one character, and the next ">" after it.
    // Entities are left as they are.
    static QString StripHTML(QString sString);
    void Clear();

private:
    friend class FeedReaderProbe; // the fuzz target drives the private steps
    struct PendingRead;

    // Sends the one request and hands on the cleaned response text, as UTF-8
    // (see CleanResponse); empty text on failure.
    void fetch(std::function<void(QByteArray)> done);
    void answered(const std::function<void(QByteArray)> &done);
    void finishRead();
    // Cleans the response text (as UTF-8, ResponseDecoding.h) in its own
    // buffer, every byte kept where it was (ResponseCleaning.h), and tells
    // where its lines start.
    static LineStarts CleanResponse(QByteArray &text);
    QString reasonForAnswer(const PendingRead &read, int typeAsked) const;
    // Records the exception being handled.
    void recordCurrentError();

    // The items keep the document: they read their fields from it when asked.
    bool ParseFeed(std::shared_ptr<const DomDocument> document, int &lType, bool bAllowHTML);

    Network &m_network;
    std::unique_ptr<PendingRead> m_pending;
    int m_lastHTTPStatus = 0;
    QString m_lastHTTPStatusText;
    Failure m_lastError;
    QString m_unreadableReason;
    std::optional<DocumentVersion> m_knownVersion;
    bool m_notModified = false;
    DocumentVersion m_documentVersion;
    std::optional<qint64> m_retryAfterSeconds;
    std::shared_ptr<FeedItemCollection> m_feedItems;
    // Where the last response came from, after redirects.
    QUrl m_documentUrl;
    int m_feedType = 0;
    QString m_proxyUser;
    QString m_proxyPass;
};

} // namespace tidewell
