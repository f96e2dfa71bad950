#include "FeedDownloadJob.h"

#include "Connection.h"
#include "ErrorTrap.h"
#include "FeedReader.h"
#include "PathHelpers.h"
#include "RecordSet.h"
#include "Statements.h"

#include <optional>

namespace tidewell {
namespace {

struct FeedDetails
{
    QString folder;
    QString filename;
    QString url;
};

// Runs one step of the job, through the trap when there is one.
template <typename Step>
void run(ErrorTrap *onError, Step &&step)
{
    if (onError)
        (*onError)(0, std::forward<Step>(step));
    else
        step();
}

FeedDetails lookUp(Connection &dbConn, const QString &name, ErrorTrap *onError)
{
    FeedDetails details;
    RecordSet records;
    run(onError, [&] { records.Open(statements::feedNamed(name), dbConn, adodb::OpenStatic, adodb::LockReadOnly); });
    bool found = false;
    run(onError, [&] { found = !records.Eof(); });
    if (found) {
        run(onError, [&] { details.folder = records.Fields(QStringLiteral("folder")).toText(); });
        run(onError, [&] { details.filename = records.Fields(QStringLiteral("filename")).toText(); });
        run(onError, [&] { details.url = records.Fields(QStringLiteral("url")).toText(); });
    }
    if (records.State() != 0)
        records.Close();
    return details;
}

QString firstEpisodeUrl(const QString &feedUrl)
{
    FeedReader reader;
    int type = 0;
    // The result is not looked at: a feed answered with another status than
    // 200 may still have yielded its items.
    reader.ReadFeed(feedUrl, QString(), QString(), type, false);
    const auto items = reader.FeedItems();
    return items && !items->empty() ? items->front().url() : QString();
}

} // namespace

FeedDownloadOutcome DownloadFeedEpisode(Connection &dbConn, const QString &name, ErrorTrap *onError,
                                        const TransferProgress &progress)
{
    FeedDownloadOutcome outcome;
    const FeedDetails feed = lookUp(dbConn, name, onError);
    if (feed.folder.isEmpty() || feed.filename.isEmpty() || feed.url.isEmpty())
        return outcome;

    QString episodeUrl;
    run(onError, [&] { episodeUrl = firstEpisodeUrl(feed.url); });
    if (episodeUrl.isEmpty()) {
        outcome.kind = FeedDownloadOutcome::NoEpisode;
        return outcome;
    }

    // A file where the folder should be is no place to save into either.
    if (!IsFolder(feed.folder)) {
        outcome.kind = FeedDownloadOutcome::MissingFolder;
        outcome.folder = feed.folder;
        return outcome;
    }
    const QString folder = feed.folder.endsWith(QLatin1Char('/')) ? feed.folder : feed.folder + QLatin1Char('/');

    bool transferred = false;
    run(onError, [&] { transferred = DownloadFile(episodeUrl, folder + feed.filename, progress); });
    outcome.kind = transferred ? FeedDownloadOutcome::Downloaded : FeedDownloadOutcome::TransferFailed;
    return outcome;
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
        return QStringLiteral("Done.");
    case FeedDownloadOutcome::TransferFailed:
        break;
    }
    return QStringLiteral("Download Failed.");
}

} // namespace tidewell
