#pragma once

#include "Failure.h"
#include "RuntimeError.h"

#include <QString>

#include <optional>
#include <vector>

namespace tidewell {

// What one download of a feed's episode came to, and why.
struct FeedDownloadOutcome
{
    enum Kind {
        MissingDetails, // the feed has no folder, file name or URL
        NoEpisode,      // the feed yielded no item with a URL
        MissingFolder,  // the destination folder does not exist
        Downloaded,
        Unchanged,      // the episode standing there is the current one
        TransferFailed,
    };
    Kind kind = MissingDetails;
    QString folder; // as stored, for the missing-folder message
    // Why, when there is more to say than the message: the feed's HTTP
    // status or network error, the answer that was no feed, the transfer's.
    Failure failure;
    // How long the server asked us to wait before asking again (Retry-After
    // of a 429 or 503), in seconds.
    std::optional<qint64> retryAfterSeconds;
    // A new episode: where it now stands, and where it came from.
    QString episodeFile;
    QString episodeUrl;
    // What went wrong looking the feed up, for the error report of the
    // button's handler (a scheduled job ends at the first instead).
    std::vector<RuntimeError> lookUpFailures;

    bool succeeded() const { return kind == Downloaded || kind == Unchanged; }
};

// The message "Start Downloading Selected" shows for an outcome: one of its
// five, word for word ("Done." also when the episode was already current).
QString FeedDownloadMessage(const FeedDownloadOutcome &outcome);
// The message with its reason, for the places that have room for one:
// "Download Failed. (HTTP 404 Not Found)", "Done. (unchanged since the last
// download)".
QString FeedDownloadReport(const FeedDownloadOutcome &outcome);

// How a feed's last download went: when, what it came to, and what a
// command run after it said when it failed.
struct LastDownload
{
    qint64 whenMs = 0;
    FeedDownloadOutcome outcome;
    QString afterDownload; // "after-download command failed: exit 2: ..."

    bool succeeded() const { return outcome.succeeded(); }
    // The outcome in words, as the tooltip, --status and the headless line
    // say it: "Done. (after-download command failed: exit 2: ...)".
    QString report() const;
};

} // namespace tidewell
