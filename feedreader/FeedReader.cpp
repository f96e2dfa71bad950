#include "FeedReader.h"

#include "DomDocument.h"
#include "ErrorNumbers.h"
#include "HttpRequest.h"
#include "NetworkRules.h"
#include "ParsedFeed.h"
#include "RegExp.h"
#include "ResponseCleaning.h"
#include "ResponseDecoding.h"
#include "RuntimeError.h"
#include "UnreadableAnswer.h"

#include <QDateTime>
#include <QEventLoop>
#include <QStringList>

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

// The four request objects, in the order they are tried: a read makes its
// one request with the first that can be made.
const QStringList &requestIdentifiers()
{
    static const QStringList identifiers{QString::fromUtf16(progid::WinHttpRequest), QString::fromUtf16(progid::XmlHttp),
                    QString::fromUtf16(progid::ServerXmlHttp), QString::fromUtf16(progid::LegacyXmlHttp)};
    return identifiers;
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
    std::unique_ptr<HttpRequest> request;
    int counter = 0;
    bool requested = false;
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

FeedReader::FeedReader(std::shared_ptr<const ObjectFactory> factory) : m_factory(std::move(factory))
{
    Clear();
    m_proxyUser.clear();
    m_proxyPass.clear();
    m_regExp = CreateObj<RegExp>(QString::fromUtf16(progid::RegExp));
}

FeedReader::~FeedReader() = default;

void FeedReader::Clear()
{
    m_lastHTTPStatus = 0;
    m_lastHTTPStatusText.clear();
    m_lastErrorCode = 0;
    m_lastErrorDesc.clear();
    m_unreadableReason.clear();
    m_notModified = false;
    m_documentVersion = {};
    m_retryAfterSeconds.reset();
    m_feedType = 0;
}

void FeedReader::SetError(int number, const QString &description)
{
    m_lastErrorCode = number;
    m_lastErrorDesc = description;
}

void FeedReader::recordCurrentError()
{
    try {
        throw;
    } catch (const RuntimeError &error) {
        SetError(error.number(), error.description());
    } catch (const std::bad_alloc &) {
        SetError(errnum::OutOfMemory, QStringLiteral("Out of memory"));
    } catch (const std::exception &error) {
        SetError(errnum::Fail, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        SetError(errnum::Fail, QStringLiteral("Unknown error"));
    }
}

template <typename T>
std::unique_ptr<T> FeedReader::CreateObj(const QString &progId)
{
    try {
        std::unique_ptr<PlatformObject> object = m_factory->CreateObject(progId);
        if (auto *typed = dynamic_cast<T *>(object.get())) {
            object.release();
            return std::unique_ptr<T>(typed);
        }
    } catch (...) {
        // Whatever went wrong, the caller learns only that no object came.
    }
    SetError(errnum::CannotCreateObject, QStringLiteral("Error creating object '") + progId + u'\'');
    return nullptr;
}

RegExp &FeedReader::engine()
{
    if (!m_regExp)
        throw RuntimeError(errnum::ObjectVariableNotSet, QStringLiteral("Object variable or With block variable not set"));
    return *m_regExp;
}

LineStarts FeedReader::CleanResponse(QByteArray &text)
{
    return cleanResponse(text);
}

QString FeedReader::StripHTML(QString sString)
{
    engine();
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

void FeedReader::HTTPGet(const QString &sURL, const QString &sUserName, const QString &sPassWord,
                         const QString &progId, std::function<void(QByteArray)> done)
{
    std::unique_ptr<HttpRequest> &request = m_pending->request;
    m_documentUrl.clear();
    try {
        request = CreateObj<HttpRequest>(progId);
        if (!request) {
            done({});
            return;
        }
        m_pending->requested = true;
        if (progId.compare(QStringView(progid::WinHttpRequest), Qt::CaseInsensitive) == 0) {
            request->Open(QStringLiteral("GET"), sURL, false);
            if (!m_proxyUser.isEmpty() || !m_proxyPass.isEmpty())
                request->SetCredentials(m_proxyUser, m_proxyPass, 1);
            if (!sUserName.isEmpty() || !sPassWord.isEmpty())
                request->SetCredentials(sUserName, sPassWord, 0);
        } else {
            request->Open(QStringLiteral("GET"), sURL, false, sUserName, sPassWord);
        }
        if (m_knownVersion)
            request->setConditions(QUrl(m_knownVersion->answeredUrl), m_knownVersion->etag,
                                   m_knownVersion->lastModified);
        request->sendAsync([this, done] {
            HttpRequest &answered = *m_pending->request;
            try {
                if (const auto &failure = answered.failure())
                    throw *failure;
                m_documentUrl = answered.finalUrl();
                m_lastHTTPStatusText = answered.statusText();
                m_lastHTTPStatus = answered.Status();
                if (m_lastHTTPStatus == 429 || m_lastHTTPStatus == 503)
                    m_retryAfterSeconds = net::retryAfterSeconds(answered.responseHeader("Retry-After"),
                                                                 QDateTime::currentDateTimeUtc());
                if (answered.notModified()) {
                    m_notModified = true;
                    m_pending->request.reset();
                    done({});
                    return;
                }
                m_documentVersion = {QString::fromLatin1(m_documentUrl.toEncoded()),
                                     net::cleanValidator(answered.responseHeader("ETag")),
                                     net::cleanValidator(answered.responseHeader("Last-Modified"))};
                QByteArray body = answered.responseBody();
                const QByteArray contentType = answered.contentType();
                // The body is now ours alone, so it is cleaned in its own buffer.
                m_pending->request.reset();
                QByteArray text = responseUtf8(std::move(body), contentType);
                AnswerSketch sketch = sketchAnswer(text);
                LineStarts lines = CleanResponse(text);
                m_pending->answer = PendingRead::Answer{contentType, std::move(sketch), std::move(lines)};
                done(std::move(text));
            } catch (...) {
                recordCurrentError();
                m_pending->request.reset();
                done({});
            }
        });
    } catch (...) {
        recordCurrentError();
        request.reset();
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
    try {
        if (!m_regExp) {
            done(false, lType);
            return;
        }
        Clear();
        m_feedItems = std::make_shared<FeedItemCollection>();
        std::shared_ptr<DomDocument> document = CreateObj<DomDocument>(QString::fromUtf16(progid::DomDocument));
        if (!document) {
            done(false, lType);
            return;
        }
        m_pending = std::make_unique<PendingRead>();
        m_pending->url = sURL;
        m_pending->userName = sUserName;
        m_pending->password = sPassWord;
        m_pending->lType = lType;
        m_pending->allowHtml = bAllowHTML;
        m_pending->done = std::move(done);
        m_pending->document = std::move(document);
    } catch (...) {
        recordCurrentError();
        m_pending.reset();
        done(false, lType);
        return;
    }
    nextAttempt();
}

void FeedReader::nextAttempt()
{
    PendingRead &read = *m_pending;
    // One request, whatever came of it: another request object would only
    // send the same request again. An object that cannot be made costs no
    // request, so the next one is tried.
    if (read.requested || read.counter >= requestIdentifiers().size()) {
        finishRead();
        return;
    }
    const QString &identifier = requestIdentifiers().at(read.counter);
    HTTPGet(read.url, read.userName, read.password, identifier, [this](QByteArray text) {
        try {
            m_pending->document->loadUtf8(std::move(text));
        } catch (...) {
            recordCurrentError();
        }
        ++m_pending->counter;
        nextAttempt();
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
