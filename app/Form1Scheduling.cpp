// The main window's scheduling: the "Turn On"/"Turn Off" button, the
// per-feed countdown timers and the downloads. The schedule itself is the
// scheduling driver's, which the headless scheduler shares; the window shows
// what the driver tells it and never waits for a scheduled download.
#include "Form1.h"

#include "DoEvents.h"
#include "FormatCountdown.h"
#include "ProgramIcon.h"
#include "ProgramTitle.h"
#include "cSysTray.h"
#include "ScheduleStore.h"
#include "Settings.h"

#include <QDateTime>
#include <QEventLoop>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace tidewell {
namespace {
const QString turnOn = QStringLiteral("Turn On");
const QString turnOff = QStringLiteral("Turn Off");

QString localTime(qint64 ms)
{
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms), QLocale::ShortFormat);
}
} // namespace

bool Form1::schedulingOn() const
{
    return PushButton6->text() == turnOff;
}

FeedRow Form1::feedRowOf(int row) const
{
    const QStandardItem *item = ListItems->item(row, NameColumn);
    return item ? item->data(RowRole).toLongLong() : 0;
}

int Form1::listRowOf(FeedRow row) const
{
    const auto found = m_listRowOf.find(row);
    return found == m_listRowOf.end() ? -1 : found->second;
}

int Form1::scheduleIndexOf(int row) const
{
    return row >= 0 && row < rowCount() ? m_driver.engine().indexOf(feedRowOf(row)) : -1;
}

qint32 Form1::IntervalSeconds(int index) const
{
    const int feed = scheduleIndexOf(index);
    return feed >= 0 ? m_driver.engine().feed(feed).intervalSeconds : 0;
}

qint32 Form1::ElapsedSeconds(int index)
{
    const int feed = scheduleIndexOf(index);
    return feed >= 0 ? m_driver.engine().elapsedSeconds(feed) : 0;
}

void Form1::connectDriver()
{
    connect(&m_driver, &ScheduleDriver::waiting, this, [this](FeedRow row) { holdRow(row); });
    connect(&m_driver, &ScheduleDriver::started, this, [this](FeedRow row) {
        holdRow(row);
        m_transfers[row] = {0, -1};
        showTransfers(row);
    });
    connect(&m_driver, &ScheduleDriver::progress, this, [this](FeedRow row, qint64 received, qint64 total) {
        m_transfers[row] = {received, total};
        showTransfers(row);
    });
    connect(&m_driver, &ScheduleDriver::ended, this, &Form1::downloadEnded);
    connect(&m_driver, &ScheduleDriver::reportAmended, this, [this](FeedRow row) {
        if (const int listRow = listRowOf(row); listRow >= 0)
            showRowDetails(listRow);
    });
    connect(&m_store, &ScheduleStore::writeProblem, this, [this](const QString &message) {
        if (!message.isEmpty())
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        m_storeProblem = message;
        showStatus();
    });
}

void Form1::PushButton6_Click()
{
    if (m_switchingScheduling)
        return; // a second click while the first is still setting up
    m_switchingScheduling = true;
    if (PushButton6->text() == turnOn)
        turnSchedulingOn();
    else if (PushButton6->text() == turnOff)
        turnSchedulingOff();
    m_switchingScheduling = false;
}

void Form1::turnSchedulingOn()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    int i = 0;
    onError.setExtraLine([&] {
        return QStringLiteral("ListView1.ListItems.Item(i).SubItems(1): ") + itemText(i - 1, CountdownColumn);
    });
    onError(0, [&] { PushButton6->setText(turnOff); });
    // At the program's start every feed goes on from where its count stood
    // when the program last ran; a click starts every count from zero.
    const auto how = isLoading ? CountdownEngine::Start::Resume : CountdownEngine::Start::FromZero;
    onError(0, [&] { m_driver.start(how); });
    const int rows = rowCount();
    const int binding = m_binding;
    for (i = 1; i <= rows; ++i) {
        onError(0, [] { DoEvents(); });
        if (binding != m_binding)
            break; // the list was refilled meanwhile and every timer rebound
        onError(0, [&] {
            resizeTimers(static_cast<std::size_t>(i));
            Timer1.at(static_cast<std::size_t>(i - 1))->setInterval(m_tickMilliseconds);
        });
        onError(0, [&] {
            const int feed = scheduleIndexOf(i - 1);
            if (feed < 0 || !m_driver.engine().isClaimed(feed))
                Timer1.at(static_cast<std::size_t>(i - 1))->start();
        });
    }
    onError(0, [] { settings::write(settings::startStopState, settings::on); });
    m_wakeUp->start(m_tickMilliseconds);
    showRowDetails();
}

