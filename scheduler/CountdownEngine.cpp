#include "CountdownEngine.h"

#include "ScheduleStore.h"

#include <QDateTime>

#include <algorithm>
#include <limits>
#include <map>

namespace tidewell {

qint64 SystemClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

CountdownEngine::CountdownEngine(const Clock &clock, ScheduleStore *store) : m_clock(clock), m_store(store) {}

std::vector<CountdownEngine::Entry> CountdownEngine::entriesFor(const std::vector<ScheduledFeed> &feeds) const
{
    std::vector<Entry> entries;
    std::map<QString, int> seen;
    const qint64 started = now();
    const auto stored = m_store ? m_store->lastDownloads() : std::map<QString, ScheduleStore::LastDownload>();
    for (const ScheduledFeed &feed : feeds) {
        Entry entry;
        entry.feed = feed;
        entry.ordinal = seen[feed.name]++;
        entry.startedMs = started;
        if (const auto last = stored.find(feed.name); last != stored.end())
            entry.last = LastDownload{last->second.whenMs, last->second.succeeded, last->second.report};
        entries.push_back(entry);
    }
    return entries;
}

void CountdownEngine::start(const std::vector<ScheduledFeed> &feeds, Start how)
{
    std::vector<Entry> entries = entriesFor(feeds);
    // Downloads still running keep their feeds busy whatever the counts say.
    for (Entry &entry : entries) {
        for (const Entry &old : m_entries) {
            if (old.download != 0 && old.feed.name == entry.feed.name && old.ordinal == entry.ordinal)
                entry.download = old.download;
        }
    }
    if (how == Start::Resume && m_store) {
        const qint64 started = now();
        // The first overdue feed is due at the first tick, a second later.
        qint64 nextOverdue = started + 1000;
        std::map<std::pair<QString, int>, Entry *> byFeed;
        for (Entry &entry : entries)
            byFeed[{entry.feed.name, entry.ordinal}] = &entry;
        for (const ScheduleStore::Count &stored : m_store->counts()) {
            const auto found = byFeed.find({stored.name, stored.ordinal});
            if (found != byFeed.end() && found->second->feed.intervalSeconds == stored.intervalSeconds)
                found->second->startedMs = std::min(stored.startedMs, started);
        }
        for (Entry &entry : entries) {
            const qint64 intervalMs = qint64{entry.feed.intervalSeconds} * 1000;
            if (!entry.feed.active || intervalMs <= 0 || entry.startedMs + intervalMs > started)
                continue;
            entry.startedMs = nextOverdue - intervalMs;
            nextOverdue += 1000;
        }
    }
    m_entries = std::move(entries);
    m_counting = true;
    saveCounts();
}

void CountdownEngine::stop()
{
    m_counting = false;
    // The next start counts from zero: nothing stored is due any more.
    if (m_store)
        m_store->saveCounts({});
    // Running downloads are remembered until they end; the counts are not.
    std::erase_if(m_entries, [](const Entry &entry) { return entry.download == 0; });
}

void CountdownEngine::rebind(const std::vector<ScheduledFeed> &feeds)
{
    std::vector<Entry> entries = entriesFor(feeds);
    std::vector<bool> taken(m_entries.size(), false);
    const auto claim = [&](auto &&matches) {
        for (std::size_t old = 0; old < m_entries.size(); ++old) {
            if (!taken[old] && matches(m_entries[old])) {
                taken[old] = true;
                return &m_entries[old];
            }
        }
        return static_cast<Entry *>(nullptr);
    };
    for (Entry &entry : entries) {
        if (Entry *old = claim([&](const Entry &o) { return o.feed == entry.feed; })) {
            entry.startedMs = old->startedMs;
            entry.download = old->download;
        }
    }
    // A changed feed starts from zero, but a download it has running stays
    // its own, so the feed is not fetched twice at once.
    for (Entry &entry : entries) {
        if (entry.download != 0)
            continue;
        if (Entry *old = claim([&](const Entry &o) {
                return o.download != 0 && o.feed.name == entry.feed.name;
            }))
            entry.download = old->download;
    }
    m_entries = std::move(entries);
    if (m_counting)
        saveCounts();
}

qint32 CountdownEngine::elapsedSeconds(int index)
{
    Entry &counted = entry(index);
    const qint64 current = now();
    // A clock set back: the count starts again from here rather than show
    // more than the whole interval left.
    if (counted.startedMs > current)
        counted.startedMs = current;
    const qint64 seconds = (current - counted.startedMs) / 1000;
    return static_cast<qint32>(std::min<qint64>(seconds, std::numeric_limits<qint32>::max()));
}

bool CountdownEngine::isDue(int index)
{
    const Entry &counted = entry(index);
    return m_counting && counted.feed.active && counted.download == 0 && counted.feed.intervalSeconds > 0
        && elapsedSeconds(index) >= counted.feed.intervalSeconds;
}

std::vector<int> CountdownEngine::dueFeeds()
{
    std::vector<int> due;
    for (int index = 0; index < size(); ++index) {
        if (isDue(index))
            due.push_back(index);
    }
    return due;
}

std::optional<qint64> CountdownEngine::nextDueMs(int index) const
{
    const Entry &counted = m_entries.at(static_cast<std::size_t>(index));
    if (!m_counting || !counted.feed.active || counted.download != 0 || counted.feed.intervalSeconds <= 0)
        return std::nullopt;
    return counted.startedMs + qint64{counted.feed.intervalSeconds} * 1000;
}

CountdownEngine::Token CountdownEngine::downloadStarted(int index)
{
    entry(index).download = ++m_lastToken;
    return m_lastToken;
}

bool CountdownEngine::isDownloading(int index) const
{
    return m_entries.at(static_cast<std::size_t>(index)).download != 0;
}

int CountdownEngine::indexOf(Token token) const
{
    for (std::size_t index = 0; index < m_entries.size(); ++index) {
        if (m_entries[index].download == token)
            return static_cast<int>(index);
    }
    return -1;
}

int CountdownEngine::downloadEnded(Token token, const LastDownload &outcome)
{
    const int index = indexOf(token);
    if (index < 0)
        return -1;
    Entry &ended = entry(index);
    ended.download = 0;
    recordOutcome(ended.feed.name, outcome);
    if (!m_counting) {
        // Turned off meanwhile: it was kept only for this moment.
        m_entries.erase(m_entries.begin() + index);
        return -1;
    }
    return index;
}

void CountdownEngine::restartCount(int index)
{
    Entry &restarted = entry(index);
    restarted.startedMs = now();
    save(restarted);
}

void CountdownEngine::recordOutcome(const QString &feed, const LastDownload &outcome)
{
    for (Entry &entry : m_entries) {
        if (entry.feed.name == feed)
            entry.last = outcome;
    }
    if (m_store)
        m_store->saveLastDownload(feed, {outcome.whenMs, outcome.succeeded, outcome.report});
}

const std::optional<LastDownload> &CountdownEngine::lastDownload(int index) const
{
    return m_entries.at(static_cast<std::size_t>(index)).last;
}

void CountdownEngine::saveCounts()
{
    if (!m_store)
        return;
    std::vector<ScheduleStore::Count> counts;
    for (const Entry &entry : m_entries)
        counts.push_back({entry.feed.name, entry.ordinal, entry.feed.intervalSeconds, entry.startedMs});
    m_store->saveCounts(counts);
}

void CountdownEngine::save(const Entry &entry)
{
    if (m_store)
        m_store->saveCount({entry.feed.name, entry.ordinal, entry.feed.intervalSeconds, entry.startedMs});
}

} // namespace tidewell
