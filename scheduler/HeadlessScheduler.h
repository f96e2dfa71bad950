#pragma once

#include "FeedList.h"
#include "ScheduleDriver.h"

#include <QObject>
#include <QString>

#include <functional>

namespace tidewell {

class AfterDownloadCommand;
class FeedStore;
class Network;
class ScheduleStore;

// The window's schedule without the window: the feed table read into the
// scheduling driver, each download's end told as a line.
class HeadlessScheduler : public QObject
{
public:
    // The feed and its outcome in words: the reason when there is one, and
    // when a failure is tried again.
    using Report = std::function<void(const QString &feed, const QString &outcome)>;

    struct Environment
    {
        FeedStore &feeds;
        Network &network;
        const Clock &clock;
        ScheduleStore *store = nullptr;
        qint32 secondsPerMinute = 60; // shorter in tests
        int tickMilliseconds = 1000;
        // The command after each new episode: read at each one, and run by this.
        std::function<QString()> afterDownloadCommand = {};
        AfterDownloadCommand *afterDownload = nullptr;
    };

    HeadlessScheduler(Environment environment, Report report);

    // The feed list, read again. Feeds that are still there, unchanged, keep
    // their counts; new or changed ones start from zero; removed ones stop.
    // The first reading starts counting, each feed from its stored due time.
    // False when the list could not be read: the feeds and counts stay.
    bool reload(const FeedListReading &list);
    // Stops for good: every running download ends, leaving each old episode
    // alone, and is neither reported nor kept as the feed's last outcome.
    void stop();

    int feedCount() const { return m_driver.engine().size(); }
    ScheduleDriver &driver() { return m_driver; }

private:
    Environment m_environment;
    Report m_report;
    ScheduleDriver m_driver;
};

} // namespace tidewell
