#pragma once

#include "CountdownEngine.h"
#include "FeedDownloadJob.h"
#include "RuntimeError.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <map>
#include <optional>

namespace tidewell {

class AfterDownloadCommand;
class ScheduleStore;

// How a download ended, as the driver tells its owner.
struct DownloadEnd
{
    FeedRow row = 0;
    QString feed; // its name
    bool scheduled = true;
    FeedDownloadOutcome outcome;
    LastDownload last;          // when, and the outcome in words
    std::optional<Retry> retry; // when a failure is tried again
    // A run-time error that ended the job before it got going (a feed whose
    // row cannot be read), for the window's error report.
    std::optional<RuntimeError> error;
};

// The one scheduler of the window and of the headless mode. The engine says
// which feeds are due; the driver starts their downloads, at most four at
// once and two per host, the rest waiting in the order they fell due; it
// applies each outcome and the retry rule, and tells its owner through its
// signals. Nothing in it waits: a download ends whenever it ends, and its
// outcome is kept and told at once, whatever dialog is open.
class ScheduleDriver : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxRunning = 4;
    static constexpr int maxPerHost = 2;

    struct Environment
    {
        const Clock &clock;
        ScheduleStore *store = nullptr;
        DownloadFactory makeDownload;
        qint32 secondsPerMinute = 60; // shorter in tests, for intervals and retries alike
        // The longest the driver sleeps between looks at the clock, which is
        // how it notices a wake from sleep; 0 never wakes on its own.
        int tickMilliseconds = 1000;
        // The user's command after each new episode, read at each one (empty:
        // none), and what runs it; it may outlive the driver.
        std::function<QString()> afterDownloadCommand = {};
        AfterDownloadCommand *afterDownload = nullptr;
    };

    explicit ScheduleDriver(Environment environment, QObject *parent = nullptr);
    ~ScheduleDriver() override;

    CountdownEngine &engine() { return m_engine; }
    const CountdownEngine &engine() const { return m_engine; }

    // The feed list, read again (see CountdownEngine::setFeeds). A feed that
    // left the list stops waiting; its running download goes on.
    void setFeeds(const std::vector<ScheduledFeed> &feeds);
    // Counting on and off ("Turn On"/"Turn Off", the program's start). Off,
    // the feeds waiting for their turn stop waiting; running downloads end
    // as they will, and so does any download asked for by hand.
    void start(CountdownEngine::Start how);
    void stop();
    // The program ends: every download stops at once, and none of them is an
    // outcome; each such feed stays due for the next start.
    void shutDown();
    // Another copy is to take the schedule: nothing more starts, feeds
    // waiting for their turn stay due with their counts kept, and running
    // downloads end as they will (their ends still come as ended()).
    void holdBack();

    // Starts every due feed, or queues it behind the downloads running.
    void runDue();
    // The scheduled download of one feed, now (the window's tick found it due).
    void downloadScheduled(FeedRow row);
    enum class Manual
    {
        Started,
        Waiting,    // for a free place; it goes first
        Downloading, // the feed is downloading already: nothing more starts
        Unknown,
    };
    // A download asked for by hand (the button, --download): its end comes
    // as ended() for its row. A feed waiting for its scheduled turn goes
    // first instead.
    Manual downloadNow(FeedRow row);
    bool isRunning(FeedRow row) const { return m_running.contains(row); }
    bool isWaiting(FeedRow row) const;
    int runningCount() const { return static_cast<int>(m_running.size()); }

    // Reachability as the system reports it: turning online runs every retry
    // that is waiting at once.
    void reachabilityChanged(bool online);
    // Follows the system's reachability for as long as the driver lives.
    void followNetwork();

Q_SIGNALS:
    void waiting(FeedRow row);
    void started(FeedRow row);
    void progress(FeedRow row, qint64 received, qint64 total);
    void ended(const DownloadEnd &end);
    // The command run after a new episode failed: the feed's last download
    // now reads `report` ("Done. (after-download command failed: ...)").
    void reportAmended(FeedRow row, const QString &feed, const QString &report);
    // The command run after the row's new episode has ended, however it went.
    void afterDownloadDone(FeedRow row);
    // shutDown() has stopped everything: nothing ends any more.
    void shutDownDone();

private:
    struct Waiting
    {
        FeedRow row = 0;
        QString host;
        bool scheduled = true;
        bool byHand = false; // a scheduled one too, once its turn is taken by hand
    };
    struct Running
    {
        DownloadJob *job = nullptr; // a child of the driver
        QString feed;
        QString host;
        bool scheduled = true;
    };

    void wake();
    void noticeSleep();
    void enqueue(int index, bool scheduled);
    void pump();
    bool startNextThatFits();
    void launch(const Waiting &next);
    void jobEnded(FeedRow row);
    void end(FeedRow row, const Running &ran, const FeedDownloadOutcome &outcome,
             const std::optional<RuntimeError> &error);
    void scheduleWake();
    void runAfterDownload(const DownloadEnd &end);

    Environment m_environment;
    CountdownEngine m_engine;
    std::deque<Waiting> m_waiting;
    std::map<FeedRow, Running> m_running;
    QTimer m_wakeUp;
    qint64 m_lastWallMs = 0;
    qint64 m_lastMonotonicMs = 0;
    bool m_online = true;
    bool m_pumping = false;
    bool m_pumpAgain = false;
    bool m_shutDown = false;
    bool m_holding = false;
};

} // namespace tidewell
