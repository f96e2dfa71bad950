#pragma once

#include <QElapsedTimer>
#include "DownloadOutcome.h"

#include <QString>

#include <optional>
#include <unordered_map>
#include <vector>

namespace tidewell {

class ScheduleStore;

// What time it is. The program passes the system's clocks; tests pass one
// they move by hand.
class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds since the epoch: what due times are kept in, so that time
    // asleep and time switched off count.
    virtual qint64 nowMs() const = 0;
    // Milliseconds on a clock that stands still while the computer sleeps:
    // the wall clock running ahead of it means the computer has just woken.
    virtual qint64 monotonicMs() const = 0;
};

// The program's minute: 60 seconds, unless TIDEWELL_SECONDS_PER_MINUTE makes
// it shorter to try a schedule out (intervals and retries alike).
qint32 SecondsPerMinute();

class SystemClock : public Clock
{
public:
    SystemClock();
    qint64 nowMs() const override;
    qint64 monotonicMs() const override;

private:
    QElapsedTimer m_monotonic;
};

// A feed's row in the feed table. The schedule knows a feed by it, so two
// feeds of one name each keep their own.
using FeedRow = qint64;

// A feed as the schedule sees it.
struct ScheduledFeed
{
    FeedRow row = 0;
    QString name;
    QString host;               // of the feed's URL, for the queue's limit per host
    qint32 intervalSeconds = 0; // 0 or less is never due
    bool active = false;
    bool operator==(const ScheduledFeed &) const = default;
};

// The next try of a feed whose scheduled download failed.
struct Retry
{
    qint64 atMs = 0;
    int attempt = 0;          // the try it will be: 2 for the first retry
    bool serverAsked = false; // the server gave the time (Retry-After)
};

// "retry at 06:04 (attempt 3)", the date in front when it is not today.
QString RetryText(const Retry &retry, qint64 nowMs);

// How a download ended, as far as its feed's schedule goes.
struct DownloadResult
{
    LastDownload last;
    bool scheduled = true;  // it ran because the feed was due, not by hand
    bool retryable = false; // a failure that trying again may mend
    std::optional<qint64> retryAfterSeconds; // the server asked us to wait so long
};

// Every feed's schedule, for the window and the headless scheduler alike.
// Each active feed has a due time on the wall clock, so time asleep counts,
// a clock set back never shows more than the interval left, and a tick that
// comes late or twice changes nothing. After a scheduled download the next
// due time is the one before plus the interval, whole missed intervals
// skipped, so a daily feed set up at 06:00 stays at 06:00. A failed
// scheduled download is tried again after 1, 2, 4, 8, 16, 32 and then every
// 60 of the program's minutes, never later than the next due time. The
// engine only keeps time; the driver asks it which feeds are due and runs
// them. With a store the schedule outlives the program: it is written when
// counting starts, when the list changes and when a download ends, never per
// tick.
class CountdownEngine
{
public:
    explicit CountdownEngine(const Clock &clock, ScheduleStore *store = nullptr, qint32 secondsPerMinute = 60);

    // The feed list, in list order, read again. Each feed that stays,
    // unchanged, keeps its schedule; a changed one starts from zero; one not
    // known yet takes what the store kept of it (that is how a start resumes);
    // the store forgets feeds that have left the list.
    void setFeeds(const std::vector<ScheduledFeed> &feeds);

    enum class Start
    {
        FromZero, // every count starts now, as "Turn On" does
        Resume,   // each feed goes on from its stored due time (the program's start)
    };
    // Starts counting. Resuming, a feed that fell due while the program was
    // not running is due at once; a feed with no stored due time, or one kept
    // for another interval, starts now.
    void start(Start how);
    // Stops counting and forgets every due time: the next start has nothing
    // to resume.
    void stop();
    bool isCounting() const { return m_counting; }

    int size() const { return static_cast<int>(m_entries.size()); }
    const ScheduledFeed &feed(int index) const { return at(index).feed; }
    int indexOf(FeedRow row) const;

    // The countdown as the list shows it: the interval less the time left to
    // the next try, in whole seconds; a feed that is never due counts up.
    qint32 elapsedSeconds(int index);
    // Counting, active, not claimed by a download, and its next try has come.
    bool isDue(int index);
    // Every due feed, in the order they fell due.
    std::vector<int> dueFeeds();
    // When the feed will next be tried, a retry or its regular time; nothing
    // when it never is, or when a download has claimed it. Not counting, the
    // time the store kept (a look at the schedule of another run).
    std::optional<qint64> nextTryMs(int index);
    const std::optional<Retry> &retry(int index) const { return at(index).retry; }
    const std::optional<LastDownload> &lastDownload(int index) const { return at(index).last; }
    // What the command run after the feed's last download said when it
    // failed; kept with that download's outcome.
    void noteAfterDownload(FeedRow row, const QString &failure);

    // A download has the feed (waiting for its turn or running): it is not
    // due again until the download ends.
    void claim(int index);
    bool isClaimed(int index) const { return at(index).claimed; }
    // The download was cut short by the program's end: no outcome, and the
    // feed stays due for the next start.
    void releaseClaim(FeedRow row);
    // The one rule of a download's end: the outcome becomes the feed's last
    // download; a scheduled one moves the due time on, and a failure that may
    // mend is tried again. A success, scheduled or not, ends the retries.
    void downloadEnded(FeedRow row, const DownloadResult &result);
    // The network is back, or the computer has woken: every retry that is
    // waiting runs now, except those whose time the server gave.
    void retryNow();

private:
    struct Entry
    {
        ScheduledFeed feed;
        std::optional<qint64> dueMs; // the regular due time, while counting
        qint64 countedFromMs = 0;    // for a feed that is never due: what its count shows
        int failures = 0;            // scheduled downloads failed in a row
        std::optional<Retry> retry;
        std::optional<LastDownload> last;
        bool claimed = false;
    };

    const Entry &at(int index) const { return m_entries.at(static_cast<std::size_t>(index)); }
    Entry &at(int index) { return m_entries.at(static_cast<std::size_t>(index)); }
    Entry fromStore(const ScheduledFeed &feed) const;
    void startFromZero(Entry &entry) const;
    void followClock(Entry &entry) const;
    std::optional<qint64> nextTry(const Entry &entry) const;
    void scheduleRetry(Entry &entry, std::optional<qint64> retryAfterSeconds) const;
    qint64 minutesMs(qint64 minutes) const { return minutes * m_secondsPerMinute * 1000; }
    qint64 intervalMs(const Entry &entry) const { return qint64{entry.feed.intervalSeconds} * 1000; }
    bool counts(const Entry &entry) const { return entry.feed.active && entry.feed.intervalSeconds > 0; }
    void save(const Entry &entry);
    qint64 now() const { return m_clock.nowMs(); }

    const Clock &m_clock;
    ScheduleStore *m_store;
    qint32 m_secondsPerMinute;
    std::vector<Entry> m_entries;
    std::unordered_map<FeedRow, int> m_indexOfRow;
    bool m_counting = false;
};

} // namespace tidewell
