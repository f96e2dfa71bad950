#pragma once

#include "FeedDownloadJob.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

namespace tidewell {

class Connection;
class MessageBox;

// The countdowns of the main window without the window: every active feed
// of the table counts its own interval in one-second ticks and is downloaded
// when due; its count starts again once the download has ended.
class HeadlessScheduler : public QObject
{
public:
    using Report = std::function<void(const QString &feed, const QString &outcome)>;

    // secondsPerMinute is 60 but for tests, which shorten the minute.
    HeadlessScheduler(Connection &dbConn, MessageBox &reports, qint32 secondsPerMinute, Report report);

    // Reads the feed table again. Feeds that are still there, unchanged, keep
    // their counts; new or changed ones start from zero; removed ones stop.
    void reload();
    void start(int tickMilliseconds = 1000);
    // One second passes for every active feed.
    void tick();

    int feedCount() const { return static_cast<int>(m_feeds.size()); }

    // True when the data file was just made from the blank template; the
    // first reading then points the feeds at the desktop, as the window does.
    void setNewDatabase(bool value) { m_newDatabase = value; }

private:
    struct TimedFeed
    {
        QString name;
        qint32 interval = 0;
        bool active = false;
        qint32 elapsed = 0;
        bool downloading = false;
    };

    TimedFeed *find(const QString &name);
    void download(const QString &name);

    Connection &m_dbConn;
    MessageBox &m_reports;
    qint32 m_secondsPerMinute;
    Report m_report;
    std::vector<TimedFeed> m_feeds;
    bool m_newDatabase = false;
    QTimer m_timer;
};

} // namespace tidewell
