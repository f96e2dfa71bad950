#pragma once

#include "AfterDownloadCommand.h"
#include "CountdownEngine.h"
#include "HeadlessScheduler.h"
#include "LocalChannel.h"
#include "Network.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <memory>

class QLocalSocket;

namespace tidewell {

class FeedStore;
class RunningCopy;
class ScheduleStore;

// The background service (--headless) and the window take turns: exactly
// one of them schedules a feed list. The service schedules while it holds
// the schedule's lock; a window that starts asks it, on the service's
// channel, to hand over. The service then starts nothing more, lets running
// downloads end (for ten seconds at most; then they stop, leaving the old
// episodes), writes what it knows, lets the lock go and answers. It waits
// until the window has taken the lock and then until it lets it go (the
// window closed, or died), and takes the schedule back from the stored
// counts. A service started while a window schedules waits the same way.
class HeadlessService : public QObject
{
    Q_OBJECT

public:
    struct Environment
    {
        FeedStore &feeds;
        // Reads the feed list, and reports what fails of it.
        std::function<FeedListReading()> readFeedList;
        QString dataFolder;
        qint32 secondsPerMinute = 60;
        std::chrono::milliseconds handOverLimit{10000};
        std::chrono::milliseconds lookEvery{2000}; // for a lock let go
    };

    HeadlessService(Environment environment, RunningCopy &running, HeadlessScheduler::Report report);
    ~HeadlessService() override;

    // Schedules when it may, else waits until it may.
    void start();
    // The feed list was changed: read it again when scheduling. False when it
    // could not be read (everything stays as it was).
    bool reload();
    // For good: nothing more starts or is reported.
    void stop();

    bool isScheduling() const { return m_scheduler != nullptr; }
    int feedCount() const { return m_scheduler ? m_scheduler->feedCount() : 0; }

Q_SIGNALS:
    // A line for the service's log (standard error).
    void said(const QString &line);

private:
    enum class Waiting
    {
        No,
        ForTaker,   // handed over: until the window holds the lock
        ForRelease, // until nobody holds it
    };

    void takeSchedule();
    void handOver(QLocalSocket *client);
    void downloadEnded();
    void finishHandOver();
    void look();

    Environment m_environment;
    RunningCopy &m_running;
    HeadlessScheduler::Report m_report;
    Network m_network;
    SystemClock m_clock;
    // Outlives each turn at the schedule, so a hand-over cuts no command short.
    AfterDownloadCommand m_afterDownload;
    std::unique_ptr<ScheduleStore> m_store;
    std::unique_ptr<HeadlessScheduler> m_scheduler;
    LocalChannel m_channel;
    QPointer<QLocalSocket> m_taker; // the window waiting for the schedule
    QTimer m_handOverLimit;
    QTimer m_look;
    QElapsedTimer m_sinceHandOver;
    Waiting m_waiting = Waiting::No;
    bool m_stopped = false;
};

} // namespace tidewell
