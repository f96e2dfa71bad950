#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace tidewell {

class ScheduleStore;

// What time it is, in milliseconds since the epoch. The program passes the
// wall clock; tests pass one they move by hand.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;
};

class SystemClock : public Clock
{
public:
    qint64 nowMs() const override;
};

// A feed as the schedule sees it.
struct ScheduledFeed
{
    QString name;
    qint32 intervalSeconds = 0; // 0 or less is never due
    bool active = false;
    bool operator==(const ScheduledFeed &) const = default;
};

// How a feed's last download went.
struct LastDownload
{
    qint64 whenMs = 0;
    bool succeeded = false;
    QString report; // the outcome with its reason
};

// Every feed's countdown, for the window and for the headless scheduler
// alike. A count follows the wall clock: it is the time since the count
// started, so time asleep counts, a clock set back never shows more than the
// interval left, and a tick that comes late or twice changes nothing. The
// engine only keeps time; its owner wakes up (once a second), asks which
// feeds are due and runs their downloads. With a store, the counts and the
// last outcomes outlive the program: they are written when counting starts,
// when the list changes and when a download ends, never per tick.
class CountdownEngine
{
public:
    explicit CountdownEngine(const Clock &clock, ScheduleStore *store = nullptr);

    enum class Start
    {
        FromZero, // every count starts now, as "Turn On" does
        Resume,   // each feed goes on from its stored count (the program's start)
    };
    // Starts counting these feeds, in list order. Resuming, a feed that fell
    // due while the program was not running is due at once; several such
    // fall due one a second apart, so they do not all start together. A feed
    // with no stored count, or one kept for another interval, starts now.
    void start(const std::vector<ScheduledFeed> &feeds, Start how);
    void stop();
    bool isCounting() const { return m_counting; }

    // The list was read again. Each feed that is still there, unchanged,
    // keeps its count (rows sharing a name are matched in order, so each
    // keeps its own); a new or changed feed starts from zero; a removed one
    // stops. A download still running stays with its feed's name.
    void rebind(const std::vector<ScheduledFeed> &feeds);

    int size() const { return static_cast<int>(m_entries.size()); }
    const ScheduledFeed &feed(int index) const { return m_entries.at(static_cast<std::size_t>(index)).feed; }

    // Whole seconds since the feed's count started.
    qint32 elapsedSeconds(int index);
    // Active, counting, not downloading, and its interval has passed.
    bool isDue(int index);
    std::vector<int> dueFeeds();
    // When the feed will be due, or nothing (inactive, never due, downloading).
    std::optional<qint64> nextDueMs(int index) const;

    // A download of the feed at `index` starts; the token finds its feed
    // again when it ends, wherever the feed then stands in the list.
    using Token = quint64;
    Token downloadStarted(int index);
    bool isDownloading(int index) const;
    // The download ends and its feed keeps the outcome. Returns where the
    // feed now stands, or -1 when it has gone (or counting has stopped).
    int downloadEnded(Token token, const LastDownload &outcome);
    // The feed's count starts again from zero, as after its download.
    void restartCount(int index);
    // The outcome of a download that was not scheduled (the button, a
    // command): it is the feed's last download, but its count goes on.
    void recordOutcome(const QString &feed, const LastDownload &outcome);
    const std::optional<LastDownload> &lastDownload(int index) const;
    int indexOf(Token token) const;

private:
    struct Entry
    {
        ScheduledFeed feed;
        int ordinal = 0; // among the rows before it with the same name
        qint64 startedMs = 0;
        Token download = 0; // the running download, or 0
        std::optional<LastDownload> last;
    };

    std::vector<Entry> entriesFor(const std::vector<ScheduledFeed> &feeds) const;
    Entry &entry(int index) { return m_entries.at(static_cast<std::size_t>(index)); }
    void saveCounts();
    void save(const Entry &entry);
    qint64 now() const { return m_clock.nowMs(); }

    const Clock &m_clock;
    ScheduleStore *m_store;
    std::vector<Entry> m_entries;
    bool m_counting = false;
    Token m_lastToken = 0;
};

} // namespace tidewell
