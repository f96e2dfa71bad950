#include "FeedReader.h"

#include "DomDocument.h"
#include "FeedRequest.h"
#include "NetworkRules.h"
#include "ParsedFeed.h"
#include "MarkupText.h"
#include "ResponseCleaning.h"
#include "ResponseDecoding.h"
#include "UnreadableAnswer.h"

#include <QDateTime>
#include <QEventLoop>

#include <new>
#include <optional>

namespace tidewell {

namespace {

enum FeedTypeCode
{
    Unknown = 0,
    Rss = 1,
    Rdf = 2,
    Atom = 3,
};

int detectFeedType(const DomDocument &document)
{
    for (int type : {Rss, Rdf, Atom}) {
        if (!document.selectSingleNode(feedPaths(type)->item).isNull())
            return type;
    }
    return Unknown;
}

} // namespace

// The state of a read while its requests run.
struct FeedReader::PendingRead
{
    QString url;
    QString userName;
    QString password;
    int lType = 0;
    bool allowHtml = false;
    ReadDone done;
    std::shared_ptr<DomDocument> document;
    std::unique_ptr<FeedRequest> request;
    // What the answer looked like as it came, and where its lines start:
    // enough to say why it was no feed once the parser has had it.
    struct Answer
    {
        QByteArray contentType;
        AnswerSketch sketch;
        LineStarts lines;
    };
    std::optional<Answer> answer;
};

FeedReader::FeedReader(Network &network) : m_network(network)
{
    Clear();
}

FeedReader::~FeedReader() = default;

void FeedReader::Clear()
{
    m_lastHTTPStatus = 0;
    m_lastHTTPStatusText.clear();
    m_lastError = {};
    m_unreadableReason.clear();
    m_notModified = false;
    m_documentVersion = {};
    m_retryAfterSeconds.reset();
    m_feedType = 0;
}

void FeedReader::recordCurrentError()
{
    try {
        throw;
    } catch (const std::bad_alloc &) {
        m_lastError = {Failure::Kind::Local, 0, QStringLiteral("out of memory")};
    } catch (const std::exception &error) {
        m_lastError = {Failure::Kind::Unreadable, 0, QString::fromLocal8Bit(error.what())};
    } catch (...) {
        m_lastError = {Failure::Kind::Unreadable, 0, QStringLiteral("an unknown error")};
    }
}

Failure FeedReader::failure() const
{
    if (m_lastError)
        return m_lastError;
    if (m_lastHTTPStatus != 0 && m_lastHTTPStatus != 200)
        return Failure::http(m_lastHTTPStatus, m_lastHTTPStatusText);
    if (!m_unreadableReason.isEmpty())
        return {Failure::Kind::Unreadable, 0, m_unreadableReason};
    return {};
}

LineStarts FeedReader::CleanResponse(QByteArray &text)
{
    return cleanResponse(text);
}

QString FeedReader::StripHTML(QString sString)
{
    return stripTags(std::move(sString));
}

QString FeedReader::FeedTypeString() const
{
    switch (m_feedType) {
    case Rss:
        return QStringLiteral("RSS");
    case Rdf:
        return QStringLiteral("RDF");
    case Atom:
        return QStringLiteral("Atom");
    default:
        return QStringLiteral("Unknown / None");
    }
}

void FeedReader::fetch(std::function<void(QByteArray)> done)
{
    PendingRead &read = *m_pending;
    m_documentUrl.clear();
    read.request = std::make_unique<FeedRequest>(m_network);
    FeedRequest &request = *read.request;
    if (!request.setUrl(read.url)) {
        m_lastError = request.failure();
        read.request.reset();
        done({});
        return;
    }
    if (!m_proxyUser.isEmpty() || !m_proxyPass.isEmpty())
        request.setProxyCredentials(m_proxyUser, m_proxyPass);
    if (!read.userName.isEmpty() || !read.password.isEmpty())
        request.setServerCredentials(read.userName, read.password);
    if (m_knownVersion)
        request.setConditions(QUrl(m_knownVersion->answeredUrl), m_knownVersion->etag, m_knownVersion->lastModified);
    request.send([this, done] { answered(done); });
}

void FeedReader::answered(const std::function<void(QByteArray)> &done)
{
    const std::unique_ptr<FeedRequest> request = std::move(m_pending->request);
    try {
        if (request->failure()) {
            m_lastError = request->failure();
            done({});
            return;
        }
        m_documentUrl = request->finalUrl();
        m_lastHTTPStatusText = request->statusText();
        m_lastHTTPStatus = request->status();
        if (m_lastHTTPStatus == 429 || m_lastHTTPStatus == 503)
            m_retryAfterSeconds = net::retryAfterSeconds(request->header("Retry-After"), QDateTime::currentDateTimeUtc());
        if (request->notModified()) {
            m_notModified = true;
            done({});
            return;
        }
        m_documentVersion = {QString::fromLatin1(m_documentUrl.toEncoded()),
                             net::cleanValidator(request->header("ETag")),
                             net::cleanValidator(request->header("Last-Modified"))};
        // The body is ours alone now, so it is cleaned in its own buffer.
        const QByteArray contentType = request->contentType();
        QByteArray text = responseUtf8(std::move(request->body()), contentType);
        AnswerSketch sketch = sketchAnswer(text);
        LineStarts lines = CleanResponse(text);
        m_pending->answer = PendingRead::Answer{contentType, std::move(sketch), std::move(lines)};
        done(std::move(text));
    } catch (...) {
        recordCurrentError();
        done({});
    }
}

bool FeedReader::ReadFeed(const QString &sURL, const QString &sUserName, const QString &sPassWord, int &lType,
                          bool bAllowHTML)
{
    bool result = false;
    bool over = false;
    QEventLoop loop;
    ReadFeedAsync(sURL, sUserName, sPassWord, lType, bAllowHTML, [&](bool readResult, int typeUsed) {
        result = readResult;
        lType = typeUsed;
        over = true;
        loop.quit();
    });
    if (!over)
        loop.exec();
    if (!over) {
        // The program is quitting: the read is abandoned.
        m_pending.reset();
        return false;
    }
    return result;
}

void FeedReader::ReadFeedAsync(const QString &sURL, const QString &sUserName, const QString &sPassWord, int lType,
                               bool bAllowHTML, ReadDone done)
{
    m_pending.reset();
    Clear();
    m_feedItems = std::make_shared<FeedItemCollection>();
    m_pending = std::make_unique<PendingRead>();
    m_pending->url = sURL;
    m_pending->userName = sUserName;
    m_pending->password = sPassWord;
    m_pending->lType = lType;
    m_pending->allowHtml = bAllowHTML;
    m_pending->done = std::move(done);
    m_pending->document = std::make_shared<DomDocument>();
    fetch([this](QByteArray text) {
        try {
            m_pending->document->loadUtf8(std::move(text));
        } catch (...) {
            recordCurrentError();
        }
        finishRead();
    });
}

void FeedReader::finishRead()
{
    const std::unique_ptr<PendingRead> read = std::move(m_pending);
    const int typeAsked = read->lType;
    bool parsed = false;
    try {
        if (read->document->hasContent())
            parsed = ParseFeed(read->document, read->lType, read->allowHtml);
        m_unreadableReason = reasonForAnswer(*read, typeAsked);
    } catch (...) {
        recordCurrentError();
    }
    read->done(m_lastHTTPStatus == 200 && parsed, read->lType);
}

QString FeedReader::reasonForAnswer(const PendingRead &read, int typeAsked) const
{
    if (!read.answer)
        return {};
    const DomDocument &document = *read.document;
    if (!document.hasContent()) {
        const auto &error = document.parseError();
        if (!error)
            return {};
        const PendingRead::Answer &answer = *read.answer;
        return reasonNotLoaded(answer.sketch, answer.contentType, answer.lines.at(error->text, error->offset),
                               error->description);
    }
    // A type the caller forced is taken as read, whatever the document.
    if (typeAsked == Unknown && read.lType == Unknown)
        return reasonNotAFeed(document.rootElementName());
    return {};
}

bool FeedReader::ParseFeed(std::shared_ptr<const DomDocument> document, int &lType, bool bAllowHTML)
{
    try {
        if (lType == Unknown)
            lType = detectFeedType(*document);
        m_feedType = lType;
        if (!m_feedItems)
            m_feedItems = std::make_shared<FeedItemCollection>();
        std::optional<FeedPaths> paths = feedPaths(lType);
        if (!paths)
            return false;
        // The items read their fields from the document when asked.
        const auto feed = std::make_shared<const ParsedFeed>(std::move(document), std::move(*paths), bAllowHTML,
                                                             m_documentUrl);
        m_feedItems->reserve(feed->items().size());
        for (std::size_t index = 0; index < feed->items().size(); ++index)
            m_feedItems->push_back(FeedItem(feed, index));
        return true;
    } catch (...) {
        recordCurrentError();
        return false;
    }
}

} // namespace tidewell
