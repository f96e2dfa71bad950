#include "HeadlessScheduler.h"

namespace tidewell {

HeadlessScheduler::HeadlessScheduler(Environment environment, Report report)
    : m_environment(environment), m_report(std::move(report)),
      m_driver({environment.clock, environment.store,
                [environment](FeedRow row) {
                    return std::make_unique<FeedDownload>(
                        FeedDownloadContext{environment.feeds, environment.network, environment.store}, row);
                },
                environment.secondsPerMinute, environment.tickMilliseconds, environment.afterDownloadCommand,
                environment.afterDownload})
{
    connect(&m_driver, &ScheduleDriver::ended, this, [this](const DownloadEnd &end) {
        QString line = end.last.report();
        if (end.retry)
            line += QStringLiteral(", ") + RetryText(*end.retry, end.last.whenMs);
        m_report(end.feed, line);
    });
    // A command after a new episode that failed: the outcome said again, with why.
    connect(&m_driver, &ScheduleDriver::reportAmended, this,
            [this](FeedRow, const QString &feed, const QString &report) { m_report(feed, report); });
}

bool HeadlessScheduler::reload(const FeedListReading &list)
{
    if (list.unreadable())
        return false;
    m_driver.setFeeds(ScheduledFeeds(list.rows, m_environment.secondsPerMinute));
    if (!m_driver.engine().isCounting())
        m_driver.start(CountdownEngine::Start::Resume);
    return true;
}

void HeadlessScheduler::stop()
{
    m_driver.shutDown();
}

} // namespace tidewell
