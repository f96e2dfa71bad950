// The main window's scheduling: the "Turn On"/"Turn Off" button, the
// per-feed countdown timers and the download jobs they start.
#include "Form1.h"

#include "DoEvents.h"
#include "FeedDownloadJob.h"
#include "FormatCountdown.h"
#include "Settings.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTime>
#include <QTimer>
#include <QTreeView>

namespace tidewell {
namespace {
const QString turnOn = QStringLiteral("Turn On");
const QString turnOff = QStringLiteral("Turn Off");
} // namespace

bool Form1::schedulingOn() const
{
    return PushButton6->text() == turnOff;
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

Form1::TimedFeed Form1::feedOfRow(int row) const
{
    TimedFeed feed;
    feed.name = itemText(row, NameColumn);
    const QVariant minute = ListItems->item(row, NameColumn)->data(MinuteRole);
    // The interval comes from the stored minute, never from the countdown
    // text, which only reads back right below one hour.
    feed.interval = minute.isValid() ? minute.toInt() * 60 : 0;
    feed.active = itemText(row, ActiveColumn) == QStringLiteral("Yes");
    return feed;
}

void Form1::turnSchedulingOn()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    int i = 0;
    onError.setExtraLine([&] {
        return QStringLiteral("ListView1.ListItems.Item(i).SubItems(1): ") + itemText(i - 1, CountdownColumn);
    });
    onError(0, [&] { PushButton6->setText(turnOff); });
    m_timedFeeds.clear();
    ElapsedSeconds.clear();
    IntervalSeconds.clear();
    const int rows = rowCount();
    onError(0, [&] {
        for (int row = 0; row < rows; ++row) {
            m_timedFeeds.push_back(feedOfRow(row));
            ElapsedSeconds.push_back(0);
            IntervalSeconds.push_back(m_timedFeeds.back().interval);
        }
    });
    const int binding = m_binding;
    for (i = 1; i <= rows && i <= static_cast<int>(m_timedFeeds.size()); ++i) {
        onError(0, [] { DoEvents(); });
        if (binding != m_binding)
            break; // the list was refilled meanwhile and every timer rebound
        onError(0, [&] {
            resizeTimers(static_cast<std::size_t>(i));
            Timer1.at(static_cast<std::size_t>(i - 1))->setInterval(m_tickMilliseconds);
        });
        onError(0, [&] {
            if (!m_scheduledDownloads.contains(m_timedFeeds.at(static_cast<std::size_t>(i - 1)).name))
                Timer1.at(static_cast<std::size_t>(i - 1))->start();
        });
    }
    onError(0, [] { settings::write(settings::startStopState, settings::on); });
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
    m_timedFeeds.clear();
    ElapsedSeconds.clear();
    IntervalSeconds.clear();
    ++m_binding;
    onError(0, [&] { listPodCast(); });
    onError(0, [] { settings::write(settings::startStopState, settings::off); });
}

void Form1::resizeTimers(std::size_t count)
{
    count = std::max<std::size_t>(count, 1);
    while (Timer1.size() > count) {
        delete Timer1.back();
        Timer1.pop_back();
    }
    while (Timer1.size() < count) {
        const int index = static_cast<int>(Timer1.size());
        auto *timer = new QTimer(this);
        timer->setInterval(0);
        connect(timer, &QTimer::timeout, this, [this, index] { Timer1_Timer(index); });
        Timer1.push_back(timer);
    }
}

void Form1::rebindTimers()
{
    // The list was filled again while scheduling is on. Each feed that is
    // still there, unchanged, keeps its count; a new or changed feed starts
    // from zero; a feed that is gone loses its timer.
    std::vector<TimedFeed> feeds;
    std::vector<qint32> elapsed;
    for (int row = 0; row < rowCount(); ++row) {
        feeds.push_back(feedOfRow(row));
        qint32 count = 0;
        for (std::size_t old = 0; old < m_timedFeeds.size() && old < ElapsedSeconds.size(); ++old) {
            if (m_timedFeeds[old] == feeds.back()) {
                count = ElapsedSeconds[old];
                break;
            }
        }
        elapsed.push_back(count);
    }
    m_timedFeeds = feeds;
    ElapsedSeconds = elapsed;
    IntervalSeconds.clear();
    for (const TimedFeed &feed : feeds)
        IntervalSeconds.push_back(feed.interval);
    ++m_binding;

    resizeTimers(feeds.size());
    if (feeds.empty())
        Timer1.front()->stop();
    for (std::size_t row = 0; row < feeds.size(); ++row) {
        Timer1[row]->setInterval(m_tickMilliseconds);
        if (m_scheduledDownloads.contains(feeds[row].name)) {
            Timer1[row]->stop();
            setCountdownText(static_cast<int>(row), FormatCountdown(0));
            continue;
        }
        Timer1[row]->start();
        if (feeds[row].active && elapsed[row] > 0)
            setCountdownText(static_cast<int>(row), FormatCountdown(feeds[row].interval - elapsed[row]));
    }
}

int Form1::timerIndexOf(const QString &feed) const
{
    for (std::size_t index = 0; index < m_timedFeeds.size(); ++index) {
        if (m_timedFeeds[index].name == feed)
            return static_cast<int>(index);
    }
    return -1;
}

void Form1::setCountdownText(int row, const QString &text)
{
    QStandardItem *item = ListItems->item(row, CountdownColumn);
    if (!item)
        throw RuntimeError(35600, QStringLiteral("Index out of bounds"));
    item->setText(text);
}

void Form1::Timer1_Timer(int index)
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("Timer1"));
    // 100: nothing to count without rows, or for an element whose row is gone.
    if (rowCount() == 0 || index < 0 || index >= static_cast<int>(m_timedFeeds.size()) || index >= rowCount())
        return;
    if (!onError.test(102, [&] { return itemText(index, ActiveColumn) == QStringLiteral("Yes"); }))
        return;
    // Pending events may refill the list at 114 and 120, so the element is
    // found again by its feed after each of them.
    const QString feed = m_timedFeeds[static_cast<std::size_t>(index)].name;
    qint32 target = 0;
    qint32 elapsed = 0;
    onError(104, [&] { target = IntervalSeconds.at(static_cast<std::size_t>(index)); });
    onError(106, [&] { elapsed = ++ElapsedSeconds.at(static_cast<std::size_t>(index)); });
    onError(112, [&] { setCountdownText(index, FormatCountdown(target - elapsed)); });
    onError(114, [] { DoEvents(); });
    if (elapsed != target) // 116
        return;
    index = timerIndexOf(feed);
    if (index < 0)
        return;
    onError(118, [&] { setCountdownText(index, FormatCountdown(0)); });
    onError(120, [] { DoEvents(); });
    index = timerIndexOf(feed);
    if (index < 0)
        return;
    onError(122, [&] { Timer1.at(static_cast<std::size_t>(index))->stop(); });
    onError(124, [&] { Timer1.at(static_cast<std::size_t>(index))->setInterval(0); });
    m_scheduledDownloads << feed;
    onError(126, [&] { DownloadFeed(index + 1); });
    m_scheduledDownloads.removeOne(feed);
    // Scheduling may have been turned off, or the feed removed, meanwhile;
    // then there is no timer to start again.
    index = timerIndexOf(feed);
    if (index < 0 || !schedulingOn())
        return;
    onError(128, [&] { Timer1.at(static_cast<std::size_t>(index))->setInterval(m_tickMilliseconds); });
    onError(130, [&] { Timer1.at(static_cast<std::size_t>(index))->start(); });
    onError(132, [&] { ElapsedSeconds.at(static_cast<std::size_t>(index)) = 0; });
}

