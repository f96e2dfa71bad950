#pragma once

#include "EpisodeTransfer.h"

#include <QObject>
#include <QString>

#include <memory>

namespace tidewell {

class Connection;
class ErrorTrap;
class FeedReader;
class Network;
class ScheduleStore;

// What one run of the feed download job came to, and why.
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
    // Why, in words, when there is more to say than the message: the feed's
    // HTTP status or network error, or the transfer's.
    QString reason;

    bool succeeded() const { return kind == Downloaded || kind == Unchanged; }
};

// The message "Start Downloading Selected" shows for an outcome: one of its
// five, word for word ("Done." also when the episode was already current).
QString FeedDownloadMessage(const FeedDownloadOutcome &outcome);
// The message with its reason, for the places that have room for one:
// "Download Failed. (HTTP 404 Not Found)".
QString FeedDownloadReport(const FeedDownloadOutcome &outcome);

// Where a download job finds what it needs. The store, when there is one,
// remembers the file each feed last got, so that an unchanged episode is
// confirmed with the server instead of fetched again.
struct FeedDownloadContext
{
    Connection &dbConn;
    Network &network;
    ScheduleStore *store = nullptr;
};

// Downloads the current episode of the feed of that name: looks it up,
// reads the feed, takes the first item's URL and transfers it to
// folder/filename. The look-up runs at once in start(); the feed and the
// episode then travel on the event loop, and finished() tells the end.
class FeedDownload : public QObject
{
    Q_OBJECT

public:
    FeedDownload(FeedDownloadContext context, QString name, QObject *parent = nullptr);
    ~FeedDownload() override;

    // With a trap, each step of the look-up reports its own run-time error
    // and the job goes on, as the button's handler does; without one, the
    // first run-time error ends the job and reaches the caller, as the
    // scheduler wants. May finish before it returns: connect first.
    void start(ErrorTrap *onError = nullptr);
    void abort();

    const QString &name() const { return m_name; }
    bool isFinished() const { return m_finished; }
    const FeedDownloadOutcome &outcome() const { return m_outcome; }

Q_SIGNALS:
    void progress(qint64 received, qint64 total);
    void finished();

private:
    void feedRead();
    void transferEnded();
    void finish(FeedDownloadOutcome::Kind kind, const QString &reason = {});

    FeedDownloadContext m_context;
    QString m_name;
    QString m_folder;
    QString m_filename;
    TransferRequest m_request;
    std::unique_ptr<FeedReader> m_reader;
    std::unique_ptr<EpisodeTransfer> m_transfer;
    FeedDownloadOutcome m_outcome;
    bool m_finished = false;
};

// The job, waited for on a local event loop (callers must expect re-entry).
FeedDownloadOutcome DownloadFeedEpisode(const FeedDownloadContext &context, const QString &name,
                                        ErrorTrap *onError = nullptr, const TransferProgress &progress = {});

} // namespace tidewell