void Form1::turnSchedulingOff()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    onError.setExtraLine([&] { return QStringLiteral("ListView1.ListItems.Item(i).SubItems(1): "); });
    onError(0, [&] { PushButton6->setText(turnOn); });
    onError(0, [&] {
        Timer1.at(0)->setInterval(0);
        Timer1.at(0)->stop();
    });
    onError(0, [&] { resizeTimers(1); });
    m_wakeUp->stop();
    m_driver.stop();
    ++m_binding;
    onError(0, [&] { listPodCast(); });
    onError(0, [] { settings::write(settings::startStopState, settings::off); });
}

void Form1::resizeTimers(std::size_t count)
{
    count = std::max<std::size_t>(count, 1);
    Timer1.resize(count);
    for (auto &element : Timer1) {
        if (!element)
            element = std::make_unique<TimerElement>();
    }
}

void Form1::rebindTimers()
{
    // The list was filled again while scheduling is on; the driver already
    // knows: each feed that stays keeps its count, a new or changed one
    // starts from zero. Each row's timer follows its feed.
    ++m_binding;
    const int rows = rowCount();
    resizeTimers(static_cast<std::size_t>(rows));
    if (rows == 0)
        Timer1.front()->stop();
    CountdownEngine &engine = m_driver.engine();
    for (int row = 0; row < rows; ++row) {
        TimerElement &element = *Timer1[static_cast<std::size_t>(row)];
        element.setInterval(m_tickMilliseconds);
        const int feed = scheduleIndexOf(row);
        if (feed >= 0 && engine.isClaimed(feed)) {
            element.stop();
            setCountdownText(row, FormatCountdown(0));
            continue;
        }
        element.start();
        if (feed >= 0 && engine.feed(feed).active && engine.elapsedSeconds(feed) > 0)
            setCountdownText(row, countText(feed));
    }
    showRowDetails();
}

QString Form1::countText(int feed)
{
    CountdownEngine &engine = m_driver.engine();
    return FormatCountdown(engine.feed(feed).intervalSeconds - engine.elapsedSeconds(feed));
}

void Form1::tickAll()
{
    // One wake-up a second: the driver starts what is due, each row shows
    // its count.
    m_driver.runDue();
    for (std::size_t index = 0; index < Timer1.size(); ++index) {
        const TimerElement &element = *Timer1[index];
        if (element.isActive() && element.interval() > 0)
            Timer1_Timer(static_cast<int>(index));
    }
}

void Form1::setCountdownText(int row, const QString &text)
{
    QStandardItem *item = ListItems->item(row, CountdownColumn);
    if (!item)
        throw RuntimeError(35600, QStringLiteral("Index out of bounds"));
    if (item->text() != text)
        item->setText(text);
}

