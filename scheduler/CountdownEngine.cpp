#include "CountdownEngine.h"

#include "ScheduleStore.h"

#include <QDateTime>

#include <algorithm>
#include <limits>

namespace tidewell {

qint32 SecondsPerMinute()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("TIDEWELL_SECONDS_PER_MINUTE", &ok);
    return ok && seconds > 0 ? seconds : 60;
}
namespace {

// The backoff in the program's minutes after this many failures in a row.
qint64 backoffMinutes(int failures)
{
    return failures <= 6 ? qint64{1} << (failures - 1) : 60;
}

// Whole intervals from `dueMs` until the first due time after `nowMs`.
qint64 nextAfter(qint64 dueMs, qint64 intervalMs, qint64 nowMs)
{
    if (dueMs > nowMs)
        return dueMs;
    return dueMs + ((nowMs - dueMs) / intervalMs + 1) * intervalMs;
}

} // namespace

SystemClock::SystemClock()
{
    m_monotonic.start();
}

qint64 SystemClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

qint64 SystemClock::monotonicMs() const
{
    return m_monotonic.elapsed();
}

QString RetryText(const Retry &retry, qint64 nowMs)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(retry.atMs);
    const bool today = at.date() == QDateTime::fromMSecsSinceEpoch(nowMs).date();
    return QStringLiteral("retry at %1 (attempt %2)")
        .arg(at.toString(today ? QStringLiteral("HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm")))
        .arg(retry.attempt);
}

CountdownEngine::CountdownEngine(const Clock &clock, ScheduleStore *store, qint32 secondsPerMinute)
    : m_clock(clock), m_store(store), m_secondsPerMinute(secondsPerMinute)
{
}

int CountdownEngine::indexOf(FeedRow row) const
{
    const auto found = m_indexOfRow.find(row);
    return found == m_indexOfRow.end() ? -1 : found->second;
}

CountdownEngine::Entry CountdownEngine::fromStore(const ScheduledFeed &feed) const
{
    Entry entry;
    entry.feed = feed;
    entry.countedFromMs = now();
    if (!m_store)
        return entry;
    // A row kept under another name is another feed's, the row reused.
    if (const auto last = m_store->lastDownload(feed.row); last && last->name == feed.name)
        entry.last = last->last;
    // A count of the name-keyed kind earlier versions kept holds until the
    // feed has one of its own.
    auto stored = m_store->count(feed.row);
    if (!stored)
        stored = m_store->nameKeyedCount(feed.name);
    if (!stored || stored->name != feed.name || stored->intervalSeconds != feed.intervalSeconds || !counts(entry))
        return entry;
    entry.dueMs = stored->dueMs;
    entry.failures = stored->failures;
    if (stored->retryAtMs)
        entry.retry = Retry{*stored->retryAtMs, stored->failures + 1, stored->retryServerAsked};
    return entry;
}

void CountdownEngine::startFromZero(Entry &entry) const
{
    entry.countedFromMs = now();
    entry.failures = 0;
    entry.retry.reset();
    entry.dueMs.reset();
    if (counts(entry))
        entry.dueMs = now() + intervalMs(entry);
}

void CountdownEngine::setFeeds(const std::vector<ScheduledFeed> &feeds)
{
    std::vector<Entry> entries;
    entries.reserve(feeds.size());
    for (const ScheduledFeed &feed : feeds) {
        const int old = indexOf(feed.row);
        if (old < 0) {
            entries.push_back(fromStore(feed));
            if (m_counting && !entries.back().dueMs)
                startFromZero(entries.back());
            continue;
        }
        Entry entry = m_entries[static_cast<std::size_t>(old)];
        if (entry.feed != feed) {
            // Edited: it starts again from zero, but a download it has
            // running stays its own, so it is not fetched twice at once.
            entry.feed = feed;
            startFromZero(entry);
            if (!m_counting)
                entry.dueMs.reset();
        }
        entries.push_back(std::move(entry));
    }
    m_entries = std::move(entries);
    m_indexOfRow.clear();
    std::vector<qint64> rows;
    for (int index = 0; index < size(); ++index) {
        m_indexOfRow[at(index).feed.row] = index;
        rows.push_back(at(index).feed.row);
    }
    if (!m_store)
        return;
    m_store->keepOnly(rows);
    if (m_counting) {
        for (const Entry &entry : m_entries)
            save(entry);
    }
}

void CountdownEngine::start(Start how)
{
    m_counting = true;
    for (Entry &entry : m_entries) {
        if (how == Start::FromZero || !entry.dueMs)
            startFromZero(entry);
        save(entry);
    }
}

void CountdownEngine::stop()
{
    m_counting = false;
    for (Entry &entry : m_entries) {
        entry.dueMs.reset();
        entry.retry.reset();
        entry.failures = 0;
    }
    if (m_store)
        m_store->forgetCounts();
}

