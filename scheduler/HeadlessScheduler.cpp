#include "HeadlessScheduler.h"

#include "ErrorTrap.h"
#include "FeedList.h"
#include "RuntimeError.h"

namespace tidewell {

HeadlessScheduler::HeadlessScheduler(Connection &dbConn, MessageBox &reports, qint32 secondsPerMinute, Report report)
    : m_dbConn(dbConn), m_reports(reports), m_secondsPerMinute(secondsPerMinute), m_report(std::move(report))
{
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
}

void HeadlessScheduler::reload()
{
    ErrorTrap onError(m_reports, QStringLiteral("Headless"), QStringLiteral("listPodCast"));
    std::vector<TimedFeed> feeds;
    for (const FeedListRow &row : ReadFeedList(m_dbConn, onError, m_newDatabase)) {
        TimedFeed feed;
        feed.name = row.name;
        feed.interval = row.minute ? qint32{*row.minute} * m_secondsPerMinute : 0;
        feed.active = row.active == QStringLiteral("Yes");
        if (const TimedFeed *old = find(feed.name);
            old && old->interval == feed.interval && old->active == feed.active) {
            feed.elapsed = old->elapsed;
            feed.downloading = old->downloading;
        }
        feeds.push_back(feed);
    }
    m_feeds = std::move(feeds);
}

void HeadlessScheduler::start(int tickMilliseconds)
{
    m_timer.start(tickMilliseconds);
}

HeadlessScheduler::TimedFeed *HeadlessScheduler::find(const QString &name)
{
    for (TimedFeed &feed : m_feeds) {
        if (feed.name == name)
            return &feed;
    }
    return nullptr;
}

void HeadlessScheduler::tick()
{
    // A download below waits on an event loop, inside which ticks and
    // reloads go on; so feeds are looked up by name, never held by position.
    QStringList due;
    for (TimedFeed &feed : m_feeds) {
        if (!feed.active || feed.downloading)
            continue;
        if (++feed.elapsed == feed.interval)
            due << feed.name;
    }
    for (const QString &name : due)
        download(name);
}

void HeadlessScheduler::download(const QString &name)
{
    if (TimedFeed *feed = find(name))
        feed->downloading = true;
    QString outcome;
    try {
        outcome = FeedDownloadMessage(DownloadFeedEpisode(m_dbConn, name));
    } catch (const RuntimeError &error) {
        outcome = QStringLiteral("Download Failed. (%1)").arg(error.description());
    }
    if (TimedFeed *feed = find(name)) {
        feed->downloading = false;
        feed->elapsed = 0;
    }
    m_report(name, outcome);
}

} // namespace tidewell
