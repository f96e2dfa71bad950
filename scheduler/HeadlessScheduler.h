#pragma once

#include "CountdownEngine.h"
#include "FeedDownloadJob.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace tidewell {

class Connection;
class MessageBox;
class Network;
class ScheduleStore;

// The countdowns of the main window without the window: every active feed
// of the table counts its own interval and is downloaded when due; its count
// starts again once the download has ended. Downloads run side by side on
// the event loop, so a slow one holds up no other feed's count or file.
class HeadlessScheduler : public QObject
{
public:
    // The feed and its outcome in words, with the reason when there is one.
    using Report = std::function<void(const QString &feed, const QString &outcome)>;

    struct Environment
    {
        Connection &dbConn;
        Network &network;
        MessageBox &reports;
        const Clock &clock;
        ScheduleStore *store = nullptr;
        qint32 secondsPerMinute = 60; // shorter in tests
    };

    HeadlessScheduler(Environment environment, Report report);
    ~HeadlessScheduler() override;

    // Reads the feed table again. Feeds that are still there, unchanged, keep
    // their counts; new or changed ones start from zero; removed ones stop.
    // False when the table could not be read: the feeds and counts stay.
    bool reload();
    // Starts counting, each feed from where its stored count stands.
    void start(int tickMilliseconds = 1000);
    // One wake-up: starts the download of every feed that is due.
    void tick();
    // Stops for good: every running download ends, leaving each old episode
    // alone, and is neither reported nor kept as the feed's last outcome.
    void stop();

    int feedCount() const { return m_engine.size(); }

    // True when the data file was just made from the blank template; the
    // first reading then points the feeds at the desktop, as the window does.
    void setNewDatabase(bool value) { m_newDatabase = value; }

private:
    bool readFeeds(std::vector<ScheduledFeed> &feeds);
    void download(int index);
    void downloadEnded(CountdownEngine::Token token);
    void finishDownload(CountdownEngine::Token token, const LastDownload &outcome);
    void scheduleWakeUp();

    Environment m_environment;
    Report m_report;
    CountdownEngine m_engine;
    std::map<CountdownEngine::Token, std::unique_ptr<FeedDownload>> m_downloads;
    bool m_newDatabase = false;
    bool m_stopping = false;
    int m_tickMilliseconds = 0; // 0 until started
    QTimer m_timer;
};

} // namespace tidewell
