#include "ScheduleDriver.h"

#include "AfterDownloadCommand.h"

#include <QNetworkInformation>
#include <QPointer>

#include <algorithm>

namespace tidewell {
namespace {

// The wall clock running this far ahead of the monotonic one between two
// looks means the computer slept (or the clock was set forward).
constexpr qint64 sleepNoticedMs = 5000;

// A failure that trying again may mend: the network, the server, a folder on
// a drive not mounted yet. A feed without the details to download, or whose
// row cannot be read, waits for the user instead.
bool retryable(const FeedDownloadOutcome &outcome, const std::optional<RuntimeError> &error)
{
    return !error && !outcome.succeeded() && outcome.kind != FeedDownloadOutcome::MissingDetails;
}

} // namespace

ScheduleDriver::ScheduleDriver(Environment environment, QObject *parent)
    : QObject(parent), m_environment(std::move(environment)),
      m_engine(m_environment.clock, m_environment.store, m_environment.secondsPerMinute)
{
    m_wakeUp.setSingleShot(true);
    m_wakeUp.setTimerType(Qt::PreciseTimer);
    connect(&m_wakeUp, &QTimer::timeout, this, &ScheduleDriver::wake);
}

ScheduleDriver::~ScheduleDriver()
{
    // The jobs are children: they go with the driver, told nothing.
    for (const auto &[row, ran] : m_running)
        ran.job->disconnect(this);
}

void ScheduleDriver::setFeeds(const std::vector<ScheduledFeed> &feeds)
{
    m_engine.setFeeds(feeds);
    // A feed that left the list stops waiting for its turn.
    std::erase_if(m_waiting, [this](const Waiting &waiting) { return m_engine.indexOf(waiting.row) < 0; });
    scheduleWake();
}

void ScheduleDriver::start(CountdownEngine::Start how)
{
    m_engine.start(how);
    m_lastWallMs = 0;
    scheduleWake();
}

void ScheduleDriver::stop()
{
    m_engine.stop();
    m_wakeUp.stop();
    std::erase_if(m_waiting, [this](const Waiting &waiting) {
        if (!waiting.scheduled)
            return false;
        m_engine.releaseClaim(waiting.row);
        return true;
    });
}

void ScheduleDriver::shutDown()
{
    m_shutDown = true;
    m_wakeUp.stop();
    for (const Waiting &waiting : m_waiting)
        m_engine.releaseClaim(waiting.row);
    m_waiting.clear();
    const std::map<FeedRow, Running> running = std::exchange(m_running, {});
    for (const auto &[row, ran] : running) {
        ran.job->disconnect(this);
        ran.job->abort();
        ran.job->deleteLater();
        m_engine.releaseClaim(row);
    }
    Q_EMIT shutDownDone();
}

void ScheduleDriver::wake()
{
    runDue();
    scheduleWake();
}

void ScheduleDriver::noticeSleep()
{
    const qint64 wall = m_environment.clock.nowMs();
    const qint64 monotonic = m_environment.clock.monotonicMs();
    const bool woke = m_lastWallMs != 0 && (wall - m_lastWallMs) - (monotonic - m_lastMonotonicMs) > sleepNoticedMs;
    m_lastWallMs = wall;
    m_lastMonotonicMs = monotonic;
    if (woke)
        m_engine.retryNow();
}

void ScheduleDriver::holdBack()
{
    m_holding = true;
    m_wakeUp.stop();
    for (const Waiting &waiting : m_waiting)
        m_engine.releaseClaim(waiting.row);
    m_waiting.clear();
}

void ScheduleDriver::runDue()
{
    if (m_shutDown || m_holding || !m_engine.isCounting())
        return;
    noticeSleep();
    for (const int index : m_engine.dueFeeds())
        enqueue(index, true);
    pump();
}

void ScheduleDriver::downloadScheduled(FeedRow row)
{
    const int index = m_engine.indexOf(row);
    if (m_shutDown || m_holding || index < 0 || m_engine.isClaimed(index))
        return;
    enqueue(index, true);
    pump();
}

ScheduleDriver::Manual ScheduleDriver::downloadNow(FeedRow row)
{
    const int index = m_engine.indexOf(row);
    if (m_shutDown || m_holding || index < 0)
        return Manual::Unknown;
    if (m_running.contains(row))
        return Manual::Downloading;
    const auto queued = std::find_if(m_waiting.begin(), m_waiting.end(),
                                     [row](const Waiting &waiting) { return waiting.row == row; });
    if (queued != m_waiting.end()) {
        // Its scheduled turn, taken now: still the scheduled download.
        Waiting promoted = *queued;
        promoted.byHand = true;
        m_waiting.erase(queued);
        m_waiting.push_front(promoted);
    } else {
        enqueue(index, false);
    }
    pump();
    return isWaiting(row) ? Manual::Waiting : Manual::Started;
}

bool ScheduleDriver::isWaiting(FeedRow row) const
{
    return std::any_of(m_waiting.begin(), m_waiting.end(), [row](const Waiting &waiting) { return waiting.row == row; });
}

void ScheduleDriver::enqueue(int index, bool scheduled)
{
    m_engine.claim(index);
    const ScheduledFeed &feed = m_engine.feed(index);
    // One asked for by hand goes first.
    const Waiting waiting{feed.row, feed.host, scheduled, !scheduled};
    if (!scheduled)
        m_waiting.push_front(waiting);
    else
        m_waiting.push_back(waiting);
    Q_EMIT this->waiting(feed.row);
}

void ScheduleDriver::pump()
{
    // A job may end inside its own start, and its end pumps again: that
    // round runs here, after this one, rather than inside it.
    if (m_pumping) {
        m_pumpAgain = true;
        return;
    }
    m_pumping = true;
    do {
        m_pumpAgain = false;
        while (!m_shutDown && !m_holding && startNextThatFits()) {
        }
    } while (m_pumpAgain && !m_shutDown && !m_holding);
    m_pumping = false;
}

bool ScheduleDriver::startNextThatFits()
{
    if (m_running.size() >= static_cast<std::size_t>(maxRunning))
        return false;
    for (auto next = m_waiting.begin(); next != m_waiting.end(); ++next) {
        const auto sameHost = std::count_if(m_running.begin(), m_running.end(),
                                            [&](const auto &running) { return running.second.host == next->host; });
        if (sameHost >= maxPerHost)
            continue;
        const Waiting chosen = *next;
        m_waiting.erase(next);
        launch(chosen);
        return true;
    }
    return false;
}

void ScheduleDriver::launch(const Waiting &next)
{
    const int index = m_engine.indexOf(next.row);
    if (index < 0)
        return;
    std::unique_ptr<DownloadJob> made = m_environment.makeDownload(next.row);
    DownloadJob *job = made.release();
    job->setParent(this);
    const FeedRow row = next.row;
    m_running[row] = Running{job, m_engine.feed(index).name, next.host, next.scheduled};
    connect(job, &DownloadJob::progress, this,
            [this, row](qint64 received, qint64 total) { Q_EMIT progress(row, received, total); });
    connect(job, &DownloadJob::finished, this, [this, row] { jobEnded(row); });
    Q_EMIT started(row);
    if (m_shutDown)
        return; // whoever heard of the start ended the program
    try {
        job->start(next.byHand);
    } catch (const RuntimeError &error) {
        const auto found = m_running.find(row);
        if (found == m_running.end() || found->second.job != job)
            return;
        const Running ran = found->second;
        m_running.erase(found);
        job->disconnect(this);
        job->deleteLater();
        FeedDownloadOutcome outcome;
        outcome.kind = FeedDownloadOutcome::TransferFailed;
        outcome.failure = {Failure::Kind::Local, 0, error.description()};
        end(row, ran, outcome, error);
    }
}

void ScheduleDriver::jobEnded(FeedRow row)
{
    const auto found = m_running.find(row);
    if (found == m_running.end())
        return;
    const Running ran = found->second;
    m_running.erase(found);
    // The job is still inside its own signal: it goes once that is over.
    ran.job->disconnect(this);
    ran.job->deleteLater();
    end(row, ran, ran.job->outcome(), std::nullopt);
    pump();
}

void ScheduleDriver::end(FeedRow row, const Running &ran, const FeedDownloadOutcome &outcome,
                         const std::optional<RuntimeError> &error)
{
    DownloadEnd ended;
    ended.row = row;
    ended.feed = ran.feed;
    ended.scheduled = ran.scheduled;
    ended.outcome = outcome;
    ended.error = error;
    ended.last = {m_environment.clock.nowMs(), outcome, {}};
    m_engine.downloadEnded(row, {ended.last, ran.scheduled, retryable(outcome, error), outcome.retryAfterSeconds});
    if (const int index = m_engine.indexOf(row); index >= 0)
        ended.retry = m_engine.retry(index);
    scheduleWake();
    Q_EMIT this->ended(ended);
    runAfterDownload(ended);
}

void ScheduleDriver::runAfterDownload(const DownloadEnd &end)
{
    if (end.outcome.kind != FeedDownloadOutcome::Downloaded || !m_environment.afterDownload
        || !m_environment.afterDownloadCommand)
        return;
    const QString command = m_environment.afterDownloadCommand();
    if (command.trimmed().isEmpty())
        return;
    // The command runs on its own; only a failure is told, later, as part of
    // the download's outcome.
    const QPointer<ScheduleDriver> self(this);
    m_environment.afterDownload->run(
        command, {end.feed, end.outcome.episodeFile, end.outcome.episodeUrl},
        [self, end](const AfterDownloadOutcome &ran) {
            if (!self || self->m_shutDown)
                return;
            if (!ran.succeeded()) {
                LastDownload last = end.last;
                last.afterDownload = ran.text();
                self->m_engine.noteAfterDownload(end.row, last.afterDownload);
                Q_EMIT self->reportAmended(end.row, end.feed, last.report());
            }
            Q_EMIT self->afterDownloadDone(end.row);
        });
}

void ScheduleDriver::scheduleWake()
{
    if (m_shutDown || m_holding || !m_engine.isCounting() || m_environment.tickMilliseconds <= 0) {
        m_wakeUp.stop();
        return;
    }
    // At the next feed's due moment, so each keeps its pace to the
    // millisecond, but at least once a tick: time asleep is only noticed by
    // looking at the clock.
    const qint64 now = m_environment.clock.nowMs();
    qint64 delay = m_environment.tickMilliseconds;
    for (int index = 0; index < m_engine.size(); ++index) {
        if (const std::optional<qint64> next = m_engine.nextTryMs(index))
            delay = std::clamp<qint64>(*next - now, 0, delay);
    }
    m_wakeUp.start(static_cast<int>(delay));
}

void ScheduleDriver::reachabilityChanged(bool online)
{
    const bool back = online && !m_online;
    m_online = online;
    if (back && !m_shutDown) {
        m_engine.retryNow();
        runDue();
        scheduleWake();
    }
}

void ScheduleDriver::followNetwork()
{
    // Without a backend (no NetworkManager, say) the wake-up's own look at
    // the clock is all there is.
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return;
    const QNetworkInformation *information = QNetworkInformation::instance();
    const auto online = [](QNetworkInformation::Reachability reachability) {
        return reachability == QNetworkInformation::Reachability::Online;
    };
    m_online = online(information->reachability());
    connect(information, &QNetworkInformation::reachabilityChanged, this,
            [this, online](QNetworkInformation::Reachability reachability) {
                reachabilityChanged(online(reachability));
            });
}

} // namespace tidewell
