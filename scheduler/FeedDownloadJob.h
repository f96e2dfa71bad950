#pragma once

#include "EpisodeTransfer.h"
#include "RuntimeError.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tidewell {

class FeedReader;
class FeedStore;
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
// "Download Failed. (HTTP 404 Not Found)".
QString FeedDownloadReport(const FeedDownloadOutcome &outcome);

// Where a download job finds what it needs. The store, when there is one,
// remembers the file each feed last got, so that an unchanged episode is
// confirmed with the server instead of fetched again.
struct FeedDownloadContext
{
    FeedStore &feeds;
    Network &network;
    ScheduleStore *store = nullptr;
};

// One download of a feed's current episode, as the scheduling driver runs
// it: started, perhaps aborted, and finished with an outcome. Tests stand in
// their own.
class DownloadJob : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // By hand, each run-time error of the look-up is kept in the outcome
    // and the job goes on, as the button's handler has it; scheduled, the
    // first one ends the job and reaches the caller. May finish before it
    // returns: connect first.
    virtual void start(bool byHand) = 0;
    // Ends the job at once, leaving the old episode as it was.
    virtual void abort() = 0;
    virtual bool isFinished() const = 0;
    virtual const FeedDownloadOutcome &outcome() const = 0;

Q_SIGNALS:
    void progress(qint64 received, qint64 total);
    void finished();
};

// Makes the job that downloads the feed of a row.
using DownloadFactory = std::function<std::unique_ptr<DownloadJob>(qint64 row)>;

// Downloads the current episode of the feed in that row of the table: looks
// it up, reads the feed, takes the first item's URL and transfers it to
// folder/filename. The look-up runs at once in start(); the feed and the
// episode then travel on the event loop, and finished() tells the end.
class FeedDownload : public DownloadJob
{
    Q_OBJECT

public:
    FeedDownload(FeedDownloadContext context, qint64 row, QObject *parent = nullptr);
    ~FeedDownload() override;

    void start(bool byHand) override;
    void abort() override;
    bool isFinished() const override { return m_finished; }
    const FeedDownloadOutcome &outcome() const override { return m_outcome; }

private:
    void readFeed(bool conditional);
    void feedRead();
    bool episodeStandsAsLeft() const;
    QString destination() const;
    void transferEnded();
    void finish(FeedDownloadOutcome::Kind kind, const QString &reason = {});

    FeedDownloadContext m_context;
    qint64 m_row;
    QString m_folder;
    QString m_filename;
    QString m_feedUrl;
    TransferRequest m_request;
    std::unique_ptr<FeedReader> m_reader;
    std::unique_ptr<EpisodeTransfer> m_transfer;
    FeedDownloadOutcome m_outcome;
    bool m_finished = false;
};

} // namespace tidewell
