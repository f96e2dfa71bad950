#pragma once

#include "DownloadFile.h"

#include <QString>

namespace tidewell {

class Connection;
class ErrorTrap;

// What one run of the feed download job came to.
struct FeedDownloadOutcome
{
    enum Kind {
        MissingDetails, // the feed has no folder, file name or URL
        NoEpisode,      // the feed yielded no item with a URL
        MissingFolder,  // the destination folder does not exist
        Downloaded,
        TransferFailed,
    };
    Kind kind = MissingDetails;
    QString folder; // as stored, for the missing-folder message

    bool succeeded() const { return kind == Downloaded; }
};

// Downloads the current episode of the feed of that name: looks it up,
// reads the feed, takes the first item's URL and transfers it to
// folder/filename. With a trap, each step reports its own run-time error and
// the job goes on, as the button's handler does; without one, the first
// run-time error ends the job and reaches the caller, as the scheduler wants.
FeedDownloadOutcome DownloadFeedEpisode(Connection &dbConn, const QString &name, ErrorTrap *onError = nullptr,
                                        const TransferProgress &progress = {});

// The message "Start Downloading Selected" shows for an outcome.
QString FeedDownloadMessage(const FeedDownloadOutcome &outcome);

} // namespace tidewell
