#include "HeadlessScheduler.h"

#include "ErrorTrap.h"
#include "FeedList.h"
#include "RuntimeError.h"

#include <algorithm>

namespace tidewell {

HeadlessScheduler::HeadlessScheduler(Environment environment, Report report)
    : m_environment(environment), m_report(std::move(report)), m_engine(environment.clock, environment.store)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
}

HeadlessScheduler::~HeadlessScheduler() = default;

bool HeadlessScheduler::readFeeds(std::vector<ScheduledFeed> &feeds)
{
    ErrorTrap onError(m_environment.reports, QStringLiteral("Headless"), QStringLiteral("listPodCast"));
    const std::vector<FeedListRow> rows = ReadFeedList(m_environment.dbConn, onError, m_newDatabase);
    if (onError.reportCount() > 0 && rows.empty())
        return false;
    for (const FeedListRow &row : rows) {
        feeds.push_back({row.name, row.minute ? qint32{*row.minute} * m_environment.secondsPerMinute : 0,
                         row.active == QStringLiteral("Yes")});
    }
    return true;
}

bool HeadlessScheduler::reload()
{
    std::vector<ScheduledFeed> feeds;
    if (!readFeeds(feeds))
        return false;
    if (m_engine.isCounting())
        m_engine.rebind(feeds);
    else
        m_engine.start(feeds, CountdownEngine::Start::Resume);
    if (m_tickMilliseconds > 0)
        scheduleWakeUp();
    return true;
}

void HeadlessScheduler::start(int tickMilliseconds)
{
    if (!m_engine.isCounting())
        m_engine.start({}, CountdownEngine::Start::Resume);
    m_tickMilliseconds = tickMilliseconds;
    scheduleWakeUp();
}

void HeadlessScheduler::tick()
{
    for (const int index : m_engine.dueFeeds())
        download(index);
    scheduleWakeUp();
}

void HeadlessScheduler::scheduleWakeUp()
{
    // At the next feed's due moment, so each keeps its pace to the
    // millisecond, but at least once a tick: time asleep is only noticed by
    // looking at the clock.
    const qint64 now = m_environment.clock.nowMs();
    qint64 delay = m_tickMilliseconds;
    for (int index = 0; index < m_engine.size(); ++index) {
        if (const std::optional<qint64> due = m_engine.nextDueMs(index))
            delay = std::clamp<qint64>(*due - now, 0, delay);
    }
    m_timer.start(static_cast<int>(delay));
}

void HeadlessScheduler::download(int index)
{
    const QString name = m_engine.feed(index).name;
    const CountdownEngine::Token token = m_engine.downloadStarted(index);
    auto job = std::make_unique<FeedDownload>(
        FeedDownloadContext{m_environment.dbConn, m_environment.network, m_environment.store}, name);
    FeedDownload &started = *job;
    m_downloads[token] = std::move(job);
    connect(&started, &FeedDownload::finished, this, [this, token] { downloadEnded(token); });
    try {
        started.start();
    } catch (const RuntimeError &error) {
        // The feed's row could not be read (a value missing, say): this
        // download ends here, and the feed counts again.
        m_downloads.erase(token);
        const QString report = QStringLiteral("Download Failed. (%1)").arg(error.description());
        finishDownload(token, {m_environment.clock.nowMs(), false, report});
        m_report(name, report);
    }
}

void HeadlessScheduler::downloadEnded(CountdownEngine::Token token)
{
    const auto found = m_downloads.find(token);
    if (found == m_downloads.end())
        return;
    // The job is still inside its own signal: it goes once that is over.
    std::unique_ptr<FeedDownload> job = std::move(found->second);
    m_downloads.erase(found);
    if (m_stopping) {
        // Cut short by the program's end: that is no outcome of the feed's.
        job.release()->deleteLater();
        return;
    }
    const FeedDownloadOutcome &outcome = job->outcome();
    const QString report = FeedDownloadReport(outcome);
    finishDownload(token, {m_environment.clock.nowMs(), outcome.succeeded(), report});
    m_report(job->name(), report);
    job.release()->deleteLater();
}

void HeadlessScheduler::finishDownload(CountdownEngine::Token token, const LastDownload &outcome)
{
    const int index = m_engine.downloadEnded(token, outcome);
    if (index >= 0)
        m_engine.restartCount(index);
    if (m_tickMilliseconds > 0)
        scheduleWakeUp();
}

void HeadlessScheduler::stop()
{
    m_stopping = true;
    m_timer.stop();
    // Ending a job erases it from the list, so the list is copied first.
    std::vector<FeedDownload *> running;
    for (const auto &[token, job] : m_downloads)
        running.push_back(job.get());
    for (FeedDownload *job : running)
        job->abort();
}

} // namespace tidewell
