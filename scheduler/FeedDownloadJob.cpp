#include "FeedDownloadJob.h"

#include "FeedReader.h"
#include "FeedStore.h"
#include "Network.h"
#include "PathHelpers.h"
#include "ScheduleStore.h"

#include <QDateTime>
#include <QFileInfo>

namespace tidewell {
namespace {

struct FeedDetails
{
    QString folder;
    QString filename;
    QString url;
};

// A field's text; empty when it cannot be read, and then why.
QString textOf(const FieldValue &field, std::vector<RuntimeError> &failures)
{
    try {
        return field.toText();
    } catch (const RuntimeError &error) {
        failures.push_back(error);
        return {};
    }
}

// The feed's details, and each run-time error of looking them up.
FeedDetails lookUp(const FeedStore &feeds, qint64 row, std::vector<RuntimeError> &failures)
{
    std::optional<FeedRecord> record;
    try {
        record = feeds.find(row);
    } catch (const RuntimeError &error) {
        // Nor can whether it was found be asked: that is said too.
        failures = {error, FeedStore::closedError()};
        return {};
    }
    if (!record)
        return {};
    return {textOf(record->folder, failures), textOf(record->filename, failures), textOf(record->url, failures)};
}

// Why a read gave no episode, as far as the reader can tell.
Failure readerFailure(const FeedReader &reader)
{
    if (const Failure failure = reader.failure())
        return failure;
    const auto items = reader.FeedItems();
    if (reader.FeedType() == 0)
        return {Failure::Kind::Unreadable, 0, QStringLiteral("the address did not give an RSS, RDF or Atom feed with items")};
    if (!items || items->empty())
        return {Failure::Kind::NoEpisode, 0, QStringLiteral("the feed has no items")};
    return {Failure::Kind::NoEpisode, 0, QStringLiteral("the feed's first item names no episode")};
}

// The file as the last download left it: the same size, modification time
// and change time. A file rewritten with other bytes of the same size and its
// modification time set back still has a new change time.
bool standsAsLeft(const QFileInfo &file, const ScheduleStore::Episode &last)
{
    return file.isFile() && file.size() == last.size && file.lastModified().toMSecsSinceEpoch() == last.modifiedMs
        && file.metadataChangeTime().toMSecsSinceEpoch() == last.changedMs;
}

// Validators for a conditional request, when the file standing at the
// destination is the one the last download of this same episode left there.
void addValidators(ScheduleStore *store, qint64 feed, TransferRequest &request)
{
    if (!store)
        return;
    const std::optional<ScheduleStore::Episode> last = store->episode(feed);
    if (!last || last->url != request.url || last->destination != request.localPath
        || (last->etag.isEmpty() && last->lastModified.isEmpty())
        || !standsAsLeft(QFileInfo(request.localPath), *last))
        return;
    request.validatedUrl = last->answeredUrl;
    request.etag = last->etag;
    request.lastModified = last->lastModified;
}

void rememberEpisode(ScheduleStore *store, qint64 feed, const TransferRequest &request,
                     const TransferOutcome &outcome)
{
    // A failure leaves the old file, and what is known of it, as they were;
    // so does a confirmation that it is current. A file without validators
    // is remembered too: a feed that has not changed confirms it.
    if (!store || outcome.kind != TransferOutcome::Kind::Downloaded)
        return;
    const QFileInfo file(request.localPath);
    store->saveEpisode(feed, {request.url, outcome.answeredUrl, request.localPath, outcome.etag, outcome.lastModified,
                              file.size(), file.lastModified().toMSecsSinceEpoch(),
                              file.metadataChangeTime().toMSecsSinceEpoch()});
}

} // namespace

FeedDownload::FeedDownload(FeedDownloadContext context, qint64 row, QObject *parent)
    : DownloadJob(parent), m_context(context), m_row(row)
{
}

FeedDownload::~FeedDownload() = default;

void FeedDownload::start(bool byHand)
{
    std::vector<RuntimeError> failures;
    const FeedDetails feed = lookUp(m_context.feeds, m_row, failures);
    if (!byHand && !failures.empty())
        throw failures.front();
    m_outcome.lookUpFailures = std::move(failures);
    if (feed.folder.isEmpty() || feed.filename.isEmpty() || feed.url.isEmpty()) {
        finish(FeedDownloadOutcome::MissingDetails);
        return;
    }
    m_folder = feed.folder;
    m_filename = feed.filename;
    m_feedUrl = feed.url;
    readFeed(true);
}

void FeedDownload::readFeed(bool conditional)
{
    m_reader = std::make_unique<FeedReader>(m_context.network);
    // The feed's document as the last full read got it: the server is asked
    // whether it changed, and a feed that has not changed names the episode
    // already standing there.
    if (conditional && m_context.store) {
        const auto known = m_context.store->feedDocument(m_row);
        if (known && known->url == m_feedUrl && (!known->etag.isEmpty() || !known->lastModified.isEmpty()))
            m_reader->setKnownVersion(FeedReader::DocumentVersion{known->answeredUrl, known->etag, known->lastModified});
    }
    // The result is not looked at: a feed answered with another status than
    // 200 may still have yielded its items.
    m_reader->ReadFeedAsync(m_feedUrl, QString(), QString(), 0, false, [this](bool, int) { feedRead(); });
}

QString FeedDownload::destination() const
{
    const QString folder = m_folder.endsWith(QLatin1Char('/')) ? m_folder : m_folder + QLatin1Char('/');
    return folder + m_filename;
}

bool FeedDownload::episodeStandsAsLeft() const
{
    const auto last = m_context.store ? m_context.store->episode(m_row) : std::nullopt;
    return last && last->destination == destination() && standsAsLeft(QFileInfo(destination()), *last);
}

void FeedDownload::feedRead()
{
    if (m_reader->NotModified()) {
        if (episodeStandsAsLeft()) {
            finish(FeedDownloadOutcome::Unchanged);
            return;
        }
        readFeed(false); // the file went or changed: the feed again, in full
        return;
    }
    if (m_context.store) {
        const FeedReader::DocumentVersion &version = m_reader->documentVersion();
        if (m_reader->LastHTTPStatus() == 200 && (!version.etag.isEmpty() || !version.lastModified.isEmpty()))
            m_context.store->saveFeedDocument(m_row, {m_feedUrl, version.answeredUrl, version.etag,
                                                      version.lastModified});
        else
            m_context.store->forgetFeedDocument(m_row);
    }
    const auto items = m_reader->FeedItems();
    const FeedItem *first = items && !items->empty() ? &items->front() : nullptr;
    const QString episodeUrl = first ? first->url() : QString();
    if (episodeUrl.isEmpty()) {
        m_outcome.retryAfterSeconds = m_reader->retryAfterSeconds();
        finish(FeedDownloadOutcome::NoEpisode, readerFailure(*m_reader));
        return;
    }
    // A file where the folder should be is no place to save into either.
    if (!IsFolder(m_folder)) {
        m_outcome.folder = m_folder;
        finish(FeedDownloadOutcome::MissingFolder);
        return;
    }
    m_request = TransferRequest();
    m_request.url = episodeUrl;
    m_request.localPath = destination();
    addValidators(m_context.store, m_row, m_request);
    m_transfer = std::make_unique<EpisodeTransfer>(m_context.network, m_request);
    connect(m_transfer.get(), &EpisodeTransfer::progress, this, &FeedDownload::progress);
    connect(m_transfer.get(), &EpisodeTransfer::finished, this, &FeedDownload::transferEnded);
    m_transfer->start();
}

void FeedDownload::transferEnded()
{
    const TransferOutcome &outcome = m_transfer->outcome();
    rememberEpisode(m_context.store, m_row, m_request, outcome);
    switch (outcome.kind) {
    case TransferOutcome::Kind::Downloaded:
        m_outcome.episodeFile = m_request.localPath;
        m_outcome.episodeUrl = m_request.url;
        finish(FeedDownloadOutcome::Downloaded);
        break;
    case TransferOutcome::Kind::Unchanged:
        finish(FeedDownloadOutcome::Unchanged);
        break;
    case TransferOutcome::Kind::Failed:
        m_outcome.retryAfterSeconds = outcome.retryAfterSeconds;
        finish(FeedDownloadOutcome::TransferFailed, outcome.failure);
        break;
    }
}

void FeedDownload::abort()
{
    if (m_finished)
        return;
    if (m_transfer) {
        m_transfer->abort(); // its end finishes the job
        return;
    }
    m_reader.reset();
    finish(FeedDownloadOutcome::TransferFailed, {Failure::Kind::Stopped, 0, QStringLiteral("the download was stopped")});
}

void FeedDownload::finish(FeedDownloadOutcome::Kind kind, const Failure &failure)
{
    if (m_finished)
        return;
    m_finished = true;
    m_outcome.kind = kind;
    m_outcome.failure = failure;
    Q_EMIT finished();
}

QString FeedDownloadMessage(const FeedDownloadOutcome &outcome)
{
    switch (outcome.kind) {
    case FeedDownloadOutcome::MissingDetails:
        return QStringLiteral("No folder, filename or feed URL specied on this feed");
    case FeedDownloadOutcome::NoEpisode:
        return QStringLiteral("No url found on this feed.");
    case FeedDownloadOutcome::MissingFolder:
        return QStringLiteral("(") + outcome.folder + QStringLiteral(") Folder does not exists.");
    case FeedDownloadOutcome::Downloaded:
    case FeedDownloadOutcome::Unchanged:
        return QStringLiteral("Done.");
    case FeedDownloadOutcome::TransferFailed:
        break;
    }
    return QStringLiteral("Download Failed.");
}

QString FeedDownloadReport(const FeedDownloadOutcome &outcome)
{
    const QString message = FeedDownloadMessage(outcome);
    const QString why = outcome.kind == FeedDownloadOutcome::Unchanged
        ? QStringLiteral("unchanged since the last download")
        : outcome.failure.text();
    return why.isEmpty() ? message : message + QStringLiteral(" (") + why + u')';
}

QString LastDownload::report() const
{
    const QString words = FeedDownloadReport(outcome);
    return afterDownload.isEmpty() ? words : words + QStringLiteral(" (") + afterDownload + u')';
}

} // namespace tidewell