void CountdownEngine::followClock(Entry &entry) const
{
    // A clock set back: the count starts again from here rather than show
    // more than the whole interval left, and a retry waits no longer than
    // it could have been asked to.
    const qint64 current = now();
    if (entry.dueMs && *entry.dueMs > current + intervalMs(entry))
        entry.dueMs = current + intervalMs(entry);
    const qint64 longestWait = std::max(intervalMs(entry), minutesMs(24 * 60));
    if (entry.retry && entry.retry->atMs > current + longestWait)
        entry.retry->atMs = current + longestWait;
    if (entry.countedFromMs > current)
        entry.countedFromMs = current;
}

std::optional<qint64> CountdownEngine::nextTry(const Entry &entry) const
{
    if (entry.claimed || !entry.dueMs)
        return std::nullopt;
    return entry.retry ? entry.retry->atMs : *entry.dueMs;
}

std::optional<qint64> CountdownEngine::nextTryMs(int index)
{
    followClock(at(index));
    return nextTry(at(index));
}

qint32 CountdownEngine::elapsedSeconds(int index)
{
    Entry &counted = at(index);
    followClock(counted);
    qint64 seconds = (now() - counted.countedFromMs) / 1000;
    if (const std::optional<qint64> next = nextTry(counted)) {
        const qint64 leftMs = *next - now();
        // Rounded up, so the count reads 00:04:59 a second after it started.
        const qint64 left = leftMs > 0 ? (leftMs + 999) / 1000 : leftMs / 1000;
        seconds = counted.feed.intervalSeconds - left;
    }
    return static_cast<qint32>(std::clamp<qint64>(seconds, std::numeric_limits<qint32>::min(),
                                                  std::numeric_limits<qint32>::max()));
}

bool CountdownEngine::isDue(int index)
{
    const std::optional<qint64> next = nextTryMs(index);
    return m_counting && next && *next <= now();
}

std::vector<int> CountdownEngine::dueFeeds()
{
    std::vector<std::pair<qint64, int>> due;
    for (int index = 0; index < size(); ++index) {
        if (isDue(index))
            due.emplace_back(*nextTry(at(index)), index);
    }
    std::sort(due.begin(), due.end());
    std::vector<int> indexes;
    for (const auto &[when, index] : due)
        indexes.push_back(index);
    return indexes;
}

void CountdownEngine::claim(int index)
{
    at(index).claimed = true;
}

void CountdownEngine::releaseClaim(FeedRow row)
{
    if (const int index = indexOf(row); index >= 0)
        at(index).claimed = false;
}

void CountdownEngine::scheduleRetry(Entry &entry, std::optional<qint64> retryAfterSeconds) const
{
    ++entry.failures;
    Retry retry{now() + minutesMs(backoffMinutes(entry.failures)), entry.failures + 1, false};
    if (retryAfterSeconds && *retryAfterSeconds >= 0) {
        // The server's word, in the program's time like everything else, and
        // within reason: never more than a day, or the interval if longer.
        const qint64 asked = *retryAfterSeconds * 1000 * m_secondsPerMinute / 60;
        retry = {now() + std::min(asked, std::max(intervalMs(entry), minutesMs(24 * 60))), entry.failures + 1, true};
    } else {
        retry.atMs = std::min(retry.atMs, *entry.dueMs);
    }
    entry.retry = retry;
}

void CountdownEngine::noteAfterDownload(FeedRow row, const QString &failure)
{
    const int index = indexOf(row);
    if (index < 0 || !at(index).last)
        return;
    Entry &entry = at(index);
    entry.last->afterDownload = failure;
    if (m_store)
        m_store->saveLastDownload(row, {entry.feed.name, *entry.last});
}

void CountdownEngine::downloadEnded(FeedRow row, const DownloadResult &result)
{
    const int index = indexOf(row);
    if (index < 0)
        return; // the feed has left the list meanwhile
    Entry &ended = at(index);
    ended.claimed = false;
    ended.last = result.last;
    if (m_store)
        m_store->saveLastDownload(row, {ended.feed.name, result.last});
    if (result.last.succeeded()) {
        ended.failures = 0;
        ended.retry.reset();
    }
    if (!m_counting || !ended.dueMs) {
        save(ended);
        return;
    }
    if (result.scheduled) {
        ended.dueMs = nextAfter(*ended.dueMs, intervalMs(ended), now());
        ended.retry.reset();
        if (!result.last.succeeded() && result.retryable)
            scheduleRetry(ended, result.retryAfterSeconds);
    }
    save(ended);
}

void CountdownEngine::retryNow()
{
    for (Entry &entry : m_entries) {
        if (entry.retry && !entry.retry->serverAsked && entry.retry->atMs > now()) {
            entry.retry->atMs = now();
            save(entry);
        }
    }
}

void CountdownEngine::save(const Entry &entry)
{
    if (!m_store || !m_counting)
        return;
    if (!entry.dueMs) {
        m_store->forgetCount(entry.feed.row);
        return;
    }
    m_store->saveCount(entry.feed.row,
                       {entry.feed.name, entry.feed.intervalSeconds, *entry.dueMs, entry.failures,
                        entry.retry ? std::optional<qint64>(entry.retry->atMs) : std::nullopt,
                        entry.retry && entry.retry->serverAsked});
}

} // namespace tidewell
