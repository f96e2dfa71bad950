#pragma once

#include "DownloadOutcome.h"
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
    void finish(FeedDownloadOutcome::Kind kind, const Failure &failure = {});

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