void Form1::Timer1_Timer(int index)
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("Timer1"));
    // 100: nothing to count without rows, or for an element whose row is gone.
    if (rowCount() == 0 || !m_driver.engine().isCounting() || index < 0 || index >= rowCount())
        return;
    if (!onError.test(102, [&] { return itemText(index, ActiveColumn) == QStringLiteral("Yes"); }))
        return;
    CountdownEngine &engine = m_driver.engine();
    const int feed = scheduleIndexOf(index);
    if (feed < 0 || engine.isClaimed(feed))
        return;
    qint32 target = 0;
    qint32 elapsed = 0;
    onError(104, [&] { target = engine.feed(feed).intervalSeconds; });
    // 106 to 110: the count follows the clock, so a late or missed tick, or
    // time asleep, costs the row nothing; a retry shortens what is left.
    onError(106, [&] { elapsed = engine.elapsedSeconds(feed); });
    onError(112, [&] { setCountdownText(index, FormatCountdown(target - elapsed)); });
    // 116: due once its time has come, which a clock may jump past.
    if (!engine.isDue(feed))
        return;
    onError(118, [&] { setCountdownText(index, FormatCountdown(0)); });
    onError(122, [&] { Timer1.at(static_cast<std::size_t>(index))->stop(); });
    onError(124, [&] { Timer1.at(static_cast<std::size_t>(index))->setInterval(0); });
    // 126: handed to the driver, which starts it when there is room; its
    // end (128 to 132) comes when it comes, in downloadEnded.
    onError(126, [&] { DownloadFeed(index + 1); });
}

void Form1::DownloadFeed(int row)
{
    if (row < 1 || row > rowCount())
        throw RuntimeError(35600, QStringLiteral("Index out of bounds"));
    m_driver.downloadScheduled(feedRowOf(row - 1));
}

void Form1::holdRow(FeedRow feed)
{
    // Waiting for its turn or downloading: the row cannot fall due again
    // until the download has ended.
    const int row = listRowOf(feed);
    if (row < 0)
        return;
    if (row < static_cast<int>(Timer1.size())) {
        Timer1[static_cast<std::size_t>(row)]->stop();
        Timer1[static_cast<std::size_t>(row)]->setInterval(0);
    }
    if (itemText(row, ActiveColumn) == QStringLiteral("Yes") && schedulingOn())
        setCountdownText(row, FormatCountdown(0));
    showRowDetails(row);
}

void Form1::downloadEnded(const DownloadEnd &end)
{
    m_transfers.erase(end.row);
    if (end.error && end.scheduled) {
        // A run-time error of the scheduled job is the tick's, as it always
        // was; the report waits until the driver has finished telling.
        QMetaObject::invokeMethod(
            this,
            [this, error = *end.error] {
                ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("Timer1"));
                onError.report(126, error);
            },
            Qt::QueuedConnection);
    }
    noteOutcome(end);
    const int row = listRowOf(end.row);
    if (row >= 0 && schedulingOn() && row < static_cast<int>(Timer1.size())) {
        ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("Timer1"));
        onError(128, [&] { Timer1.at(static_cast<std::size_t>(row))->setInterval(m_tickMilliseconds); });
        onError(130, [&] { Timer1.at(static_cast<std::size_t>(row))->start(); });
        // 132: the driver has started the count again, from the due time.
        if (const int feed = scheduleIndexOf(row); feed >= 0 && m_driver.engine().feed(feed).active)
            onError(132, [&] { setCountdownText(row, countText(feed)); });
    }
    if (row >= 0)
        showRowDetails(row);
    showTransfers(0);
}

void Form1::noteOutcome(const DownloadEnd &end)
{
    notifyOfFailures(end);
    const QString time = localTime(end.last.whenMs);
    if (end.last.succeeded()) {
        m_failingFeeds.removeAll(end.row);
        m_failures.erase(end.row);
        if (end.scheduled)
            m_lastScheduledOutcome = QStringLiteral("Last scheduled download: %1 downloaded at %2.").arg(end.feed, time);
        showFailuresInTray();
        return;
    }
    // A failure stays in view until the feed next succeeds, whatever
    // succeeds meanwhile.
    m_failingFeeds.removeAll(end.row);
    m_failingFeeds << end.row;
    QString text = QStringLiteral("%1 failed at %2: %3").arg(end.feed, time, end.last.report());
    if (end.retry)
        text += QStringLiteral(", ") + RetryText(*end.retry, end.last.whenMs);
    m_failures[end.row] = text;
    showFailuresInTray();
}

