#include "HeadlessService.h"

#include "RunningCopy.h"
#include "ScheduleStore.h"
#include "Settings.h"

#include <QLocalSocket>

namespace tidewell {

namespace {
const QByteArray handOverRequest = QByteArrayLiteral("hand over");
const QByteArray reloadRequest = QByteArrayLiteral("reload");

// A window that asked and then never took the lock (it crashed first): the
// schedule is taken back after this long.
constexpr qint64 takerWaitMs = 30000;
} // namespace

HeadlessService::HeadlessService(Environment environment, RunningCopy &running, HeadlessScheduler::Report report)
    : m_environment(std::move(environment)), m_running(running), m_report(std::move(report)),
      m_channel(channelPath(m_environment.dataFolder, QStringLiteral("service")))
{
    m_handOverLimit.setSingleShot(true);
    connect(&m_handOverLimit, &QTimer::timeout, this, &HeadlessService::finishHandOver);
    connect(&m_look, &QTimer::timeout, this, &HeadlessService::look);
    connect(&m_channel, &LocalChannel::request, this, [this](QLocalSocket *client, const QByteArray &line) {
        if (line == handOverRequest) {
            handOver(client);
        } else if (line == reloadRequest) {
            client->write(isScheduling() && reload() ? "reloaded\n" : "not scheduling\n");
            client->disconnectFromServer();
        } else {
            client->disconnectFromServer();
        }
    });
}

HeadlessService::~HeadlessService()
{
    stop();
}

void HeadlessService::start()
{
    if (!m_channel.isListening())
        Q_EMIT said(QStringLiteral("A window started later cannot ask this service for the schedule (%1); it will "
                                   "say so and not open.")
                        .arg(m_channel.errorString()));
    if (m_running.takeSchedule()) {
        takeSchedule();
        return;
    }
    Q_EMIT said(QStringLiteral("The window schedules these feeds (process %1); this service waits until it closes.")
                    .arg(m_running.holderProcess()));
    m_waiting = Waiting::ForRelease;
    m_look.start(m_environment.lookEvery);
}

void HeadlessService::takeSchedule()
{
    m_look.stop();
    m_waiting = Waiting::No;
    m_store = std::make_unique<ScheduleStore>();
    if (!m_store->isOpen())
        Q_EMIT said(QStringLiteral("The schedule cannot be remembered (%1); every count starts from zero and every "
                                   "episode is fetched in full.")
                        .arg(m_store->error()));
    connect(m_store.get(), &ScheduleStore::writeProblem, this, [this](const QString &message) {
        if (!message.isEmpty())
            Q_EMIT said(message);
    });
    m_scheduler = std::make_unique<HeadlessScheduler>(
        HeadlessScheduler::Environment{m_environment.feeds, m_network, m_clock, m_store.get(),
                                       m_environment.secondsPerMinute, 1000, settings::afterDownloadCommand, &m_afterDownload},
        m_report);
    if (!m_scheduler->reload(m_environment.readFeedList()))
        Q_EMIT said(QStringLiteral("The feed list could not be read; SIGHUP tries again."));
    m_scheduler->driver().followNetwork();
    Q_EMIT said(QStringLiteral("Scheduling %1 feeds. SIGHUP reads the feed list again; SIGINT or SIGTERM stops.")
                    .arg(m_scheduler->feedCount()));
}

bool HeadlessService::reload()
{
    return !m_scheduler || m_scheduler->reload(m_environment.readFeedList());
}

void HeadlessService::handOver(QLocalSocket *client)
{
    if (!m_scheduler || m_taker) {
        client->write("not scheduling\n");
        client->disconnectFromServer();
        return;
    }
    m_taker = client;
    ScheduleDriver &driver = m_scheduler->driver();
    driver.holdBack();
    connect(&driver, &ScheduleDriver::ended, this, &HeadlessService::downloadEnded);
    m_handOverLimit.start(m_environment.handOverLimit);
    downloadEnded();
}

void HeadlessService::downloadEnded()
{
    // Queued: the driver may be inside its own signal, and it is about to go.
    if (m_scheduler && m_scheduler->driver().runningCount() == 0)
        QTimer::singleShot(0, this, &HeadlessService::finishHandOver);
}

void HeadlessService::finishHandOver()
{
    if (!m_scheduler)
        return;
    m_handOverLimit.stop();
    const int feeds = m_scheduler->feedCount();
    // Downloads still running after the limit stop here; their feeds stay
    // due, so the window fetches them at once.
    m_scheduler->stop();
    m_scheduler.reset();
    m_store->flush();
    m_store.reset();
    m_running.releaseSchedule();
    if (m_taker) {
        m_taker->write("handed over\n");
        m_taker->disconnectFromServer();
    }
    m_taker.clear();
    Q_EMIT said(QStringLiteral("The window took over the schedule of %1 feeds; this service waits until it closes.")
                    .arg(feeds));
    m_waiting = Waiting::ForTaker;
    m_sinceHandOver.start();
    m_look.start(std::min<std::chrono::milliseconds>(m_environment.lookEvery, std::chrono::milliseconds(500)));
}

void HeadlessService::look()
{
    if (m_stopped)
        return;
    if (m_waiting == Waiting::ForTaker) {
        // Not before the window has the lock, or this service would take it
        // back first.
        if (!m_running.scheduleHeldElsewhere() && m_sinceHandOver.elapsed() < takerWaitMs)
            return;
        m_waiting = Waiting::ForRelease;
        m_look.start(m_environment.lookEvery);
        return;
    }
    if (!m_running.takeSchedule())
        return;
    Q_EMIT said(QStringLiteral("The window has closed; the service schedules the feeds again."));
    takeSchedule();
}

void HeadlessService::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_look.stop();
    m_handOverLimit.stop();
    if (m_scheduler)
        m_scheduler->stop();
    if (m_store)
        m_store->flush();
}

} // namespace tidewell