void Form1::DownloadFeed(int row)
{
    if (row < 1 || row > rowCount())
        throw RuntimeError(35600, QStringLiteral("Index out of bounds"));
    const QString name = itemText(row - 1, NameColumn);
    ++m_transfersRunning;
    const auto progress = [this, name](qint64 received, qint64 total) { showTransfer(name, received, total); };
    FeedDownloadOutcome outcome;
    try {
        outcome = DownloadFeedEpisode(dbConn, name, nullptr, progress);
    } catch (...) {
        endTransfer();
        showScheduledOutcome(name, QStringLiteral("Download Failed."), false);
        throw;
    }
    endTransfer();
    showScheduledOutcome(name, FeedDownloadMessage(outcome), outcome.succeeded());
}

void Form1::PushButton2_Click()
{
    ErrorTrap onError(m_messageBox, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    if (!onError.test(0, [&] { return rowCount() > 0; }))
        return;
    QString name;
    onError(0, [&] {
        const QModelIndex current = ListView1->currentIndex();
        if (!current.isValid())
            throw RuntimeError(91, QStringLiteral("Object variable or With block variable not set"));
        name = itemText(current.row(), NameColumn);
    });
    // One manual download at a time: a second click would only race the
    // first for the same file.
    PushButton2->setEnabled(false);
    ++m_transfersRunning;
    const FeedDownloadOutcome outcome = DownloadFeedEpisode(
        dbConn, name, &onError, [this, name](qint64 received, qint64 total) { showTransfer(name, received, total); });
    endTransfer();
    PushButton2->setEnabled(true);
    onError(0, [&] { m_messageBox.show(FeedDownloadMessage(outcome)); });
}

void Form1::showTransfer(const QString &feed, qint64 received, qint64 total)
{
    const QLocale locale;
    QString text = QStringLiteral("Downloading %1: %2").arg(feed, locale.formattedDataSize(received));
    if (total > 0) {
        text += QStringLiteral(" of ") + locale.formattedDataSize(total);
        TransferProgress->setRange(0, 1000);
        TransferProgress->setValue(static_cast<int>(std::min<qint64>(1000, received * 1000 / total)));
    } else {
        TransferProgress->setRange(0, 0); // size unknown: a busy bar
    }
    StatusLine->setText(text);
    TransferProgress->show();
}

void Form1::endTransfer()
{
    if (--m_transfersRunning > 0)
        return;
    TransferProgress->hide();
    StatusLine->setText(m_lastScheduledOutcome);
}

void Form1::showScheduledOutcome(const QString &feed, const QString &message, bool succeeded)
{
    const QString time = QLocale().toString(QTime::currentTime(), QLocale::ShortFormat);
    m_lastScheduledOutcome = succeeded
        ? QStringLiteral("Last scheduled download: %1 downloaded at %2.").arg(feed, time)
        : QStringLiteral("Last scheduled download: %1 failed at %2 (%3)").arg(feed, time, message);
    if (m_transfersRunning == 0)
        StatusLine->setText(m_lastScheduledOutcome);
}

} // namespace tidewell