void Form1::showFailuresInTray()
{
    if (m_failingFeeds.isEmpty()) {
        cSysTray1->setTrayTip(productName);
        cSysTray1->setTrayIcon(programIcon());
        return;
    }
    // The three that failed last, then how many more; the reasons too when
    // they fit the tip.
    QStringList named;
    QStringList withReasons;
    for (qsizetype i = m_failingFeeds.size() - 1; i >= 0 && named.size() < 3; --i) {
        const Failing &failing = m_failing[m_failingFeeds[i]];
        named << failing.feed;
        withReasons << QStringLiteral("%1 (%2)").arg(failing.feed, failing.reason);
    }
    const qsizetype more = m_failingFeeds.size() - named.size();
    const auto tip = [&](const QStringList &feeds) {
        QString text = (m_failingFeeds.size() == 1 ? QStringLiteral("1 feed failed: ")
                                                   : QStringLiteral("%1 feeds failed: ").arg(m_failingFeeds.size()))
            + feeds.join(QStringLiteral(", "));
        return more > 0 ? text + QStringLiteral(" and %1 more").arg(more) : text;
    };
    const QString full = tip(withReasons);
    cSysTray1->setTrayTip(full.size() <= cSysTray::TipLength ? full : tip(named));
    cSysTray1->setTrayIcon(programIconWithWarning());
}

void Form1::notifyOfFailures(const DownloadEnd &end)
{
    // One notification when a feed has failed three times in a row, one
    // more when it downloads again; none while the window is in front.
    constexpr int worthTelling = 3;
    Failing &failing = m_failing[end.row];
    failing.feed = end.feed;
    const bool quiet = isActiveWindow();
    if (end.last.succeeded()) {
        if (failing.inARow >= worthTelling && !quiet)
            cSysTray1->ShowBalloon(QStringLiteral("%1 downloads again.").arg(end.feed), productName, 0, false);
        m_failing.erase(end.row);
        return;
    }
    failing.reason = end.outcome.failure ? end.outcome.failure.text() : FeedDownloadMessage(end.outcome);
    if (++failing.inARow == worthTelling && !quiet) {
        QString text = QStringLiteral("%1 has failed %2 times in a row: %3.").arg(end.feed).arg(worthTelling).arg(
            failing.reason);
        if (end.retry)
            text += QStringLiteral(" It is tried again at %1.")
                        .arg(QLocale().toString(QDateTime::fromMSecsSinceEpoch(end.retry->atMs).time(),
                                                QLocale::ShortFormat));
        cSysTray1->ShowBalloon(text, productName, 0, false);
    }
}

void Form1::PushButton2_Click()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    if (!onError.test(0, [&] { return rowCount() > 0; }))
        return;
    FeedRow row = 0;
    onError(0, [&] {
        const QModelIndex current = ListView1->currentIndex();
        if (!current.isValid())
            throw RuntimeError(91, QStringLiteral("Object variable or With block variable not set"));
        row = feedRowOf(current.row());
    });
    // One download by hand at a time: a second click would only race the
    // first for the same file.
    PushButton2->setEnabled(false);
    const std::optional<FeedDownloadOutcome> outcome = downloadByHand(row, onError);
    PushButton2->setEnabled(true);
    if (!outcome)
        return;
    for (const RuntimeError &error : outcome->lookUpFailures)
        onError.report(0, error);
    onError(0, [&] { m_messageBox.show(FeedDownloadMessage(*outcome)); });
}

std::optional<FeedDownloadOutcome> Form1::downloadByHand(FeedRow row, ErrorTrap &onError)
{
    // The button's message follows its own download, so this is the one
    // place that waits for a download; scheduled ones that end meanwhile are
    // kept and shown as they end, by the driver's signals.
    std::optional<FeedDownloadOutcome> outcome;
    QEventLoop loop;
    connect(&m_driver, &ScheduleDriver::ended, &loop, [&](const DownloadEnd &end) {
        if (end.row != row)
            return;
        outcome = end.outcome;
        loop.quit();
    });
    connect(&m_driver, &ScheduleDriver::shutDownDone, &loop, &QEventLoop::quit);
    switch (m_driver.downloadNow(row)) {
    case ScheduleDriver::Manual::Downloading:
        onError(0, [&] { m_messageBox.show(QStringLiteral("This feed is downloading now.")); });
        return std::nullopt;
    case ScheduleDriver::Manual::Unknown:
        // No feed in that row (any more): nothing to download it from.
        return FeedDownloadOutcome{};
    case ScheduleDriver::Manual::Started:
    case ScheduleDriver::Manual::Waiting:
        break;
    }
    if (!outcome)
        loop.exec();
    return outcome;
}

void Form1::showTransfers(FeedRow latest)
{
    if (m_transfers.empty()) {
        TransferProgress->hide();
        showStatus();
        return;
    }
    if (!m_transfers.contains(latest))
        latest = m_transfers.begin()->first;
    const auto [received, total] = m_transfers.at(latest);
    const int index = m_driver.engine().indexOf(latest);
    const QString feed = index >= 0 ? m_driver.engine().feed(index).name : QString();
    const QLocale locale;
    QString text = QStringLiteral("Downloading %1: %2").arg(feed, locale.formattedDataSize(received));
    if (total > 0) {
        text += QStringLiteral(" of ") + locale.formattedDataSize(total);
        TransferProgress->setRange(0, 1000);
        TransferProgress->setValue(static_cast<int>(std::min<qint64>(1000, received * 1000 / total)));
    } else {
        TransferProgress->setRange(0, 0); // size unknown: a busy bar
    }
    if (m_transfers.size() > 1)
        text += QStringLiteral(" (%1 downloads running)").arg(m_transfers.size());
    StatusLine->setText(text);
    TransferProgress->show();
}

void Form1::showStatus()
{
    if (!m_transfers.empty())
        return;
    QString text = m_lastScheduledOutcome;
    if (!m_failingFeeds.isEmpty()) {
        text = m_failures[m_failingFeeds.last()];
        if (m_failingFeeds.size() > 1)
            text += QStringLiteral(" (%1 feeds are failing; see their tooltips)").arg(m_failingFeeds.size());
    } else if (m_scheduleFromService) {
        text = QStringLiteral("Scheduling here; the background service is paused until this window closes.")
            + (text.isEmpty() ? QString() : QLatin1Char(' ') + text);
    }
    // The schedule no longer reaching the disk matters more than any feed.
    if (!m_storeProblem.isEmpty())
        text = m_storeProblem;
    StatusLine->setText(text);
}

void Form1::showRowDetails()
{
    for (int row = 0; row < rowCount(); ++row)
        showRowDetails(row);
}

void Form1::showRowDetails(int row)
{
    // The row's tooltip: how its last download went, and when the next is.
    CountdownEngine &engine = m_driver.engine();
    const FeedRow feedRow = feedRowOf(row);
    const int feed = engine.indexOf(feedRow);
    QStringList lines;
    const std::optional<LastDownload> last = feed >= 0 ? engine.lastDownload(feed) : std::nullopt;
    if (last)
        lines << QStringLiteral("Last download: %1, %2").arg(localTime(last->whenMs), last->report());
    else
        lines << QStringLiteral("Last download: none yet");
    const std::optional<qint64> next = feed >= 0 && engine.isCounting() ? engine.nextTryMs(feed) : std::nullopt;
    if (m_driver.isRunning(feedRow))
        lines << QStringLiteral("Downloading now");
    else if (m_driver.isWaiting(feedRow))
        lines << QStringLiteral("Waiting for another download to finish");
    else if (next && engine.retry(feed))
        lines << QStringLiteral("Next download: ") + RetryText(*engine.retry(feed), m_clock.nowMs());
    else if (next)
        lines << QStringLiteral("Next download: %1").arg(localTime(*next));
    const QString tip = lines.join(QLatin1Char('\n'));
    for (int column = NameColumn; column <= ActiveColumn; ++column) {
        if (QStandardItem *item = ListItems->item(row, column); item && item->toolTip() != tip)
            item->setToolTip(tip);
    }
}

} // namespace tidewell
